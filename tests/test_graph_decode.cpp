// Decoding ahead of upload: the pixels handed out are the decoder's, whatever
// order they are asked for in, and start-up takes every image from the list
// it decodes ahead (a list out of step with the uploads would quietly fall
// back to decoding one image at a time).
#include <gtest/gtest.h>
#include <string.h>

#include <stb_image.h>

#include "gl_fixture.h"
#include "graph_decode.h"

// ------------------------------------------------------- embedded files ----

extern "C" const uint8_t _binary_font_png_start[], _binary_font_png_end[];
extern "C" const uint8_t _binary_logo_png_start[], _binary_logo_png_end[];
extern "C" const uint8_t _binary_t3_nrm_png_start[], _binary_t3_nrm_png_end[];

// ------------------------------------------------------------ functions ----

static Blob blobOf(const uint8_t *start, const uint8_t *end) {
    Blob b = {};
    b.data = start;
    b.size = (int32_t)(end - start);
    return b;
}

// Takes blob through the queue and compares it with a direct decode.
static void expectSameAsDirect(Blob blob, int channels) {
    int w, h, dw, dh, n;
    const char *reason = "unset";
    uint8_t *taken = decodeAheadTake(blob, channels, &w, &h, &reason);
    uint8_t *direct = stbi_load_from_memory(blob.data, blob.size, &dw, &dh, &n, channels);
    ASSERT_NE(taken, nullptr);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(reason, nullptr);
    ASSERT_EQ(w, dw);
    ASSERT_EQ(h, dh);
    EXPECT_EQ(memcmp(taken, direct, (size_t)w * h * channels), 0);
    stbi_image_free(taken);
    stbi_image_free(direct);
}

// ---------------------------------------------------------------- tests ----

TEST(DecodeAhead, HandsOutTheDecodersPixelsInAnyOrderAndFreesWhatIsLeft) {
    Blob font = blobOf(_binary_font_png_start, _binary_font_png_end);
    Blob logo = blobOf(_binary_logo_png_start, _binary_logo_png_end);
    Blob nrm = blobOf(_binary_t3_nrm_png_start, _binary_t3_nrm_png_end);
    const DecodeJob jobs[6] = {{font, 4}, {logo, 4}, {nrm, 3}, {logo, 3}, {font, 4}, {nrm, 3}};
    decodeAheadStart(jobs, 6);
    expectSameAsDirect(logo, 4);  // ahead of the font
    expectSameAsDirect(font, 4);
    expectSameAsDirect(logo, 3);  // the same file with other channels
    expectSameAsDirect(font, 1);  // not listed
    expectSameAsDirect(font, 4);  // the second listing of the font
    EXPECT_EQ(decodeAheadUnlisted(), 1);
    // The two normal maps stay untaken: stopping frees them (the sanitizer
    // build reports a leak otherwise) and ends the workers.
    decodeAheadStop();

    Blob broken = font;
    broken.size = 20;
    const DecodeJob bad[1] = {{broken, 4}};
    decodeAheadStart(bad, 1);
    int w, h;
    const char *reason = nullptr;
    EXPECT_EQ(decodeAheadTake(broken, 4, &w, &h, &reason), nullptr);
    EXPECT_NE(reason, nullptr) << "a failed decode gives the decoder's reason";
    decodeAheadStop();
}

TEST(DecodeAhead, StartUpTakesEveryImageFromTheList) {
    ASSERT_TRUE(graphicsReady());
    EXPECT_EQ(decodeAheadUnlisted(), 0);
}
