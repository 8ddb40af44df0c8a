// The four mesh models of the scene (barrel, fern, palm, cactus): their .omm
// meshes, their albedo / roughness-metalness-occlusion / normal textures and a
// software preview of a mesh.
#pragma once

#include <stddef.h>

// ------------------------------------------------------------ constants ----

enum {
    MODELS_COUNT = 4,
    MODELS_TEX_SIDE = 512,  // every model texture is square
};

// Base names in the order barrel, fern, palm, cactus: NAME.omm, NAME_alb.png...
extern const char *const MODELS_NAMES[MODELS_COUNT];

// ---------------------------------------------------------------- types ----

// One model in memory. Each image is MODELS_TEX_SIDE squared, rows top down:
// alb RGBA (alpha is the cut-out mask), rma and nrm RGB.
struct ModelAsset {
    unsigned char *omm;
    size_t omm_len;
    unsigned char *alb;
    unsigned char *rma;
    unsigned char *nrm;
};

// ------------------------------------------------------------ functions ----

// Builds model index (0 .. MODELS_COUNT - 1) into malloc'd buffers; release
// with modelsFree. Same bytes on every run.
void modelsBuild(int index, ModelAsset *out);
void modelsFree(ModelAsset *asset);

// Writes NAME.omm and NAME_{alb,rma,nrm}.png of every model into dir.
// Returns 0 on success, 1 when a file cannot be written.
int assetgenModels(const char *dir);

// Draws an .omm mesh from a 3/4 view above, lambert-shaded from its vertex
// normals, into a w x h RGB image.
void modelsDrawPreview(const unsigned char *omm, size_t len, unsigned char *rgb, int w, int h);

// As modelsDrawPreview, textured with the model's albedo (cut-out alpha
// honoured) and normal map; either image may be null.
void modelsDrawPreviewTextured(const unsigned char *omm, size_t len, const unsigned char *alb,
                               const unsigned char *nrm, unsigned char *rgb, int w, int h);
