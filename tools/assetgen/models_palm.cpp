// The palm: a slender, leaning, ringed trunk with a fibrous crown, a few
// coconuts and a dozen arching pinnate fronds.
#include <math.h>

#include "common.h"
#include "models_build.h"

// ------------------------------------------------------------ constants ----

// Shape, in design units (the finished model is one unit high).
static const double TRUNK_HEIGHT = 0.84;
static const double TRUNK_LEAN = 0.07;  // sideways offset of the top
static const double TRUNK_RADIUS = 0.028;
static const int FRONDS = 15;
static const int TRUNK_RINGS = 60;  // leaf scars along the trunk texture

// Texture atlas regions. The trunk wraps once round, upright; each frond
// variant runs from its base (top of the image) to its tip.
static const UvRect UV_TRUNK = {0.0, 0.9, 0.25, 0.0};
static const UvRect UV_CROWN = {0.0, 0.9, 0.125, 1.0};
static const UvRect UV_NUT = {0.125, 0.9, 0.25, 1.0};
static const UvRect UV_FROND[2] = {{0.25, 0.0, 0.625, 1.0}, {0.625, 0.0, 1.0, 1.0}};

// Leaflets in frond texels: spacing along the rachis, angle away from it.
static const double LEAFLET_SPACING = 7.0;
static const double LEAFLET_ANGLE = 0.95;
static const double LEAFLET_BASE_T = 0.1;  // bare stalk before the first leaflet

// ------------------------------------------------------------ functions ----

static D3 trunkCentre(double v) { return d3(TRUNK_LEAN * v * v, TRUNK_HEIGHT * v, 0.0); }

// Flared at the foot, thinning towards the crown.
static double trunkRadius(double v) {
    return TRUNK_RADIUS * (1.0 - 0.25 * v + 0.45 * exp(-v / 0.04));
}

// An ellipsoid lathe around centre; used for the crown knot and coconuts.
static void addBlob(Mesh *m, D3 centre, double rx, double ry, int nu, int nv, UvRect uv) {
    PatchFn shape = lathe([=](double v) {
        double a = PI * (v - 0.5);
        return d3(rx * cos(a), ry * sin(a), 0.0);
    });
    meshPatch(
        m, nu, nv, [=](double u, double v) { return centre + shape(u, v); }, uv, false);
}

static void addFrond(Mesh *m, int i) {
    D3 top = trunkCentre(1.0) + d3(0, 0.012, 0);
    double az = 2.0 * PI * (i + 0.35 * hashUnit(i, 0, 71)) / FRONDS;
    bool inner = i % 4 == 0;  // younger fronds stand up in the middle
    double len = (inner ? 0.32 : 0.44) + 0.07 * hashUnit(i, 1, 71);
    double rise = inner ? 1.1 : 0.45 + 0.3 * hashUnit(i, 2, 71);
    double drop = inner ? -0.08 : 0.1 + 0.15 * hashUnit(i, 3, 71);
    D3 out = d3(cos(az), 0, sin(az)), up = d3(0, 1, 0);
    Frond f;
    f.p0 = top + out * 0.01;
    f.p1 = f.p0 + (out * cos(rise) + up * sin(rise)) * (0.5 * len);
    f.p2 = f.p0 + out * (len * (inner ? 0.45 : 0.8)) + up * (len * (inner ? 0.55 : 0.05) - drop);
    f.droop = 0.35;
    f.curl = 1.0;
    f.half_width = [](double v) { return 0.1 * (0.35 + 0.65 * smoothstep(0.0, 0.25, v)); };
    meshFrond(m, f, 4, 10, UV_FROND[i & 1]);
}

void palmMesh(Mesh *m) {
    PatchFn trunk = tube(trunkCentre, d3(0, 0, 1), [](double, double v) { return trunkRadius(v); });
    meshPatch(m, 12, 16, trunk, UV_TRUNK, false);
    D3 top = trunkCentre(1.0);
    addBlob(m, top + d3(0, 0.004, 0), 0.034, 0.026, 12, 6, UV_CROWN);
    for (int k = 0; k < 3; k++) {
        double a = 0.7 + 2.1 * k;
        addBlob(m, top + d3(0.03 * cos(a), -0.018, 0.03 * sin(a)), 0.014, 0.015, 8, 5, UV_NUT);
    }
    for (int i = 0; i < FRONDS; i++) addFrond(m, i);
}

// ---- texture ----

// Grey-brown trunk with a raised leaf-scar ring every few texels.
static Texel paintTrunk(double s, double t) {
    double v = 1.0 - t / UV_TRUNK.t0;  // height up the trunk
    double wobble = 0.25 * fbm2(s * 8.0, v * 4.0, 2, 81);
    double ring = v * TRUNK_RINGS + wobble;
    double phase = ring - floor(ring);
    double scar = smoothstep(0.0, 0.25, phase) * smoothstep(1.0, 0.7, phase);
    double fibre = fbm2(s * 120.0, v * 12.0, 3, 82);
    double shade = (0.8 + 0.15 * scar + 0.08 * fibre) * mix(0.8, 1.05, v);
    Texel tx = texel(0.47 * shade, 0.42 * shade, 0.36 * shade, 0.85, 0.0, mix(0.6, 1.0, scar));
    tx.height = (float)(2.5 * scar + 0.5 * fibre);
    return tx;
}

// Matted brown fibre of old leaf bases around the crown.
static Texel paintCrown(double s, double t) {
    double fibre = fbm2(s * 90.0, t * 25.0, 4, 83);
    double shade = 0.75 + 0.25 * fibre;
    Texel tx = texel(0.42 * shade, 0.32 * shade, 0.2 * shade, 0.9, 0.0, 0.8);
    tx.height = (float)(1.5 * fibre);
    return tx;
}

static Texel paintNut(double s, double t) {
    double n = fbm2(s * 30.0, t * 30.0, 3, 84);
    Texel tx = texel(0.45 + 0.04 * n, 0.40 + 0.04 * n, 0.16, 0.5, 0.0, 0.85);
    tx.height = (float)(0.6 * n);
    return tx;
}

// Coverage (0..1, a one-texel soft edge) of the leaflets at (x, y) texels
// from the rachis at the frond base; midrib gives 1 on a leaflet's centre
// line falling to 0 at its edge. length_px is the frond length.
static double leaflets(double x, double y, double width_px, double length_px, uint32_t seed,
                       double *midrib, double *tone) {
    double side = x < 0 ? -1.0 : 1.0, ax = fabs(x);
    double stagger = side < 0 ? 0.5 * LEAFLET_SPACING : 0.0;
    double sa = sin(LEAFLET_ANGLE), ca = cos(LEAFLET_ANGLE);
    double base_y = y - ax * ca / sa - stagger;  // where a leaflet through here leaves
    int k0 = (int)floor(base_y / LEAFLET_SPACING);
    double best = 0.0;
    *midrib = 0.0;
    *tone = 0.0;
    for (int k = k0 - 2; k <= k0 + 2; k++) {
        double by = k * LEAFLET_SPACING + stagger;
        double tau = (by / length_px - LEAFLET_BASE_T) / (0.98 - LEAFLET_BASE_T);
        if (tau < 0.0 || tau > 1.0) continue;
        uint32_t id = (uint32_t)(k * 2 + (side < 0));
        if (hashUnit(id, 2, seed) < 0.06) continue;  // a leaflet torn off by the wind
        double len = width_px / sa * pow(sin(PI * pow(tau, 0.6)), 0.7) *
                     (0.85 + 0.15 * hashUnit(id, 0, seed));
        double dx = ax, dy = y - by;
        double along = dx * sa + dy * ca;
        double perp = -dx * ca + dy * sa;
        if (len < 2.0 || along < 0.0 || along > len) continue;
        double f = along / len;
        perp += 0.12 * len * f * f;  // the leaflet bends towards the frond tip
        double half = 2.6 * pow(sin(PI * fmin(1.0, f * 1.1 + 0.02)), 0.5);
        double cover = clamp01(half - fabs(perp) + 0.5);
        if (cover > best) {
            best = cover;
            *midrib = clamp01(1.0 - fabs(perp) / fmax(half, 0.5));
            *tone = hashUnit(id, 1, seed) + 0.6 * f * f;  // tips dry out
        }
    }
    return best;
}

// One frond variant in its atlas column: a tapering rachis down the middle
// with narrow leaflets on both sides, everything else cut out.
static Texel paintFrond(double s, double t, const UvRect &r, uint32_t seed) {
    double w_px = (r.s1 - r.s0) * TEX_SIDE, len_px = (r.t1 - r.t0) * TEX_SIDE;
    double x = ((s - r.s0) / (r.s1 - r.s0) - 0.5) * w_px, y = (t - r.t0) * TEX_SIDE;
    double rachis_half = mix(3.5, 0.8, y / len_px);
    double rachis = clamp01(rachis_half - fabs(x) + 0.5) * (y < len_px * 0.985 ? 1.0 : 0.0);
    double midrib, tone;
    double leaf = leaflets(x, y, 0.5 * w_px - 4.0, len_px, seed, &midrib, &tone);
    double n = fbm2(s * 60.0, t * 60.0, 2, seed + 5);
    double dry = smoothstep(0.75, 1.25, tone);
    double g = 0.9 + 0.1 * n + 0.15 * midrib;
    Texel tx = texel(mix(0.26, 0.48, dry) * g, mix(0.42, 0.40, dry) * g, mix(0.14, 0.18, dry) * g,
                     0.6, 0.0, 1.0);
    if (rachis > leaf) {
        tx.r = 0.52f, tx.g = 0.5f, tx.b = 0.27f;
    }
    tx.a = (float)fmax(rachis, leaf);
    tx.ao = (float)mix(0.75, 1.0, clamp01(fabs(x) / 20.0));
    tx.height = (float)(2.0 * midrib * leaf + 2.5 * rachis);
    return tx;
}

void palmPaint(Layers *l) {
    layersPaint(l, [](double s, double t) {
        if (s >= UV_FROND[1].s0) return paintFrond(s, t, UV_FROND[1], 92);
        if (s >= UV_FROND[0].s0) return paintFrond(s, t, UV_FROND[0], 91);
        if (t < UV_TRUNK.t0) return paintTrunk(s, t);
        return s < UV_CROWN.s1 ? paintCrown(s, t) : paintNut(s, t);
    });
}
