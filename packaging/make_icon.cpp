// Makes the square application icon from the logo's round badge: the square
// at the logo's left end, as tall as the logo, holds the badge on black; the
// black around the badge becomes transparent and the square is scaled to
// size x size.
//
//   knoll_icon LOGO.png OUT.png SIZE
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

// ------------------------------------------------------------ constants ----

// A channel above this counts as part of the badge rather than background.
static const int INK = 8;

// ---------------------------------------------------------------- types ----

struct Disc {
    float cx, cy, radius;
};

// ------------------------------------------------------------ functions ----

// Finds the badge in the side x side square at the top left of the rgba
// image (width w) from the extent of its non-black pixels; 0 if none.
static int findBadge(const unsigned char *rgba, int w, int side, Disc *disc) {
    int x0 = side, y0 = side, x1 = -1, y1 = -1;
    for (int y = 0; y < side; y++) {
        for (int x = 0; x < side; x++) {
            const unsigned char *p = &rgba[((size_t)y * w + x) * 4];
            if (p[0] <= INK && p[1] <= INK && p[2] <= INK) continue;
            if (x < x0) x0 = x;
            if (x > x1) x1 = x;
            if (y < y0) y0 = y;
            if (y > y1) y1 = y;
        }
    }
    if (x1 < 0) return 0;
    disc->cx = (x0 + x1 + 1) * 0.5f;
    disc->cy = (y0 + y1 + 1) * 0.5f;
    disc->radius = (x1 - x0 + 1 > y1 - y0 + 1 ? x1 - x0 + 1 : y1 - y0 + 1) * 0.5f;
    return 1;
}

// Cuts the badge out of the square: alpha is the disc's coverage of each
// pixel, and the edge pixels, which the logo blends with black, get their
// colour back by dividing out that coverage.
static std::vector<unsigned char> cutBadge(const unsigned char *rgba, int w, int side,
                                           const Disc &disc) {
    std::vector<unsigned char> out((size_t)side * side * 4);
    for (int y = 0; y < side; y++) {
        for (int x = 0; x < side; x++) {
            const unsigned char *p = &rgba[((size_t)y * w + x) * 4];
            unsigned char *q = &out[((size_t)y * side + x) * 4];
            float dx = x + 0.5f - disc.cx, dy = y + 0.5f - disc.cy;
            float cover = disc.radius + 0.5f - sqrtf(dx * dx + dy * dy);
            cover = cover < 0.0f ? 0.0f : cover > 1.0f ? 1.0f : cover;
            for (int k = 0; k < 3; k++) {
                float c = cover > 0.0f ? p[k] / cover : 0.0f;
                q[k] = (unsigned char)(c > 255.0f ? 255.0f : c + 0.5f);
            }
            q[3] = (unsigned char)(cover * 255.0f + 0.5f);
        }
    }
    return out;
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s LOGO.png OUT.png SIZE\n", argv[0]);
        return 2;
    }
    int size = atoi(argv[3]);
    if (size < 1 || size > 4096) {
        fprintf(stderr, "knoll_icon: size %s out of range\n", argv[3]);
        return 2;
    }
    int w, h, n;
    unsigned char *logo = stbi_load(argv[1], &w, &h, &n, 4);
    if (!logo) {
        fprintf(stderr, "knoll_icon: cannot read %s: %s\n", argv[1], stbi_failure_reason());
        return 1;
    }
    Disc disc;
    if (w < h || !findBadge(logo, w, h, &disc)) {
        stbi_image_free(logo);
        fprintf(stderr, "knoll_icon: no badge at the left end of %s\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> badge = cutBadge(logo, w, h, disc);
    stbi_image_free(logo);

    std::vector<unsigned char> icon((size_t)size * size * 4);
    if (!stbir_resize_uint8_srgb(badge.data(), h, h, 0, icon.data(), size, size, 0, 4, 3, 0)) {
        fprintf(stderr, "knoll_icon: resize failed\n");
        return 1;
    }
    if (!stbi_write_png(argv[2], size, size, 4, icon.data(), size * 4)) {
        fprintf(stderr, "knoll_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
