// The cactus: a ribbed saguaro column with a domed top and two arms that
// leave it sideways and bend upwards.
#include <math.h>

#include "common.h"
#include "models_build.h"

// ------------------------------------------------------------ constants ----

// Shape, in trunk heights.
static const double TRUNK_RADIUS = 0.06;
static const double DOME_FRACTION = 0.28;  // share of the trunk rows on the dome
static const double ARM_RADIUS = 0.043;
static const double ARM_BEND = 0.07;   // radius of the elbow
static const double RIB_DEPTH = 0.12;  // groove depth relative to radius
static const int TRUNK_RIBS = 12;
static const int ARM_RIBS = 8;
static const int SEGMENTS_PER_RIB = 4;

// Texture atlas regions: trunk and arms each wrap once around, upright.
static const UvRect UV_TRUNK = {0.0, 1.0, 0.5, 0.0};
static const UvRect UV_ARM = {0.5, 1.0, 1.0, 0.0};
static const double BARK_T = 0.93;  // below this texel row the trunk base is corky

// ---------------------------------------------------------------- types ----

// One arm: where it leaves the trunk, which way, and how high it reaches.
struct Arm {
    double start_y;
    double heading;  // radians about +y
    double reach;    // horizontal run before the elbow
    double rise;     // straight run above the elbow
};

// ---------------------------------------------------------------- state ----

static const Arm ARMS[2] = {
    {0.42, 0.5, 0.10, 0.26},
    {0.55, 3.5, 0.08, 0.17},
};

// ------------------------------------------------------------ functions ----

// Radius factor of a ribbed cross-section at u (once round): rounded ridges
// at u = k / ribs with sharp grooves between.
static double ribs(double u, int count) {
    return 1.0 - RIB_DEPTH + RIB_DEPTH * fabs(cos(PI * count * u));
}

// The trunk: slightly swelling column, then a blunt dome closing at the top.
static D3 trunkPoint(double u, double v) {
    double top = 1.0 - 0.9 * TRUNK_RADIUS;  // where the dome starts
    double y, r;
    if (v < 1.0 - DOME_FRACTION) {
        y = top * v / (1.0 - DOME_FRACTION);
        r = TRUNK_RADIUS * (0.93 + 0.07 * sin(PI * y / top));
    } else {
        double phi = 0.5 * PI * (v - (1.0 - DOME_FRACTION)) / DOME_FRACTION;
        y = top + 0.9 * TRUNK_RADIUS * sin(phi);
        r = TRUNK_RADIUS * 0.93 * cos(phi);
    }
    r *= ribs(u, TRUNK_RIBS);
    double a = -2.0 * PI * u;
    return d3(r * cos(a), y, r * sin(a));
}

// Length of an arm's centre line from the trunk axis to the tip of its dome.
static double armLength(const Arm &arm) { return arm.reach + 0.5 * PI * ARM_BEND + arm.rise; }

// Point at distance s along an arm's centre line: out, round the elbow, up.
static D3 armCentre(const Arm &arm, double s) {
    D3 out = d3(cos(arm.heading), 0, sin(arm.heading)), up = d3(0, 1, 0);
    D3 base = d3(0, arm.start_y, 0);
    double elbow = 0.5 * PI * ARM_BEND;
    if (s < arm.reach) return base + out * s;
    if (s < arm.reach + elbow) {
        double a = (s - arm.reach) / ARM_BEND;
        return base + out * (arm.reach + ARM_BEND * sin(a)) + up * (ARM_BEND * (1 - cos(a)));
    }
    return base + out * (arm.reach + ARM_BEND) + up * (ARM_BEND + s - arm.reach - elbow);
}

// Arm radius at distance s: pinched where it joins the trunk, domed at the tip.
static double armRadius(const Arm &arm, double s) {
    double len = armLength(arm);
    double joint = mix(0.75, 1.0, smoothstep(TRUNK_RADIUS * 0.8, TRUNK_RADIUS + 0.05, s));
    double tip = len - ARM_RADIUS;
    double dome = s > tip ? sqrt(fmax(0.0, 1.0 - pow((s - tip) / ARM_RADIUS, 2.0))) : 1.0;
    return ARM_RADIUS * joint * dome;
}

static void addArm(Mesh *m, const Arm &arm) {
    // The arm starts inside the trunk so no gap shows at the joint.
    double start = 0.4 * TRUNK_RADIUS, len = armLength(arm) - start;
    D3 out = d3(cos(arm.heading), 0, sin(arm.heading));
    D3 side = normalize(cross(out, d3(0, 1, 0)));
    PatchFn pos = tube(
        [=](double v) { return armCentre(arm, start + len * v); }, side,
        [=](double u, double v) { return armRadius(arm, start + len * v) * ribs(u, ARM_RIBS); });
    meshPatch(m, ARM_RIBS * SEGMENTS_PER_RIB, 14, pos, UV_ARM, false);
}

void cactusMesh(Mesh *m) {
    meshPatch(m, TRUNK_RIBS * SEGMENTS_PER_RIB, 18, trunkPoint, UV_TRUNK, false);
    for (const Arm &arm : ARMS) addArm(m, arm);
}

// ---- texture ----

// Distance in texels from (px, py) to the segment from the origin to (ex, ey).
static double segmentDistance(double px, double py, double ex, double ey) {
    double k = clamp01((px * ex + py * ey) / (ex * ex + ey * ey));
    return hypot(px - k * ex, py - k * ey);
}

// How much of a spine cluster covers a texel at (dx, dy) texels from its
// areole; seed picks the spine directions.
static double spines(double dx, double dy, uint32_t seed) {
    double cover = 0.0;
    for (int k = 0; k < 7; k++) {
        double a = 2.0 * PI * (k + 0.6 * hashUnit(k, 0, seed)) / 7.0;
        double len = 4.0 + 4.0 * hashUnit(k, 1, seed);
        double d = segmentDistance(dx, dy, cos(a) * len, sin(a) * len);
        cover = fmax(cover, clamp01(0.9 - d));
    }
    return cover;
}

// The ribbed skin: u once round with the given rib count, v along the stem
// in texels. Ridges are paler and carry areoles with spines.
static Texel paintSkin(double u, double v_px, int rib_count, double rib_px, uint32_t seed) {
    double phase = u * rib_count - floor(u * rib_count);
    double ridge = fabs(cos(PI * phase));  // 1 on a ridge, 0 in a groove
    int rib = (int)floor(u * rib_count + 0.5);
    double streak = fbm2(u * rib_count * 3.0, v_px / 60.0, 3, seed);
    double shade = 0.78 + 0.22 * ridge + 0.06 * streak;
    Texel tx = texel(0.30 * shade, 0.43 * shade, 0.25 * shade, 0.55 - 0.1 * ridge, 0.0,
                     mix(0.62, 1.0, pow(ridge, 0.7)));
    double height = 3.0 * pow(ridge, 1.5) + 0.4 * streak;

    // Areoles sit on each ridge every dozen texels, staggered between ribs.
    const double spacing = 12.0;
    double along = v_px + spacing * 0.5 * (rib & 1);
    double dy = along - spacing * floor(along / spacing + 0.5);
    double dx = (u * rib_count - rib) * rib_px;
    uint32_t cell = (uint32_t)(rib * 977 + (int)floor(along / spacing + 0.5));
    double fuzz = clamp01(2.4 - hypot(dx, dy * 1.3));
    double spine = spines(dx, dy, seed ^ hash32(cell)) * (1.0 - fuzz);
    height += 1.5 * fuzz;
    double c[3] = {tx.r, tx.g, tx.b};
    const double fuzz_col[3] = {0.62, 0.56, 0.44}, spine_col[3] = {0.78, 0.74, 0.64};
    for (int k = 0; k < 3; k++) c[k] = mix(mix(c[k], fuzz_col[k], fuzz), spine_col[k], spine);
    tx.r = (float)c[0], tx.g = (float)c[1], tx.b = (float)c[2];
    tx.rough = (float)mix(tx.rough, 0.8, fmax(fuzz, spine));
    tx.height = (float)height;
    return tx;
}

// Grey-brown corky bark that old saguaros grow at the base of the trunk.
static Texel barkBlend(Texel skin, double s, double t) {
    double n = fbm2(s * 40.0, t * 40.0, 4, 51);
    double w = smoothstep(BARK_T - 0.02, BARK_T + 0.04, t + 0.03 * n);
    double g = 0.42 + 0.06 * n;
    skin.r = (float)mix(skin.r, g * 1.05, w);
    skin.g = (float)mix(skin.g, g * 0.95, w);
    skin.b = (float)mix(skin.b, g * 0.80, w);
    skin.rough = (float)mix(skin.rough, 0.9, w);
    skin.height = (float)mix(skin.height, 1.5 + 2.0 * n, w);
    return skin;
}

void cactusPaint(Layers *l) {
    layersPaint(l, [](double s, double t) {
        double v_px = t * TEX_SIDE;
        if (s < UV_TRUNK.s1) {
            double u = (s - UV_TRUNK.s0) / (UV_TRUNK.s1 - UV_TRUNK.s0);
            double rib_px = (UV_TRUNK.s1 - UV_TRUNK.s0) * TEX_SIDE / TRUNK_RIBS;
            return barkBlend(paintSkin(u, v_px, TRUNK_RIBS, rib_px, 61), s, t);
        }
        double u = (s - UV_ARM.s0) / (UV_ARM.s1 - UV_ARM.s0);
        double rib_px = (UV_ARM.s1 - UV_ARM.s0) * TEX_SIDE / ARM_RIBS;
        return paintSkin(u, v_px, ARM_RIBS, rib_px, 62);
    });
}
