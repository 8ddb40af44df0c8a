// The barrel: oak staves bulging at the belly, four iron hoops, a lid sunk
// below the stave ends.
#include <math.h>

#include "common.h"
#include "models_build.h"

// ------------------------------------------------------------ constants ----

// Shape, in barrel heights.
static const double END_RADIUS = 0.27;
static const double BELLY_RADIUS = 0.32;
static const double RIM_WIDTH = 0.024;  // stave thickness seen at the top
static const double LID_DEPTH = 0.035;  // lid below the stave ends
static const double HOOP_THICK = 0.008;
static const double HOOP_WIDTH = 0.05;
static const double HOOP_Y[4] = {0.075, 0.28, 0.72, 0.925};
static const int STAVES = 16;
static const int AROUND = 48;  // three segments per stave

// Texture atlas regions.
static const UvRect UV_STAVES = {0.0, 0.5, 1.0, 0.0};  // the wall, upright
static const UvRect UV_CHIME = {0.0, 0.0, 1.0, 0.03};  // inside of the stave ends
static const UvRect UV_HOOP = {0.0, 0.5, 1.0, 0.6};
static const UvRect UV_HOOP_EDGE = {0.0, 0.6, 1.0, 0.62};
static const UvRect UV_RIM = {0.4, 0.62, 1.0, 0.7};
static const double LID_S = 0.2, LID_T = 0.81, LID_HALF = 0.18;  // lid disc centre, radius

// ------------------------------------------------------------ functions ----

// Outer radius of the staves at height y.
static double wallRadius(double y) {
    double k = 2.0 * y - 1.0;
    return END_RADIUS + (BELLY_RADIUS - END_RADIUS) * (1.0 - k * k);
}

// A flat disc at height y facing up (or down), textured as lid boards.
static void addDisc(Mesh *m, double y, double radius, bool up) {
    // Walking inwards faces the lathe up, outwards faces it down.
    PatchFn pos = lathe([=](double v) { return d3(up ? radius * (1 - v) : radius * v, y, 0); });
    auto uv = [=](double u, double v) {
        D3 p = pos(u, v);
        double k = LID_HALF / radius;
        return d3(LID_S + p.x * k, LID_T + p.z * k, 0);
    };
    meshPatchUv(m, AROUND, 2, pos, uv, false);
}

// One iron hoop centred at height y: its outer band and two edge rings.
static void addHoop(Mesh *m, double y) {
    double y0 = y - 0.5 * HOOP_WIDTH, y1 = y + 0.5 * HOOP_WIDTH;
    meshPatch(m, AROUND, 1,
              lathe([=](double v) { return d3(wallRadius(y0) + HOOP_THICK * v, y0, 0); }),
              UV_HOOP_EDGE, false);
    meshPatch(m, AROUND, 2, lathe([=](double v) {
                  double yy = mix(y0, y1, v);
                  return d3(wallRadius(yy) + HOOP_THICK, yy, 0);
              }),
              UV_HOOP, false);
    meshPatch(m, AROUND, 1,
              lathe([=](double v) { return d3(wallRadius(y1) + HOOP_THICK * (1 - v), y1, 0); }),
              UV_HOOP_EDGE, false);
}

void barrelMesh(Mesh *m) {
    addDisc(m, 0.0, wallRadius(0.0), false);
    meshPatch(m, AROUND, 12, lathe([](double v) { return d3(wallRadius(v), v, 0); }), UV_STAVES,
              false);
    meshPatch(m, AROUND, 1,
              lathe([](double v) { return d3(wallRadius(1.0) - RIM_WIDTH * v, 1.0, 0); }), UV_RIM,
              false);
    meshPatch(m, AROUND, 1, lathe([](double v) {
                  double y = 1.0 - LID_DEPTH * v;
                  return d3(wallRadius(y) - RIM_WIDTH, y, 0);
              }),
              UV_CHIME, false);
    double lid_y = 1.0 - LID_DEPTH;
    addDisc(m, lid_y, wallRadius(lid_y) - RIM_WIDTH, true);
    for (double y : HOOP_Y) addHoop(m, y);
}

// ---- texture ----

// Oak staves running along t, with dark joints, grain and the shade the
// hoops cast on the wood next to them.
static Texel paintStaves(double s, double t) {
    double y = 1.0 - t / 0.5;  // barrel height of this texel
    double x = s * STAVES;
    int stave = (int)floor(x);
    double across = x - stave;
    double tone = 0.88 + 0.24 * hashUnit(stave, 0, 11);
    double warp = 0.35 * fbm2(s * 12.0, y * 3.0, 3, 12);
    double grain = 0.5 + 0.5 * sin(2.0 * PI * (across * 5.0 + warp + 0.7 * hashUnit(stave, 1, 11)));
    double fine = fbm2(s * 160.0, y * 6.0, 3, 13);
    double joint = smoothstep(0.0, 0.05, across) * smoothstep(0.0, 0.05, 1.0 - across);
    double shade = tone * (0.82 + 0.12 * grain + 0.08 * fine) * mix(0.45, 1.0, joint);

    double ao = 1.0;
    for (double hy : HOOP_Y) {
        double gap = fabs(y - hy) - 0.5 * HOOP_WIDTH;
        ao *= 1.0 - 0.35 * exp(-fmax(gap, 0.0) / 0.015);
    }
    ao *= mix(0.6, 1.0, joint);
    Texel tx = texel(0.50 * shade, 0.34 * shade, 0.20 * shade, 0.72 - 0.1 * grain, 0.0, ao);
    // Each stave is slightly rounded; the grain is a faint relief on it.
    tx.height = (float)(3.0 * sqrt(sin(PI * across)) + 0.4 * grain + 0.3 * fine);
    return tx;
}

// Dark iron with patches of rust and a rivet per stave pair; rust is rough and
// barely metallic.
static Texel paintHoop(double s, double t, bool edge) {
    double across = edge ? 0.5 : (t - UV_HOOP.t0) / (UV_HOOP.t1 - UV_HOOP.t0);
    double rust = smoothstep(0.1, 0.45, fbm2(s * 24.0, t * 24.0, 4, 21));
    double speck = fbm2(s * 200.0, t * 200.0, 2, 22);
    double g = 0.27 + 0.03 * speck;
    Texel tx = texel(mix(g, 0.45, rust), mix(g * 0.96, 0.26, rust), mix(g * 0.92, 0.14, rust),
                     mix(0.42, 0.85, rust), mix(0.9, 0.3, rust), 1.0);
    double bevel = smoothstep(0.0, 0.15, across) * smoothstep(0.0, 0.15, 1.0 - across);
    double rx = (s * STAVES / 2.0 - floor(s * STAVES / 2.0) - 0.5) * (512.0 / (STAVES / 2.0));
    double ry = (across - 0.5) * 51.0;
    double rivet = fmax(0.0, 1.0 - (rx * rx + ry * ry) / 9.0);
    tx.height = (float)(3.0 * bevel + 2.5 * sqrt(rivet) + 0.3 * speck);
    tx.ao = (float)mix(0.7, 1.0, bevel);
    return tx;
}

// Lid boards running along s inside a disc; darkened towards the rim where
// the stave ends overhang it.
static Texel paintLid(double s, double t) {
    double x = (s - LID_S) / LID_HALF, z = (t - LID_T) / LID_HALF;
    double boards = (z + 1.0) * 2.5;
    int board = (int)floor(boards);
    double across = boards - board;
    double tone = 0.85 + 0.25 * hashUnit(board, 7, 31);
    double grain =
        0.5 + 0.5 * sin(2.0 * PI * (across * 3.0 + 0.4 * fbm2(x * 2.0, z * 10.0, 3, 32)));
    double joint = smoothstep(0.0, 0.04, across) * smoothstep(0.0, 0.04, 1.0 - across);
    double shade = tone * (0.78 + 0.14 * grain) * mix(0.5, 1.0, joint);
    double r = sqrt(x * x + z * z);
    double ao = mix(0.55, 1.0, smoothstep(1.0, 0.8, r)) * mix(0.7, 1.0, joint);
    Texel tx = texel(0.46 * shade, 0.31 * shade, 0.18 * shade, 0.75, 0.0, ao);
    tx.height = (float)(2.0 * joint + 0.4 * grain);
    return tx;
}

// End grain of the staves: paler, rough, with growth rings.
static Texel paintRim(double s, double t) {
    double rings = 0.5 + 0.5 * sin(2.0 * PI * (t * 90.0 + 2.0 * fbm2(s * 30.0, t * 8.0, 3, 41)));
    double u = (s - UV_RIM.s0) / (UV_RIM.s1 - UV_RIM.s0);
    double joint = fabs(u * STAVES - floor(u * STAVES + 0.5));
    double shade = (0.85 + 0.1 * rings) * mix(0.5, 1.0, smoothstep(0.0, 0.05, joint));
    Texel tx = texel(0.56 * shade, 0.42 * shade, 0.27 * shade, 0.88, 0.0, 0.9);
    tx.height = (float)(0.5 * rings);
    return tx;
}

void barrelPaint(Layers *l) {
    layersPaint(l, [](double s, double t) {
        if (t < UV_STAVES.t0) return paintStaves(s, t);
        if (t < UV_HOOP.t1) return paintHoop(s, t, false);
        if (t < UV_HOOP_EDGE.t1) return paintHoop(s, t, true);
        if (s < UV_RIM.s0) return paintLid(s, t);
        return paintRim(s, t);
    });
}
