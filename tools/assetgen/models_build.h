// Internals shared by the model generator's files: the mesh builder, the
// texture layers the painters fill, and the per-model builders.
#pragma once

#include <stdint.h>

#include <functional>
#include <vector>

#include "graph_models.h"
#include "knoll_math.h"

// ------------------------------------------------------------ constants ----

enum { TEX_SIDE = 512 };

// ---------------------------------------------------------------- types ----

// Geometry is built in double precision so finite differences stay accurate
// near poles; it is rounded to float only when stored.
struct D3 {
    double x, y, z;
};

// A mesh under construction, in free design units until meshFinish.
struct Mesh {
    std::vector<TVertex> vertices;
    std::vector<uint32_t> indices;
};

// A rectangle of the texture atlas in texture units; s0 > s1 or t0 > t1
// mirrors the patch.
struct UvRect {
    double s0, t0, s1, t1;
};

// A leaf card along a quadratic Bezier rachis p0 -> p1 -> p2 lying in a
// vertical plane. Leaflets leave the rachis to both sides and sink below it
// by sin(droop) of their length, raised to the power curl (1 folds the card
// into a V, 2 arches it). half_width(v) is the card's half-width.
struct Frond {
    D3 p0, p1, p2;
    double droop, curl;
    std::function<double(double v)> half_width;
};

// A surface patch: position at parameters (u, v), both over 0..1.
typedef std::function<D3(double u, double v)> PatchFn;

// The texture layers a painter fills, TEX_SIDE squared, rows top down. Colour
// is sRGB 0..1; height is in texels, turned into the normal map at the end.
struct Layers {
    std::vector<float> rgba;  // 4 per texel
    std::vector<float> rough;
    std::vector<float> metal;
    std::vector<float> ao;
    std::vector<float> height;
};

// What a painter gives for one texel.
struct Texel {
    float r, g, b, a;
    float rough, metal, ao, height;
};

// ------------------------------------------------------------ functions ----

static inline D3 d3(double x, double y, double z) { return {x, y, z}; }
static inline D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
static inline D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
static inline D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
static inline double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
static inline D3 cross(D3 a, D3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
D3 normalize(D3 v);

// Smooth 0..1 step between edges e0 and e1, and clamping helpers.
double smoothstep(double e0, double e1, double x);
double clamp01(double x);
double mix(double a, double b, double t);

// Gradient noise about -1..1 over a period far beyond any texture here, and
// its fractal sum (each octave twice the frequency, half the amplitude).
double noise2(double x, double y, uint32_t seed);
double fbm2(double x, double y, int octaves, uint32_t seed);

// Adds an nu x nv grid over pos, texture mapped linearly onto uv. Normals
// point along dP/du x dP/dv, or against it when flip is set; the winding
// follows. Triangles of zero area (at poles) are left out.
void meshPatch(Mesh *m, int nu, int nv, const PatchFn &pos, UvRect uv, bool flip);

// As meshPatch with texture positions from uvfn(u, v) instead of a rectangle.
void meshPatchUv(Mesh *m, int nu, int nv, const PatchFn &pos,
                 const std::function<D3(double u, double v)> &uvfn, bool flip);

// A surface of revolution about +y: profile(v) gives the radius in x and the
// height in y. Its natural normal (flip false) lies to the left of the
// profile walked with increasing v: outwards going up, upwards going inwards.
PatchFn lathe(const std::function<D3(double v)> &profile);

// A tube around a curve that lies in a plane: centre(v) walks the curve,
// side is a unit vector normal to that plane and radius(u, v) sets the
// cross-section (u once round). The natural normal points outwards.
PatchFn tube(const std::function<D3(double v)> &centre, D3 side,
             const std::function<double(double u, double v)> &radius);

// Adds a frond card, front facing up, with its back faces; across the card
// is u (s of uv), along it v (t of uv).
void meshFrond(Mesh *m, const Frond &f, int nu, int nv, UvRect uv);

// Adds back faces for the vertices from first_vertex and the indices from
// first_index on: same positions and texture, opposite normals and winding.
void meshBackFaces(Mesh *m, size_t first_vertex, size_t first_index);

// Moves the base to y = 0 and scales uniformly to a height of exactly 1.
void meshFinish(Mesh *m);

// The .omm bytes of a finished mesh.
std::vector<unsigned char> meshEncode(const Mesh &m);

// Fills every texel of layers by calling paint with the texel centre in
// texture units (s right, t down).
void layersPaint(Layers *l, const std::function<Texel(double s, double t)> &paint);

// Converts layers into the three images (alb RGBA, rma RGB, nrm RGB), each
// TEX_SIDE squared; bump scales the height slopes of the normal map.
void layersEncode(const Layers &l, float bump, unsigned char *alb, unsigned char *rma,
                  unsigned char *nrm);

// A texel of colour (r, g, b) and the given material, opaque, flat.
Texel texel(double r, double g, double b, double rough, double metal, double ao);

// Per-model geometry and texture builders.
void barrelMesh(Mesh *m);
void barrelPaint(Layers *l);
void fernMesh(Mesh *m);
void fernPaint(Layers *l);
void palmMesh(Mesh *m);
void palmPaint(Layers *l);
void cactusMesh(Mesh *m);
void cactusPaint(Layers *l);

// Preview from a chosen view: yaw about +y, then pitch down, in radians.
void previewDraw(const unsigned char *omm, size_t len, const unsigned char *alb,
                 const unsigned char *nrm, double yaw, double pitch, unsigned char *rgb, int w,
                 int h);
