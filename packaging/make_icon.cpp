// Makes the square application icon from the logo's round badge: the square
// at the logo's left end, as tall as the logo, holds the badge on black; the
// black around the badge becomes transparent and the square is scaled to
// size x size. A Windows icon (OUT ending in .ico) holds one PNG image for
// each of the sizes given.
//
//   knoll_icon LOGO.png OUT.png SIZE
//   knoll_icon LOGO.png OUT.ico SIZE,SIZE,...
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

// ------------------------------------------------------------ constants ----

// A channel above this counts as part of the badge rather than background.
static const int INK = 8;
// The largest size made, and the largest a Windows icon holds.
static const int MAX_SIZE = 4096;
static const int MAX_ICO_SIZE = 256;

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

// The badge scaled to size x size, or an empty vector when that fails.
static std::vector<unsigned char> scaleBadge(const std::vector<unsigned char> &badge, int side,
                                             int size) {
    std::vector<unsigned char> icon((size_t)size * size * 4);
    if (!stbir_resize_uint8_srgb(badge.data(), side, side, 0, icon.data(), size, size, 0, 4, 3,
                                 0))
        icon.clear();
    return icon;
}

static void appendBytes(void *context, void *data, int size) {
    auto *out = static_cast<std::vector<unsigned char> *>(context);
    out->insert(out->end(), (unsigned char *)data, (unsigned char *)data + size);
}

static void appendLE(std::vector<unsigned char> &out, unsigned value, int bytes) {
    for (int i = 0; i < bytes; i++) out.push_back((unsigned char)(value >> (8 * i)));
}

// Writes a Windows .ico file whose images are PNG files, one per size:
// the icon directory, one 16-byte entry per image, then the images.
static int writeIco(const char *path, const std::vector<unsigned char> &badge, int side,
                    const std::vector<int> &sizes) {
    std::vector<std::vector<unsigned char>> pngs;
    for (int size : sizes) {
        std::vector<unsigned char> icon = scaleBadge(badge, side, size), png;
        if (icon.empty() || !stbi_write_png_to_func(appendBytes, &png, size, size, 4,
                                                    icon.data(), size * 4))
            return 0;
        pngs.push_back(png);
    }
    std::vector<unsigned char> out;
    appendLE(out, 0, 2);
    appendLE(out, 1, 2);
    appendLE(out, (unsigned)sizes.size(), 2);
    size_t offset = 6 + 16 * sizes.size();
    for (size_t i = 0; i < sizes.size(); i++) {
        // A width or height of 256 is written as 0.
        appendLE(out, (unsigned)sizes[i] & 0xff, 1);
        appendLE(out, (unsigned)sizes[i] & 0xff, 1);
        appendLE(out, 0, 2);
        appendLE(out, 1, 2);
        appendLE(out, 32, 2);
        appendLE(out, (unsigned)pngs[i].size(), 4);
        appendLE(out, (unsigned)offset, 4);
        offset += pngs[i].size();
    }
    for (const auto &png : pngs) out.insert(out.end(), png.begin(), png.end());
    FILE *f = fopen(path, "wb");
    if (!f) return 0;
    int ok = fwrite(out.data(), 1, out.size(), f) == out.size();
    return fclose(f) == 0 && ok;
}

// Parses "16,32,48" into sizes; 0 when a size is missing or not in 1..max.
static int parseSizes(const char *text, int max, std::vector<int> *sizes) {
    for (const char *p = text;;) {
        char *end;
        long size = strtol(p, &end, 10);
        if (end == p || size < 1 || size > max) return 0;
        sizes->push_back((int)size);
        if (*end == '\0') return 1;
        if (*end != ',') return 0;
        p = end + 1;
    }
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s LOGO.png OUT.png SIZE | LOGO.png OUT.ico SIZE,SIZE,...\n",
                argv[0]);
        return 2;
    }
    std::string out = argv[2];
    bool ico = out.size() > 4 && out.compare(out.size() - 4, 4, ".ico") == 0;
    std::vector<int> sizes;
    if (!parseSizes(argv[3], ico ? MAX_ICO_SIZE : MAX_SIZE, &sizes) || (!ico && sizes.size() != 1)) {
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

    if (ico) {
        if (!writeIco(argv[2], badge, h, sizes)) {
            fprintf(stderr, "knoll_icon: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    int size = sizes[0];
    std::vector<unsigned char> icon = scaleBadge(badge, h, size);
    if (icon.empty()) {
        fprintf(stderr, "knoll_icon: resize failed\n");
        return 1;
    }
    if (!stbi_write_png(argv[2], size, size, 4, icon.data(), size * 4)) {
        fprintf(stderr, "knoll_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
