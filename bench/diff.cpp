// knoll_diff: how far apart two pictures or two moment maps are, for judging
// a change that should draw the same frame with less work.
//   knoll_diff A.png B.png      largest channel difference, and how many
//                               pixels differ by more than 0 and more than 3
//   knoll_diff A.raw B.raw      float pairs as knoll_render --moments writes
//                               them: largest absolute difference per channel
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include <stb_image.h>

// ------------------------------------------------------------ functions ----

static bool endsWith(const char *s, const char *suffix) {
    size_t n = strlen(s), m = strlen(suffix);
    return n >= m && strcmp(s + n - m, suffix) == 0;
}

static bool readFloats(const char *path, std::vector<float> *out) {
    FILE *f = fopen(path, "rb");
    if (!f) return false;
    float buf[4096];
    size_t n;
    while ((n = fread(buf, sizeof(float), 4096, f)) > 0) out->insert(out->end(), buf, buf + n);
    fclose(f);
    return true;
}

static int diffMoments(const char *a_path, const char *b_path) {
    std::vector<float> a, b;
    if (!readFloats(a_path, &a) || !readFloats(b_path, &b) || a.size() != b.size() ||
        a.size() % 2 != 0) {
        fprintf(stderr, "knoll_diff: unreadable or unequal moment maps\n");
        return 2;
    }
    double worst[2] = {0, 0}, sum[2] = {0, 0};
    for (size_t i = 0; i < a.size(); i++) {
        double d = fabs((double)a[i] - (double)b[i]);
        worst[i % 2] = std::max(worst[i % 2], d);
        sum[i % 2] += d;
    }
    size_t texels = a.size() / 2;
    printf("moments max_abs m1 %.3g  m2 %.3g  mean_abs m1 %.3g  m2 %.3g\n", worst[0], worst[1],
           sum[0] / texels, sum[1] / texels);
    return 0;
}

static int diffPictures(const char *a_path, const char *b_path) {
    int aw, ah, bw, bh, n;
    uint8_t *a = stbi_load(a_path, &aw, &ah, &n, 3);
    uint8_t *b = stbi_load(b_path, &bw, &bh, &n, 3);
    if (!a || !b || aw != bw || ah != bh) {
        fprintf(stderr, "knoll_diff: unreadable or unequal pictures\n");
        return 2;
    }
    int worst = 0;
    long over0 = 0, over3 = 0;
    for (long p = 0; p < (long)aw * ah; p++) {
        int d = 0;
        for (int c = 0; c < 3; c++) d = std::max(d, abs(a[p * 3 + c] - b[p * 3 + c]));
        worst = std::max(worst, d);
        over0 += d > 0;
        over3 += d > 3;
    }
    printf("pixels max_diff %d  differing %ld  over_3 %ld  of %ld\n", worst, over0, over3,
           (long)aw * ah);
    stbi_image_free(a);
    stbi_image_free(b);
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fputs("usage: knoll_diff A.png B.png | A.raw B.raw\n", stderr);
        return 2;
    }
    return endsWith(argv[1], ".png") ? diffPictures(argv[1], argv[2])
                                     : diffMoments(argv[1], argv[2]);
}
