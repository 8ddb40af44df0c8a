// Shared helpers of the asset generator.
#include "common.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb_image_write.h>

// ------------------------------------------------------------ constants ----

// Sixteen unit gradients, evenly spread and off the axes, so gradient noise
// needs no trigonometry (and no libm rounding differences) per lattice point.
static const float GRADIENTS[16][2] = {
    {0.980785280f, 0.195090322f},   {0.831469612f, 0.555570233f},   {0.555570233f, 0.831469612f},
    {0.195090322f, 0.980785280f},   {-0.195090322f, 0.980785280f},  {-0.555570233f, 0.831469612f},
    {-0.831469612f, 0.555570233f},  {-0.980785280f, 0.195090322f},  {-0.980785280f, -0.195090322f},
    {-0.831469612f, -0.555570233f}, {-0.555570233f, -0.831469612f}, {-0.195090322f, -0.980785280f},
    {0.195090322f, -0.980785280f},  {0.555570233f, -0.831469612f},  {0.831469612f, -0.555570233f},
    {0.980785280f, -0.195090322f}};

// ---------------------------------------------------------------- types ----

// Growing byte buffer the PNG encoder writes into.
struct PngBuffer {
    unsigned char *data;
    size_t len, cap;
    int ok;
};

// ------------------------------------------------------------ functions ----

// stb callback: appends size bytes to the PngBuffer in context.
static void appendBytes(void *context, void *data, int size) {
    PngBuffer *b = (PngBuffer *)context;
    if (!b->ok || size <= 0) return;
    if (b->len + (size_t)size > b->cap) {
        size_t cap = b->cap ? b->cap * 2 : 65536;
        while (cap < b->len + (size_t)size) cap *= 2;
        unsigned char *p = (unsigned char *)realloc(b->data, cap);
        if (!p) {
            b->ok = 0;
            return;
        }
        b->data = p;
        b->cap = cap;
    }
    memcpy(b->data + b->len, data, (size_t)size);
    b->len += (size_t)size;
}

int writePng(const char *path, int w, int h, int comp, const unsigned char *px) {
    size_t len = 0;
    unsigned char *png = encodePng(w, h, comp, px, &len);
    if (!png) {
        fprintf(stderr, "assetgen: cannot encode %s\n", path);
        return 1;
    }
    FILE *f = fopen(path, "wb");
    int ok = f && fwrite(png, 1, len, f) == len;
    if (f && fclose(f) != 0) ok = 0;
    free(png);
    if (!ok) {
        fprintf(stderr, "assetgen: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

unsigned char *encodePng(int w, int h, int comp, const unsigned char *px, size_t *len) {
    // stb's encoder has no clock or randomness: the filter choice per row and
    // the deflate stream depend only on the pixels and the compression level,
    // which is pinned here so a change of stb's default cannot shift bytes.
    stbi_write_png_compression_level = 8;
    stbi_write_force_png_filter = -1;
    PngBuffer buf = {nullptr, 0, 0, 1};
    if (!stbi_write_png_to_func(appendBytes, &buf, w, h, comp, px, w * comp) || !buf.ok) {
        free(buf.data);
        *len = 0;
        return nullptr;
    }
    *len = buf.len;
    return buf.data;
}

uint32_t hash32(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352du;
    v ^= v >> 15;
    v *= 0x846ca68bu;
    v ^= v >> 16;
    return v;
}

float hashUnit(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = hash32((uint32_t)x * 0x9e3779b1u ^ hash32((uint32_t)y + seed * 0x85ebca77u));
    return (float)(h >> 8) * (1.0f / 16777216.0f);
}

// Positive remainder, so negative lattice coordinates wrap like positive ones.
static int wrapInt(int a, int n) {
    int r = a % n;
    return r < 0 ? r + n : r;
}

// Dot product of the lattice point's unit gradient with the offset (dx, dy).
static float gradDot(int ix, int iy, float dx, float dy, uint32_t seed) {
    uint32_t h = hash32((uint32_t)ix * 0x9e3779b1u ^ hash32((uint32_t)iy + seed * 0x85ebca77u));
    const float *g = GRADIENTS[h >> 28];
    return g[0] * dx + g[1] * dy;
}

float noiseTile(float x, float y, int px, int py, uint32_t seed) {
    float fx = floorf(x), fy = floorf(y);
    int x0 = (int)fx, y0 = (int)fy;
    float dx = x - fx, dy = y - fy;
    int xa = wrapInt(x0, px), xb = wrapInt(x0 + 1, px);
    int ya = wrapInt(y0, py), yb = wrapInt(y0 + 1, py);
    float n00 = gradDot(xa, ya, dx, dy, seed);
    float n10 = gradDot(xb, ya, dx - 1.0f, dy, seed);
    float n01 = gradDot(xa, yb, dx, dy - 1.0f, seed);
    float n11 = gradDot(xb, yb, dx - 1.0f, dy - 1.0f, seed);
    // Quintic fade keeps the second derivative continuous, so normal maps
    // built from the noise show no lattice creases.
    float sx = dx * dx * dx * (dx * (dx * 6.0f - 15.0f) + 10.0f);
    float sy = dy * dy * dy * (dy * (dy * 6.0f - 15.0f) + 10.0f);
    float a = n00 + (n10 - n00) * sx;
    float b = n01 + (n11 - n01) * sx;
    // Gradient noise peaks near +-0.7; scale it towards -1..1.
    return (a + (b - a) * sy) * 1.41421356f;
}

float fbmTile(float u, float v, int freq, int octaves, float gain, uint32_t seed) {
    float sum = 0.0f, amp = 1.0f, norm = 0.0f;
    int f = freq;
    for (int o = 0; o < octaves; o++) {
        sum += amp * noiseTile(u * (float)f, v * (float)f, f, f, seed + 1013u * (uint32_t)o);
        norm += amp;
        amp *= gain;
        f *= 2;
    }
    return norm > 0.0f ? sum / norm : 0.0f;
}

void worleyTile(float u, float v, int freq, uint32_t seed, float *f1, float *f2, uint32_t *cell) {
    float x = u * (float)freq, y = v * (float)freq;
    int cx = (int)floorf(x), cy = (int)floorf(y);
    float d1 = 1e9f, d2 = 1e9f;
    uint32_t best = 0;
    for (int j = -2; j <= 2; j++) {
        for (int i = -2; i <= 2; i++) {
            int gx = cx + i, gy = cy + j;
            int wx = wrapInt(gx, freq), wy = wrapInt(gy, freq);
            float ox = (float)gx + 0.1f + 0.8f * hashUnit(wx, wy, seed);
            float oy = (float)gy + 0.1f + 0.8f * hashUnit(wx, wy, seed ^ 0x5bd1e995u);
            float d = sqrtf((ox - x) * (ox - x) + (oy - y) * (oy - y));
            if (d < d1) {
                d2 = d1;
                d1 = d;
                best = hash32((uint32_t)(wy * freq + wx) ^ seed);
            } else if (d < d2) {
                d2 = d;
            }
        }
    }
    if (f1) *f1 = d1;
    if (f2) *f2 = d2;
    if (cell) *cell = best;
}

void heightToNormal(const float *height, int w, int h, float k, unsigned char *rgb) {
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            // Central differences that wrap, so the normal map tiles like the
            // height field it comes from.
            float l = height[y * w + wrapInt(x - 1, w)];
            float r = height[y * w + wrapInt(x + 1, w)];
            float t = height[wrapInt(y - 1, h) * w + x];
            float b = height[wrapInt(y + 1, h) * w + x];
            float nx = -(r - l) * 0.5f * k;
            float ny = -(b - t) * 0.5f * k;
            float nz = 1.0f;
            float inv = 1.0f / sqrtf(nx * nx + ny * ny + nz * nz);
            float n[3] = {nx * inv, ny * inv, nz * inv};
            unsigned char *p = rgb + ((size_t)y * w + x) * 3;
            for (int c = 0; c < 3; c++) {
                float q = (n[c] + 1.0f) * 0.5f * 255.0f + 0.5f;
                p[c] = (unsigned char)(q < 0.0f ? 0.0f : q > 255.0f ? 255.0f : q);
            }
        }
    }
}
