// Controlled scenes for the shader and frame tests: a flat or hand-shaped
// terrain of our own, textures of our own bound in place of the material
// arrays, direct writes into the moment maps, the camera's pixel mapping and
// sRGB arithmetic. Nothing here depends on what the asset files contain.
#pragma once

#include <math.h>

#include <vector>

#include "gl_fixture.h"
#include "graph_models.h"
#include "graph_render.h"

// ------------------------------------------------------------ constants ----

static const float PROBE_FOV = 1.5708f;
static const float PROBE_NEAR = 0.0625f;
static const float PROBE_FAR = 64.0f;
static const float HALF_PI = 1.5707963f;
// A unit that no program samples, for texture edits that must not disturb
// the bindings the draws rely on.
static const GLuint EDIT_UNIT = 7;

// ------------------------------------------------------------ functions ----

static inline double srgbToLinear(int v) {
    double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : pow((c + 0.055) / 1.055, 2.4);
}

static inline int linearToSrgb(double c) {
    c = c < 0.0 ? 0.0 : (c > 1.0 ? 1.0 : c);
    double s = c <= 0.0031308 ? c * 12.92 : 1.055 * pow(c, 1.0 / 2.4) - 0.055;
    return (int)lround(s * 255.0);
}

static inline Quat lookDown(void) { return quatRotate({1.0f, 0.0f, 0.0f}, -HALF_PI); }

// One terrain model for every probe scene, rebuilt from heights (67 x 67)
// with every splat texel set to layer.
static inline TModel *probeTerrain(const std::vector<uint8_t> &heights, uint8_t layer) {
    static TModel *model;
    std::vector<uint8_t> splat(TMODEL_SPLAT_SIDE * TMODEL_SPLAT_SIDE, layer);
    if (!model)
        model = graphicsTModelNew(heights.data(), splat.data());
    else
        graphicsTModelUpdate(model, heights.data(), splat.data());
    return model;
}

static inline TModel *flatTerrain(uint8_t height, uint8_t layer) {
    return probeTerrain(std::vector<uint8_t>(TMODEL_HEIGHT_SIDE * TMODEL_HEIGHT_SIDE, height),
                        layer);
}

// Sets every texel of a moment map (the shadow map or the blur target).
static inline void fillMoments(GLuint texture, float m1, float m2) {
    std::vector<float> texels((size_t)SHADOW_MAP_SIZE * SHADOW_MAP_SIZE * 2);
    for (size_t i = 0; i < texels.size(); i += 2) {
        texels[i] = m1;
        texels[i + 1] = m2;
    }
    useTextureForEdit(EDIT_UNIT, GL_TEXTURE_2D, texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, SHADOW_MAP_SIZE, SHADOW_MAP_SIZE, GL_RG, GL_FLOAT,
                    texels.data());
}

static inline void setMomentTexel(GLuint texture, int x, int y, float m1, float m2) {
    const float texel[2] = {m1, m2};
    useTextureForEdit(EDIT_UNIT, GL_TEXTURE_2D, texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, 1, 1, GL_RG, GL_FLOAT, texel);
}

// A 2D array of eight layers whose mip level k is filled with colour(k);
// nearest texel and nearest level, so a sample shows which level it read.
template <typename LevelColour>
static inline GLuint levelArray(int size, LevelColour colour) {
    GLuint texture;
    glGenTextures(1, &texture);
    useTextureForEdit(EDIT_UNIT, GL_TEXTURE_2D_ARRAY, texture);
    int levels = 0;
    for (int s = size; s >= 1; s /= 2, levels++) {
        const uint8_t *c = colour(levels);
        std::vector<uint8_t> texels((size_t)s * s * 8 * 3);
        for (size_t i = 0; i < texels.size(); i += 3) std::copy(c, c + 3, texels.begin() + i);
        glTexImage3D(GL_TEXTURE_2D_ARRAY, levels, GL_RGB8, s, s, 8, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     texels.data());
    }
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAX_LEVEL, levels - 1);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return texture;
}

static inline GLuint solidArray(uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t c[3] = {r, g, b};
    return levelArray(4, [&](int) { return c; });
}

// The material arrays of the probe scenes: mid-grey albedo, fully rough,
// not metallic, no occlusion, flat normals.
struct ProbeMaterials {
    GLuint albedo, rma, normal;
};

static inline ProbeMaterials probeMaterials(void) {
    static ProbeMaterials m = {solidArray(128, 128, 128), solidArray(255, 0, 255),
                               solidArray(128, 128, 255)};
    return m;
}

// Draws model with the terrain program exactly as the main pass does, but
// with our material arrays in place of the assets' ones.
static inline void drawTerrainWith(const TModel *model, Vec3 position, GLuint albedo, GLuint rma,
                                   GLuint normal) {
    const GLuint saved[3] = {tex_albedo, tex_rma, tex_normal};
    tex_albedo = albedo;
    tex_rma = rma;
    tex_normal = normal;
    graphicsDrawTModel(model, position);
    tex_albedo = saved[0];
    tex_rma = saved[1];
    tex_normal = saved[2];
}

static inline void drawProbeTerrain(const TModel *model, Vec3 position = {0, 0, 0}) {
    ProbeMaterials m = probeMaterials();
    drawTerrainWith(model, position, m.albedo, m.rma, m.normal);
}

// The light-space depth (0 to 1) the moment map stores for world point p
// under the light direction currently set to d.
static inline float lightDepth(Vec3 d, Vec3 p) {
    Mat4 ls;
    lightSpaceMatrix(&ls, vec3Normalize(d));
    float z = ls.m[0][2] * p.x + ls.m[1][2] * p.y + ls.m[2][2] * p.z + ls.m[3][2];
    float w = ls.m[0][3] * p.x + ls.m[1][3] * p.y + ls.m[2][3] * p.z + ls.m[3][3];
    return (z / w) * 0.5f + 0.5f;
}

// The moment-map texel that world point p falls on under light direction d.
static inline void lightTexel(Vec3 d, Vec3 p, int *tx, int *ty) {
    Mat4 ls;
    lightSpaceMatrix(&ls, vec3Normalize(d));
    float x = ls.m[0][0] * p.x + ls.m[1][0] * p.y + ls.m[2][0] * p.z + ls.m[3][0];
    float y = ls.m[0][1] * p.x + ls.m[1][1] * p.y + ls.m[2][1] * p.z + ls.m[3][1];
    *tx = (int)floorf((x * 0.5f + 0.5f) * SHADOW_MAP_SIZE);
    *ty = (int)floorf((y * 0.5f + 0.5f) * SHADOW_MAP_SIZE);
}

// The window pixel (from the top) that world point p projects to for a
// camera at position with orientation, as graphicsCamera sets it up.
static inline void worldToPixel(Vec3 position, Quat orientation, Vec3 p, int *px, int *py) {
    Mat4 proj, view, pv;
    mat4Perspective(&proj, PROBE_FOV, (float)view_wid / (float)view_hei, PROBE_NEAR, PROBE_FAR);
    Vec3 forward = quatMultiplyVector(orientation, {0.0f, 0.0f, -1.0f});
    Vec3 up = quatMultiplyVector(orientation, {0.0f, 1.0f, 0.0f});
    mat4LookAt(&view, position, vec3Add(position, forward), up);
    mat4MultiplyMatrix(&pv, &view, &proj);
    float c[4];
    for (int r = 0; r < 4; r++)
        c[r] = pv.m[0][r] * p.x + pv.m[1][r] * p.y + pv.m[2][r] * p.z + pv.m[3][r];
    *px = (int)floorf((c[0] / c[3] * 0.5f + 0.5f) * view_wid);
    *py = view_hei - 1 - (int)floorf((c[1] / c[3] * 0.5f + 0.5f) * view_hei);
}

static inline bool sameRgb(Rgb a, Rgb b, int tolerance) {
    return abs(a.r - b.r) <= tolerance && abs(a.g - b.g) <= tolerance &&
           abs(a.b - b.b) <= tolerance;
}

static inline void PrintTo(const Rgb &c, std::ostream *os) {
    *os << "(" << c.r << "," << c.g << "," << c.b << ")";
}
