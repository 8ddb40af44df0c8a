// A small software rasteriser that draws an .omm mesh for the contact sheet
// and for checking the models by eye.
#include <math.h>
#include <string.h>

#include <vector>

#include "models.h"
#include "models_build.h"

// ------------------------------------------------------------ constants ----

enum { SUPERSAMPLE = 2 };  // per axis; the image is box-filtered down

static const double DEFAULT_YAW = 0.65;    // a 3/4 view
static const double DEFAULT_PITCH = 0.35;  // looking slightly down
static const unsigned char BACKGROUND[3] = {52, 56, 64};

// ---------------------------------------------------------------- types ----

// The camera basis: right, up and towards the viewer.
struct View {
    D3 right, up, back;
};

// A vertex projected to the supersampled image, with what the shading needs.
struct ScreenVertex {
    double x, y, depth;  // x right, y down in pixels; larger depth is nearer
    D3 n, t, b;
    double s, tt;
};

// The supersampled target and the textures shading reads.
struct Target {
    int w, h;
    std::vector<double> rgb;  // linear colour
    std::vector<double> depth;
    const unsigned char *alb, *nrm;
    D3 light;
};

// ------------------------------------------------------------ functions ----

static View makeView(double yaw, double pitch) {
    View v;
    v.back = d3(sin(yaw) * cos(pitch), sin(pitch), cos(yaw) * cos(pitch));
    v.right = normalize(cross(d3(0, 1, 0), v.back));
    v.up = cross(v.back, v.right);
    return v;
}

static D3 loadVec(const unsigned char *p) {
    float f[3];
    memcpy(f, p, sizeof f);
    return d3(f[0], f[1], f[2]);
}

// Reads and projects every vertex so the mesh fills about 90% of the target.
static std::vector<ScreenVertex> projectVertices(const unsigned char *omm, uint32_t count,
                                                 const View &view, int w, int h) {
    std::vector<ScreenVertex> sv(count);
    double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30;
    for (uint32_t i = 0; i < count; i++) {
        const unsigned char *p = omm + OMM_HEADER_BYTES + (size_t)i * OMM_VERTEX_BYTES;
        D3 pos = loadVec(p);
        ScreenVertex &v = sv[i];
        v.x = dot(pos, view.right);
        v.y = dot(pos, view.up);
        v.depth = dot(pos, view.back);
        v.n = loadVec(p + 12);
        v.t = loadVec(p + 24);
        v.b = loadVec(p + 36);
        float st[2];
        memcpy(st, p + 48, sizeof st);
        v.s = st[0];
        v.tt = st[1];
        x0 = fmin(x0, v.x), x1 = fmax(x1, v.x);
        y0 = fmin(y0, v.y), y1 = fmax(y1, v.y);
    }
    double scale = 0.9 * fmin(w / fmax(x1 - x0, 1e-9), h / fmax(y1 - y0, 1e-9));
    double cx = 0.5 * (x0 + x1), cy = 0.5 * (y0 + y1);
    for (ScreenVertex &v : sv) {
        v.x = 0.5 * w + (v.x - cx) * scale;
        v.y = 0.5 * h - (v.y - cy) * scale;
    }
    return sv;
}

static double srgbToLinear(double c) { return pow(c, 2.2); }

// Nearest texel of a TEX_SIDE squared image with comp channels.
static const unsigned char *sampleTexel(const unsigned char *img, int comp, double s, double t) {
    int x = (int)(clamp01(s) * (TEX_SIDE - 1) + 0.5), y = (int)(clamp01(t) * (TEX_SIDE - 1) + 0.5);
    return img + ((size_t)y * TEX_SIDE + x) * comp;
}

// Shades one covered sample; false when the cut-out mask discards it.
static bool shadeSample(const Target &tg, const ScreenVertex *v[3], const double bary[3],
                        double out[3]) {
    D3 n = d3(0, 0, 0), t = n, b = n;
    double s = 0, tt = 0;
    for (int k = 0; k < 3; k++) {
        n = n + v[k]->n * bary[k];
        t = t + v[k]->t * bary[k];
        b = b + v[k]->b * bary[k];
        s += v[k]->s * bary[k];
        tt += v[k]->tt * bary[k];
    }
    n = normalize(n);
    double albedo[3] = {0.62, 0.62, 0.6};
    if (tg.alb) {
        const unsigned char *c = sampleTexel(tg.alb, 4, s, tt);
        if (c[3] < 128) return false;
        for (int k = 0; k < 3; k++) albedo[k] = srgbToLinear(c[k] / 255.0);
    }
    if (tg.nrm) {
        const unsigned char *c = sampleTexel(tg.nrm, 3, s, tt);
        D3 m = d3(c[0] / 127.5 - 1, c[1] / 127.5 - 1, c[2] / 127.5 - 1);
        n = normalize(t * m.x + b * m.y + n * m.z);
    }
    double light = 0.25 + 0.9 * fmax(0.0, dot(n, tg.light));
    for (int k = 0; k < 3; k++) out[k] = albedo[k] * light;
    return true;
}

// Rasterises one front-facing triangle with depth test.
static void drawTriangle(Target *tg, const ScreenVertex *v[3]) {
    const ScreenVertex &a = *v[0], &b = *v[1], &c = *v[2];
    // y points down on screen, so a counter-clockwise face has negative area.
    double area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
    if (area >= 0.0) return;
    int x0 = (int)fmax(0, floor(fmin(a.x, fmin(b.x, c.x))));
    int x1 = (int)fmin(tg->w - 1, ceil(fmax(a.x, fmax(b.x, c.x))));
    int y0 = (int)fmax(0, floor(fmin(a.y, fmin(b.y, c.y))));
    int y1 = (int)fmin(tg->h - 1, ceil(fmax(a.y, fmax(b.y, c.y))));
    for (int y = y0; y <= y1; y++) {
        for (int x = x0; x <= x1; x++) {
            double px = x + 0.5, py = y + 0.5;
            double bary[3] = {((b.x - px) * (c.y - py) - (c.x - px) * (b.y - py)) / area,
                              ((c.x - px) * (a.y - py) - (a.x - px) * (c.y - py)) / area, 0};
            bary[2] = 1.0 - bary[0] - bary[1];
            if (bary[0] < 0 || bary[1] < 0 || bary[2] < 0) continue;
            double depth = a.depth * bary[0] + b.depth * bary[1] + c.depth * bary[2];
            size_t i = (size_t)y * tg->w + x;
            double col[3];
            if (depth <= tg->depth[i] || !shadeSample(*tg, v, bary, col)) continue;
            tg->depth[i] = depth;
            memcpy(&tg->rgb[i * 3], col, sizeof col);
        }
    }
}

// Box-filters the supersampled target into the w x h sRGB output.
static void resolve(const Target &tg, unsigned char *rgb, int w, int h) {
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            for (int k = 0; k < 3; k++) {
                double sum = 0;
                for (int j = 0; j < SUPERSAMPLE; j++)
                    for (int i = 0; i < SUPERSAMPLE; i++)
                        sum += tg.rgb[((size_t)(y * SUPERSAMPLE + j) * tg.w + x * SUPERSAMPLE + i) *
                                          3 +
                                      k];
                double c = pow(sum / (SUPERSAMPLE * SUPERSAMPLE), 1.0 / 2.2);
                rgb[((size_t)y * w + x) * 3 + k] = (unsigned char)lrint(clamp01(c) * 255.0);
            }
        }
    }
}

void previewDraw(const unsigned char *omm, size_t len, const unsigned char *alb,
                 const unsigned char *nrm, double yaw, double pitch, unsigned char *rgb, int w,
                 int h) {
    Target tg;
    tg.w = w * SUPERSAMPLE;
    tg.h = h * SUPERSAMPLE;
    tg.rgb.assign((size_t)tg.w * tg.h * 3, srgbToLinear(BACKGROUND[0] / 255.0));
    for (size_t i = 0; i < tg.rgb.size(); i += 3)
        for (int k = 0; k < 3; k++) tg.rgb[i + k] = srgbToLinear(BACKGROUND[k] / 255.0);
    tg.depth.assign((size_t)tg.w * tg.h, -1e30);
    tg.alb = alb;
    tg.nrm = nrm;
    View view = makeView(yaw, pitch);
    tg.light = normalize(view.right * -0.4 + view.up * 0.8 + view.back * 0.5);

    uint32_t vcount = 0, icount = 0;
    if (len >= OMM_HEADER_BYTES) {
        memcpy(&vcount, omm, 4);
        memcpy(&icount, omm + 4, 4);
    }
    bool sound = len >= OMM_HEADER_BYTES && vcount > 0 &&
                 len == OMM_HEADER_BYTES + (size_t)OMM_VERTEX_BYTES * vcount + 4 * (size_t)icount;
    if (sound) {
        std::vector<ScreenVertex> sv = projectVertices(omm, vcount, view, tg.w, tg.h);
        const unsigned char *ip = omm + OMM_HEADER_BYTES + (size_t)OMM_VERTEX_BYTES * vcount;
        for (uint32_t i = 0; i + 2 < icount; i += 3) {
            uint32_t idx[3];
            memcpy(idx, ip + (size_t)i * 4, sizeof idx);
            if (idx[0] >= vcount || idx[1] >= vcount || idx[2] >= vcount) continue;
            const ScreenVertex *tri[3] = {&sv[idx[0]], &sv[idx[1]], &sv[idx[2]]};
            drawTriangle(&tg, tri);
        }
    }
    resolve(tg, rgb, w, h);
}

void modelsDrawPreview(const unsigned char *omm, size_t len, unsigned char *rgb, int w, int h) {
    previewDraw(omm, len, nullptr, nullptr, DEFAULT_YAW, DEFAULT_PITCH, rgb, w, h);
}

void modelsDrawPreviewTextured(const unsigned char *omm, size_t len, const unsigned char *alb,
                               const unsigned char *nrm, unsigned char *rgb, int w, int h) {
    previewDraw(omm, len, alb, nrm, DEFAULT_YAW, DEFAULT_PITCH, rgb, w, h);
}
