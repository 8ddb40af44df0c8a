// Shared helpers of the asset generator: deterministic PNG output, tileable
// noise with integer seeds and height-to-normal conversion.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ------------------------------------------------------------ functions ----

// Writes an 8-bit PNG with comp channels (1 grey, 2 grey+alpha, 3 RGB, 4 RGBA),
// rows top to bottom. Same pixels give the same bytes. Returns 0 on success,
// 1 on failure (with a message on stderr).
int writePng(const char *path, int w, int h, int comp, const unsigned char *px);

// Encodes a PNG into a malloc'd buffer (free with free()); null on failure.
unsigned char *encodePng(int w, int h, int comp, const unsigned char *px, size_t *len);

// A well-mixed 32-bit hash of v (lowbias32).
uint32_t hash32(uint32_t v);

// A uniform value in [0, 1) from the lattice point (x, y) and seed.
float hashUnit(int32_t x, int32_t y, uint32_t seed);

// Gradient noise in lattice units, about -1..1, periodic: noise(x + px, y) ==
// noise(x, y + py) == noise(x, y) for integer periods px, py >= 1.
float noiseTile(float x, float y, int px, int py, uint32_t seed);

// Fractal sum of noiseTile over texture units (u, v): tiles exactly with
// period 1 in u and v. freq lattice cells per tile for the first octave, each
// further octave doubles it and scales by gain. Normalised to about -1..1.
float fbmTile(float u, float v, int freq, int octaves, float gain, uint32_t seed);

// Cellular noise over texture units with freq x freq jittered feature points
// per tile, tiling with period 1. Gives the distances (in cell units) to the
// nearest and second-nearest point and a hash of the nearest cell.
void worleyTile(float u, float v, int freq, uint32_t seed, float *f1, float *f2, uint32_t *cell);

// Tangent-space normal map from a w x h height field that wraps at its edges:
// n = normalize(-dh/dx * k, -dh/dy * k, 1) with x to the right and y down,
// stored as (n + 1) / 2 in 3-byte RGB (w * h * 3 bytes).
void heightToNormal(const float *height, int w, int h, float k, unsigned char *rgb);
