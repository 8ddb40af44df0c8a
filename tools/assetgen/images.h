// The generated images of assets/: terrain height and materials, the ground
// textures, the environment BRDF table, the HUD font, the logo and the grid.
#pragma once

#include <stdint.h>

// ------------------------------------------------------------ constants ----

enum {
    HEIGHT_SIDE = 67,     // heightmap samples per side
    HEIGHT_MAX = 42,      // highest heightmap byte (5.25 units)
    SPLAT_SIDE = 64,      // splat texels per side
    MATERIAL_COUNT = 8,   // ground materials t0..t7
    MATERIAL_SIDE = 512,  // ground texture texels per side
    BRDF_SIDE = 512,      // BRDF table texels per side
    FONT_W = 256,
    FONT_H = 128,
    FONT_CELL_W = 12,
    FONT_CELL_H = 16,
    FONT_COLUMNS = 21,  // glyph cells per atlas row
    LOGO_W = 350,
    LOGO_H = 128,
    GRID_SIDE = 512,
    MODEL_SPOT_COUNT = 5,
};

// ---------------------------------------------------------------- types ----

// A heightmap sample (column i, row j) where a mesh model stands on flat
// ground at height 0.
struct ModelSpot {
    int i, j;
};

// ---------------------------------------------------------------- state ----

extern const ModelSpot MODEL_SPOTS[MODEL_SPOT_COUNT];
extern const char *const MATERIAL_NAMES[MATERIAL_COUNT];

// ------------------------------------------------------------ functions ----

// The 67 x 67 heightmap, one byte per sample in 0..HEIGHT_MAX, rows top down.
void imageHeight(uint8_t *out);

// The 64 x 64 splat map: a material index 0..7 per terrain cell.
void imageSplat(uint8_t *out);

// Ground material index (0..7): 512 x 512 RGB albedo, roughness/metalness/AO
// and tangent-space normal map, 3 bytes per texel each.
void imageMaterial(int index, uint8_t *alb, uint8_t *rma, uint8_t *nrm);

// The split-sum environment BRDF table, 512 x 512 RGB: scale, bias, 0 for
// n.v along columns and roughness down the rows.
void imageBrdfLut(uint8_t *rgb);

// The 256 x 128 RGBA HUD font atlas. Returns 0, or 1 when the font file
// cannot be read.
int imageFont(uint8_t *rgba);

// The 350 x 128 opaque RGBA logo. Returns 0, or 1 when a font is missing.
int imageLogo(uint8_t *rgba);

// The 512 x 512 RGBA grid overlay.
void imageGrid(uint8_t *rgba);

// Writes the 30 images into dir. Returns 0 on success.
int assetgenImages(const char *dir);

// Writes every asset (images and mesh models) into dir. Returns 0 on success.
int assetgenAll(const char *dir);
