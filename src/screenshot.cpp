#include "screenshot.h"

#include <epoxy/gl.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <stb_image_write.h>

#include <mutex>
#include <string>
#include <thread>

#include "graph_state.h"
#include "platform.h"

// ---------------------------------------------------------------- state ----

static int requested;                      // presses since the last frame drawn
static std::vector<std::thread> encoders;  // pictures being encoded and saved
static std::mutex log_lock;                // one encoder's line at a time
static char last_stamp[32];                // the second of the last name given
static int last_count;                     // names given in that second

// ------------------------------------------------------------ functions ----

void screenshotRequest(void) { requested++; }

FramePixels framebufferRead(int width, int height) {
    FramePixels frame = {width, height, {}};
    frame.rgba.resize((size_t)width * height * 4);
    useFramebuffer(0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    return frame;
}

FramePixels screenshotRead(void) { return framebufferRead(view_wid, view_hei); }

std::vector<uint8_t> frameRowsDown(const FramePixels &frame) {
    size_t row = (size_t)frame.width * 3;
    std::vector<uint8_t> rgb(row * frame.height);
    for (int y = 0; y < frame.height; y++) {
        const uint8_t *from = &frame.rgba[(size_t)(frame.height - 1 - y) * frame.width * 4];
        uint8_t *to = &rgb[(size_t)y * row];
        for (int x = 0; x < frame.width; x++) memcpy(to + x * 3, from + x * 4, 3);
    }
    return rgb;
}

// stb's writer hands the PNG over in pieces.
static void appendBytes(void *context, void *data, int size) {
    std::vector<uint8_t> *out = (std::vector<uint8_t> *)context;
    out->insert(out->end(), (uint8_t *)data, (uint8_t *)data + size);
}

std::vector<uint8_t> screenshotEncode(const FramePixels &frame) {
    std::vector<uint8_t> rgb = frameRowsDown(frame), png;
    if (!stbi_write_png_to_func(appendBytes, &png, frame.width, frame.height, 3, rgb.data(),
                                frame.width * 3))
        png.clear();
    return png;
}

int screenshotSave(const FramePixels &frame, const char *path) {
    std::vector<uint8_t> png = screenshotEncode(frame);
    int error = png.empty() ? ENOMEM : pictureSave(path, png.data(), png.size());
    std::lock_guard<std::mutex> hold(log_lock);
    if (error)
        fprintf(stderr, "Screenshot Error: %s not saved: %s\n", path, strerror(error));
    else
        fprintf(stderr, "Screenshot: %s, %d x %d\n", path, frame.width, frame.height);
    return error ? 1 : 0;
}

// 1 when something is there under path.
static int taken(const char *path) {
    FILE *file = fopen(path, "rb");
    if (file) fclose(file);
    return file != NULL;
}

std::string screenshotName(time_t now) {
    char stamp[32], path[96];
    strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", localtime(&now));
    if (strcmp(stamp, last_stamp) != 0) last_count = 0;
    snprintf(last_stamp, sizeof(last_stamp), "%s", stamp);
    do {
        last_count++;
        if (last_count == 1)
            snprintf(path, sizeof(path), "%sknoll-%s.png", pictureFolder(), stamp);
        else
            snprintf(path, sizeof(path), "%sknoll-%s-%d.png", pictureFolder(), stamp, last_count);
    } while (taken(path));
    return path;
}

void screenshotCapture(void) {
    if (!requested) return;
    FramePixels frame = screenshotRead();
    // One picture at a time is encoded: a second press waits for the first.
    screenshotsFinish();
    std::vector<std::string> paths;
    // Presses within one frame each get their file of that frame.
    for (; requested > 0; requested--) paths.push_back(screenshotName(time(NULL)));
    auto save = [frame = std::move(frame), paths] {
        for (const std::string &path : paths) screenshotSave(frame, path.c_str());
    };
    if (workerThreads())
        encoders.emplace_back(std::move(save));
    else
        save();
}

void screenshotsFinish(void) {
    for (std::thread &t : encoders) t.join();
    encoders.clear();
}
