// Makes the square application icon from the logo: the logo scaled to fit
// size x size with its aspect kept, centred on a transparent background.
//
//   knoll_icon LOGO.png OUT.png SIZE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

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
    // The longer side fills the icon; the other is rounded, at least 1.
    int fit_w = w >= h ? size : (int)((long)w * size / h);
    int fit_h = w >= h ? (int)((long)h * size / w) : size;
    if (fit_w < 1) fit_w = 1;
    if (fit_h < 1) fit_h = 1;

    std::vector<unsigned char> scaled((size_t)fit_w * fit_h * 4);
    int ok = stbir_resize_uint8_srgb(logo, w, h, 0, scaled.data(), fit_w, fit_h, 0, 4, 3, 0);
    stbi_image_free(logo);
    if (!ok) {
        fprintf(stderr, "knoll_icon: resize failed\n");
        return 1;
    }

    std::vector<unsigned char> icon((size_t)size * size * 4, 0);
    int x0 = (size - fit_w) / 2, y0 = (size - fit_h) / 2;
    for (int y = 0; y < fit_h; y++)
        memcpy(&icon[((size_t)(y0 + y) * size + x0) * 4], &scaled[(size_t)y * fit_w * 4],
               (size_t)fit_w * 4);
    if (!stbi_write_png(argv[2], size, size, 4, icon.data(), size * 4)) {
        fprintf(stderr, "knoll_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
