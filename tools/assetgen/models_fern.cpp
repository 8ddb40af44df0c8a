// The fern: a rosette of arching fronds, each a rachis with lobed pinnae,
// plus a few young fronds standing up in the middle.
#include <math.h>

#include "common.h"
#include "models_build.h"

// ------------------------------------------------------------ constants ----

static const int FRONDS = 11;
static const int YOUNG_FRONDS = 3;

// Two frond variants side by side, each from its base (top of the image) to
// its tip.
static const UvRect UV_FROND[2] = {{0.0, 0.0, 0.5, 1.0}, {0.5, 0.0, 1.0, 1.0}};

// Pinnae in frond texels: spacing along the rachis, angle away from it.
static const double PINNA_SPACING = 19.0;
static const double PINNA_ANGLE = 1.1;
static const double STIPE_T = 0.16;  // bare stalk before the first pinna
static const int LOBES = 7;          // pinnules along each pinna

// ------------------------------------------------------------ functions ----

// One frond leaving the crown at azimuth az; young fronds are shorter and
// steeper.
static void addFrond(Mesh *m, int i, double az, bool young) {
    double len = young ? 0.55 + 0.1 * hashUnit(i, 1, 101) : 0.9 + 0.2 * hashUnit(i, 1, 101);
    double rise = young ? 1.4 : 1.15 + 0.25 * hashUnit(i, 2, 101);
    D3 out = d3(cos(az), 0, sin(az)), up = d3(0, 1, 0);
    Frond f;
    f.p0 = out * 0.02;
    f.p1 = f.p0 + (out * cos(rise) + up * sin(rise)) * (0.55 * len);
    f.p2 = young ? f.p0 + out * (0.3 * len) + up * (0.75 * len)
                 : f.p0 + out * (0.62 * len) + up * ((0.22 + 0.15 * hashUnit(i, 3, 101)) * len);
    f.droop = 0.45;
    f.curl = 2.0;
    // Narrow along the bare stalk, so the card starts at the crown itself.
    f.half_width = [len](double v) { return 0.16 * len * (0.15 + 0.85 * smoothstep(0.0, 0.3, v)); };
    meshFrond(m, f, 4, 12, UV_FROND[i & 1]);
}

void fernMesh(Mesh *m) {
    for (int i = 0; i < FRONDS; i++)
        addFrond(m, i, 2.0 * PI * (i + 0.4 * hashUnit(i, 0, 101)) / FRONDS, false);
    for (int i = 0; i < YOUNG_FRONDS; i++)
        addFrond(m, FRONDS + i, 2.0 * PI * (i + 0.3) / YOUNG_FRONDS, true);
}

// ---- texture ----

// Coverage (0..1, a one-texel soft edge) of the pinnae at (x, y) texels from
// the rachis at the frond base. vein gives 1 on a pinna's midrib falling to
// 0 at its edge; tone varies per pinna.
static double pinnae(double x, double y, double reach_px, double length_px, uint32_t seed,
                     double *vein, double *tone) {
    double side = x < 0 ? -1.0 : 1.0, ax = fabs(x);
    double stagger = side < 0 ? 0.5 * PINNA_SPACING : 0.0;
    double sa = sin(PINNA_ANGLE), ca = cos(PINNA_ANGLE);
    int k0 = (int)floor((y - ax * ca / sa - stagger) / PINNA_SPACING);
    double best = 0.0;
    *vein = 0.0;
    *tone = 0.0;
    for (int k = k0 - 2; k <= k0 + 2; k++) {
        double by = k * PINNA_SPACING + stagger;
        double tau = (by / length_px - STIPE_T) / (0.97 - STIPE_T);
        if (tau < 0.0 || tau > 1.0) continue;
        uint32_t id = (uint32_t)(k * 2 + (side < 0));
        // Longest a third of the way up, tapering to a point at the tip.
        double len = reach_px / sa * pow(sin(PI * pow(tau, 0.55)), 0.8) *
                     (0.9 + 0.1 * hashUnit(id, 0, seed));
        double dx = ax, dy = y - by;
        double along = dx * sa + dy * ca, perp = -dx * ca + dy * sa;
        if (len < 3.0 || along < 0.0 || along > len) continue;
        double f = along / len;
        perp += 0.1 * len * f * f;  // the pinna curves towards the frond tip
        double lobe = fabs(sin(PI * LOBES * f));
        double half = (0.12 * len + 2.5) * (1.0 - 0.8 * f) * (0.4 + 0.6 * sqrt(lobe));
        double cover = clamp01(half - fabs(perp) + 0.5);
        if (cover > best) {
            best = cover;
            *vein = clamp01(1.0 - fabs(perp) / fmax(half, 0.5));
            *tone = hashUnit(id, 1, seed);
        }
    }
    return best;
}

// One frond variant in its atlas column: rachis down the middle, pinnae to
// both sides, everything else cut out.
static Texel paintFrond(double s, double t, const UvRect &r, uint32_t seed) {
    double w_px = (r.s1 - r.s0) * TEX_SIDE, len_px = (r.t1 - r.t0) * TEX_SIDE;
    double x = ((s - r.s0) / (r.s1 - r.s0) - 0.5) * w_px, y = (t - r.t0) * TEX_SIDE;
    double rachis_half = mix(3.0, 0.7, y / len_px);
    double rachis = clamp01(rachis_half - fabs(x) + 0.5) * (y < len_px * 0.975 ? 1.0 : 0.0);
    double vein, tone;
    double leaf = pinnae(x, y, 0.5 * w_px - 3.0, len_px, seed, &vein, &tone);
    double n = fbm2(s * 50.0, t * 50.0, 3, seed + 5);
    double g = (0.85 + 0.15 * tone + 0.1 * n) * (1.0 + 0.25 * pow(vein, 4.0));
    Texel tx = texel(0.20 * g, 0.36 * g, 0.11 * g, 0.55, 0.0, 1.0);
    if (rachis > leaf) {
        tx.r = 0.36f, tx.g = 0.37f, tx.b = 0.17f;
    }
    tx.a = (float)fmax(rachis, leaf);
    // Shade gathers towards the rachis and the frond base.
    tx.ao = (float)(mix(0.7, 1.0, clamp01(fabs(x) / 30.0)) *
                    mix(0.75, 1.0, clamp01(y / (0.3 * len_px))));
    tx.height = (float)(1.5 * sqrt(vein) * leaf + 2.0 * rachis);
    return tx;
}

void fernPaint(Layers *l) {
    layersPaint(l, [](double s, double t) {
        return s < UV_FROND[1].s0 ? paintFrond(s, t, UV_FROND[0], 111)
                                  : paintFrond(s, t, UV_FROND[1], 112);
    });
}
