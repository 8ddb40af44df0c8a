// The mesh builder, the texture layers and the output of the four mesh models.
#include "models.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common.h"
#include "models_build.h"

// ------------------------------------------------------------ constants ----

const char *const MODELS_NAMES[MODELS_COUNT] = {"barrel", "fern", "palm", "cactus"};

// Parameter step of the finite differences that give normals and tangents.
static const double DIFF_STEP = 1e-5;

// How far a pole vertex's frame is taken from the pole itself, where the
// surface derivatives vanish.
static const double POLE_NUDGE = 1e-4;

// Painters give heights in texels, so the normal maps take slopes as they are.
static const float NORMAL_SLOPE = 1.0f;

// Lattice period of the plain noise: large enough never to repeat visibly.
static const int NOISE_PERIOD = 4096;

// ---------------------------------------------------------------- types ----

// Unit normal, tangent (increasing s) and bitangent (increasing t) of a patch
// point.
struct Frame {
    D3 n, t, b;
};

// ------------------------------------------------------------ functions ----

D3 normalize(D3 v) {
    double len = sqrt(dot(v, v));
    return len > 0.0 ? v * (1.0 / len) : v;
}

double smoothstep(double e0, double e1, double x) {
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0 - 2.0 * t);
}

double clamp01(double x) { return x < 0.0 ? 0.0 : x > 1.0 ? 1.0 : x; }

double mix(double a, double b, double t) { return a + (b - a) * t; }

double noise2(double x, double y, uint32_t seed) {
    return noiseTile((float)x, (float)y, NOISE_PERIOD, NOISE_PERIOD, seed);
}

double fbm2(double x, double y, int octaves, uint32_t seed) {
    double sum = 0.0, amp = 1.0, norm = 0.0;
    for (int o = 0; o < octaves; o++) {
        sum += amp * noise2(x, y, seed + 7919u * (uint32_t)o);
        norm += amp;
        x *= 2.0;
        y *= 2.0;
        amp *= 0.5;
    }
    return sum / norm;
}

Texel texel(double r, double g, double b, double rough, double metal, double ao) {
    return {(float)r, (float)g, (float)b, 1.0f, (float)rough, (float)metal, (float)ao, 0.0f};
}

// Derivatives of f along u and v at (u, v), one-sided at the patch edges so
// f is never evaluated outside 0..1.
static void partials(const PatchFn &f, double u, double v, D3 *du, D3 *dv) {
    double u0 = fmax(u - DIFF_STEP, 0.0), u1 = fmin(u + DIFF_STEP, 1.0);
    double v0 = fmax(v - DIFF_STEP, 0.0), v1 = fmin(v + DIFF_STEP, 1.0);
    *du = (f(u1, v) - f(u0, v)) * (1.0 / (u1 - u0));
    *dv = (f(u, v1) - f(u, v0)) * (1.0 / (v1 - v0));
}

// The frame at (u, v). At a pole, where one derivative vanishes, the frame of
// a point just beside it is used instead.
static Frame patchFrame(const PatchFn &pos, const PatchFn &uvfn, double u, double v, bool flip) {
    D3 pu, pv;
    partials(pos, u, v, &pu, &pv);
    if (dot(pu, pu) < 1e-20) v += v < 0.5 ? POLE_NUDGE : -POLE_NUDGE;
    if (dot(pv, pv) < 1e-20) u += u < 0.5 ? POLE_NUDGE : -POLE_NUDGE;
    partials(pos, u, v, &pu, &pv);
    D3 su, sv;
    partials(uvfn, u, v, &su, &sv);

    Frame f;
    f.n = normalize(cross(pu, pv)) * (flip ? -1.0 : 1.0);
    // Invert the texture Jacobian to get the surface directions of s and t.
    double det = su.x * sv.y - sv.x * su.y;
    D3 ps = (pu * sv.y - pv * su.y) * (1.0 / det);
    D3 pt = (pv * su.x - pu * sv.x) * (1.0 / det);
    f.t = normalize(ps - f.n * dot(f.n, ps));
    f.b = normalize(pt - f.n * dot(f.n, pt));
    return f;
}

static void storeVec(float *out, D3 v) {
    out[0] = (float)v.x;
    out[1] = (float)v.y;
    out[2] = (float)v.z;
}

static double triangleArea2(D3 a, D3 b, D3 c) {
    D3 n = cross(b - a, c - a);
    return sqrt(dot(n, n));
}

void meshPatchUv(Mesh *m, int nu, int nv, const PatchFn &pos,
                 const std::function<D3(double u, double v)> &uvfn, bool flip) {
    uint32_t base = (uint32_t)m->vertices.size();
    std::vector<D3> points;
    for (int j = 0; j <= nv; j++) {
        for (int i = 0; i <= nu; i++) {
            double u = (double)i / nu, v = (double)j / nv;
            D3 p = pos(u, v), st = uvfn(u, v);
            Frame f = patchFrame(pos, uvfn, u, v, flip);
            TVertex vx;
            storeVec(vx.position, p);
            storeVec(vx.normal, f.n);
            storeVec(vx.tangent, f.t);
            storeVec(vx.bitangent, f.b);
            vx.texpos[0] = (float)clamp01(st.x);
            vx.texpos[1] = (float)clamp01(st.y);
            m->vertices.push_back(vx);
            points.push_back(p);
        }
    }
    for (int j = 0; j < nv; j++) {
        for (int i = 0; i < nu; i++) {
            uint32_t a = (uint32_t)(j * (nu + 1) + i), b = a + 1;
            uint32_t d = a + (uint32_t)(nu + 1), c = d + 1;
            uint32_t tris[2][3] = {{a, b, c}, {a, c, d}};
            for (auto &tri : tris) {
                if (triangleArea2(points[tri[0]], points[tri[1]], points[tri[2]]) < 1e-14) continue;
                m->indices.push_back(base + tri[0]);
                m->indices.push_back(base + (flip ? tri[2] : tri[1]));
                m->indices.push_back(base + (flip ? tri[1] : tri[2]));
            }
        }
    }
}

void meshPatch(Mesh *m, int nu, int nv, const PatchFn &pos, UvRect uv, bool flip) {
    meshPatchUv(
        m, nu, nv, pos,
        [uv](double u, double v) { return d3(mix(uv.s0, uv.s1, u), mix(uv.t0, uv.t1, v), 0.0); },
        flip);
}

PatchFn lathe(const std::function<D3(double v)> &profile) {
    return [profile](double u, double v) {
        D3 p = profile(v);
        // Walking u against the angle makes the profile's left side the front.
        double a = -2.0 * PI * u;
        return d3(p.x * cos(a), p.y, p.x * sin(a));
    };
}

PatchFn tube(const std::function<D3(double v)> &centre, D3 side,
             const std::function<double(double u, double v)> &radius) {
    return [centre, side, radius](double u, double v) {
        double h = 1e-4;
        D3 dir = normalize(centre(fmin(v + h, 1.0)) - centre(fmax(v - h, 0.0)));
        D3 across = cross(dir, side);
        double a = -2.0 * PI * u;
        return centre(v) + (across * cos(a) + side * sin(a)) * radius(u, v);
    };
}

void meshFrond(Mesh *m, const Frond &f, int nu, int nv, UvRect uv) {
    D3 up = d3(0, 1, 0);
    D3 heading = f.p2 - f.p0;
    heading.y = 0.0;
    D3 side = normalize(cross(heading, up));
    PatchFn pos = [f, side](double u, double v) {
        double w = 1.0 - v;
        D3 c = f.p0 * (w * w) + f.p1 * (2.0 * w * v) + f.p2 * (v * v);
        D3 tangent = normalize((f.p1 - f.p0) * (2.0 * w) + (f.p2 - f.p1) * (2.0 * v));
        D3 lift = cross(side, tangent);
        double a = 2.0 * u - 1.0, hw = f.half_width(v);
        return c + side * (a * hw * cos(f.droop)) -
               lift * (pow(fabs(a), f.curl) * hw * sin(f.droop));
    };
    size_t first_vertex = m->vertices.size(), first_index = m->indices.size();
    meshPatch(m, nu, nv, pos, uv, false);
    meshBackFaces(m, first_vertex, first_index);
}

void meshBackFaces(Mesh *m, size_t first_vertex, size_t first_index) {
    size_t vertex_end = m->vertices.size(), index_end = m->indices.size();
    uint32_t shift = (uint32_t)(vertex_end - first_vertex);
    for (size_t i = first_vertex; i < vertex_end; i++) {
        TVertex v = m->vertices[i];
        for (float &c : v.normal) c = -c;
        m->vertices.push_back(v);
    }
    for (size_t i = first_index; i < index_end; i += 3) {
        m->indices.push_back(m->indices[i] + shift);
        m->indices.push_back(m->indices[i + 2] + shift);
        m->indices.push_back(m->indices[i + 1] + shift);
    }
}

void meshFinish(Mesh *m) {
    float lo = m->vertices[0].position[1], hi = lo;
    for (const TVertex &v : m->vertices) {
        lo = fminf(lo, v.position[1]);
        hi = fmaxf(hi, v.position[1]);
    }
    // Dividing (not multiplying by a reciprocal) maps the extremes to exactly
    // 0 and 1, which the renderer's placement relies on.
    float span = hi - lo;
    for (TVertex &v : m->vertices) {
        v.position[0] = v.position[0] / span;
        v.position[1] = (v.position[1] - lo) / span;
        v.position[2] = v.position[2] / span;
    }
}

static void putU32(unsigned char *p, uint32_t x) {
    for (int i = 0; i < 4; i++) p[i] = (unsigned char)(x >> (8 * i));
}

std::vector<unsigned char> meshEncode(const Mesh &m) {
    size_t vcount = m.vertices.size(), icount = m.indices.size();
    std::vector<unsigned char> out(OMM_HEADER_BYTES + OMM_VERTEX_BYTES * vcount + 4 * icount);
    putU32(&out[0], (uint32_t)vcount);
    putU32(&out[4], (uint32_t)icount);
    unsigned char *p = &out[OMM_HEADER_BYTES];
    for (const TVertex &v : m.vertices) {
        const float *f = v.position;  // the 14 floats are contiguous
        for (int k = 0; k < 14; k++, p += 4) {
            uint32_t bits;
            memcpy(&bits, f + k, 4);
            putU32(p, bits);
        }
    }
    for (uint32_t i : m.indices) {
        putU32(p, i);
        p += 4;
    }
    return out;
}

void layersPaint(Layers *l, const std::function<Texel(double s, double t)> &paint) {
    size_t n = (size_t)TEX_SIDE * TEX_SIDE;
    l->rgba.assign(n * 4, 0.0f);
    l->rough.assign(n, 0.0f);
    l->metal.assign(n, 0.0f);
    l->ao.assign(n, 0.0f);
    l->height.assign(n, 0.0f);
    for (int y = 0; y < TEX_SIDE; y++) {
        for (int x = 0; x < TEX_SIDE; x++) {
            size_t i = (size_t)y * TEX_SIDE + x;
            Texel t = paint((x + 0.5) / TEX_SIDE, (y + 0.5) / TEX_SIDE);
            l->rgba[i * 4 + 0] = t.r;
            l->rgba[i * 4 + 1] = t.g;
            l->rgba[i * 4 + 2] = t.b;
            l->rgba[i * 4 + 3] = t.a;
            l->rough[i] = t.rough;
            l->metal[i] = t.metal;
            l->ao[i] = t.ao;
            l->height[i] = t.height;
        }
    }
}

static unsigned char toByte(float x) { return (unsigned char)lrintf((float)clamp01(x) * 255.0f); }

void layersEncode(const Layers &l, float bump, unsigned char *alb, unsigned char *rma,
                  unsigned char *nrm) {
    size_t n = (size_t)TEX_SIDE * TEX_SIDE;
    for (size_t i = 0; i < n; i++) {
        for (int c = 0; c < 4; c++) alb[i * 4 + c] = toByte(l.rgba[i * 4 + c]);
        rma[i * 3 + 0] = toByte(l.rough[i]);
        rma[i * 3 + 1] = toByte(l.metal[i]);
        rma[i * 3 + 2] = toByte(l.ao[i]);
    }
    heightToNormal(l.height.data(), TEX_SIDE, TEX_SIDE, bump, nrm);
}

void modelsBuild(int index, ModelAsset *out) {
    typedef void (*MeshFn)(Mesh *);
    typedef void (*PaintFn)(Layers *);
    static const MeshFn meshes[MODELS_COUNT] = {barrelMesh, fernMesh, palmMesh, cactusMesh};
    static const PaintFn painters[MODELS_COUNT] = {barrelPaint, fernPaint, palmPaint, cactusPaint};

    Mesh mesh;
    meshes[index](&mesh);
    meshFinish(&mesh);
    std::vector<unsigned char> omm = meshEncode(mesh);
    out->omm_len = omm.size();
    out->omm = (unsigned char *)malloc(omm.size());
    memcpy(out->omm, omm.data(), omm.size());

    Layers layers;
    painters[index](&layers);
    size_t n = (size_t)TEX_SIDE * TEX_SIDE;
    out->alb = (unsigned char *)malloc(n * 4);
    out->rma = (unsigned char *)malloc(n * 3);
    out->nrm = (unsigned char *)malloc(n * 3);
    layersEncode(layers, NORMAL_SLOPE, out->alb, out->rma, out->nrm);
}

void modelsFree(ModelAsset *asset) {
    free(asset->omm);
    free(asset->alb);
    free(asset->rma);
    free(asset->nrm);
    memset(asset, 0, sizeof *asset);
}

// Writes len bytes to path; 0 on success, 1 (with a message) on failure.
static int writeFile(const char *path, const unsigned char *data, size_t len) {
    FILE *f = fopen(path, "wb");
    int ok = f && fwrite(data, 1, len, f) == len;
    if (f && fclose(f) != 0) ok = 0;
    if (!ok) fprintf(stderr, "assetgen: cannot write %s\n", path);
    return ok ? 0 : 1;
}

// Writes the four files of one built model into dir.
static int writeModel(const char *dir, const char *name, const ModelAsset *a) {
    char path[4096];
    int fail = 0;
    snprintf(path, sizeof path, "%s/%s.omm", dir, name);
    fail |= writeFile(path, a->omm, a->omm_len);
    snprintf(path, sizeof path, "%s/%s_alb.png", dir, name);
    fail |= writePng(path, TEX_SIDE, TEX_SIDE, 4, a->alb);
    snprintf(path, sizeof path, "%s/%s_rma.png", dir, name);
    fail |= writePng(path, TEX_SIDE, TEX_SIDE, 3, a->rma);
    snprintf(path, sizeof path, "%s/%s_nrm.png", dir, name);
    fail |= writePng(path, TEX_SIDE, TEX_SIDE, 3, a->nrm);
    return fail;
}

int assetgenModels(const char *dir) {
    for (int i = 0; i < MODELS_COUNT; i++) {
        ModelAsset a;
        modelsBuild(i, &a);
        int fail = writeModel(dir, MODELS_NAMES[i], &a);
        modelsFree(&a);
        if (fail) return 1;
    }
    return 0;
}
