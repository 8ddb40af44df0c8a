// The generated images: terrain, ground materials, BRDF table, font, logo and
// grid overlay.
//
// Splat material indices (t<N>_*.png):
//   0 grass       lush meadow on the middle slopes
//   1 dry grass   straw on the upper slopes and the dry edge of the flats
//   2 moss        damp hollows along the stream and the front dells
//   3 mud         wet low ground by the stream and at the front
//   4 sand        the far flats where the palm and the cactus stand
//   5 rock        steep slopes
//   6 gravel      scree around the rock and the stream bed
//   7 snow        the cap of the big knoll
#include "images.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb_truetype.h>

#include "common.h"
#include "models.h"

// ------------------------------------------------------------ constants ----

// World units per heightmap sample and per heightmap byte.
static const float SAMPLE_SPACING = 0.5f;
static const float HEIGHT_UNIT = 1.0f / 8.0f;
static const int MAT = MATERIAL_SIDE;
static const int BRDF_SAMPLES = 256;
static const char *const FONT_MONO = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
static const char *const FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// ---------------------------------------------------------------- types ----

// Working layers of one ground material, all MAT x MAT: height in texels,
// sRGB colour 0..255 (3 per texel) and roughness 0..1.
struct Surface {
    float *h;
    float *col;
    float *rough;
};

// Small deterministic generator for scattering (xorshift32).
struct Rng {
    uint32_t s;
};

// One grass blade seen from above: base point, direction, size, curl, height
// profile and colour.
struct Blade {
    float x, y, dx, dy;
    float len, width, bend;
    float h0, rise;
    float col[3];
};

// ---------------------------------------------------------------- state ----

const ModelSpot MODEL_SPOTS[MODEL_SPOT_COUNT] = {{9, 9}, {9, 57}, {57, 57}, {49, 9}, {17, 9}};

const char *const MATERIAL_NAMES[MATERIAL_COUNT] = {"grass", "dry grass", "moss",   "mud",
                                                    "sand",  "rock",      "gravel", "snow"};

// ------------------------------------------------------------ functions ----

// ---- small maths ----

static float clampf(float x, float lo, float hi) { return x < lo ? lo : x > hi ? hi : x; }

static float mixf(float a, float b, float t) { return a + (b - a) * t; }

static float smoothstepf(float e0, float e1, float x) {
    float t = clampf((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

static uint8_t toByte(float v) { return (uint8_t)clampf(floorf(v + 0.5f), 0.0f, 255.0f); }

static uint32_t rngNext(Rng *r) {
    uint32_t x = r->s;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    r->s = x;
    return x;
}

// Uniform in [lo, hi).
static float rngRange(Rng *r, float lo, float hi) {
    return lo + (hi - lo) * (float)(rngNext(r) >> 8) * (1.0f / 16777216.0f);
}

static int wrapTexel(int a) { return a & (MAT - 1); }

// ---- terrain ----

// Gaussian bump of height amp centred on (cx, cz) with radii sx, sz.
static float bump(float x, float z, float cx, float cz, float sx, float sz, float amp) {
    float dx = (x - cx) / sx, dz = (z - cz) / sz;
    return amp * expf(-0.5f * (dx * dx + dz * dz));
}

// Horizontal distance from (x, z) to the stream's winding centre line, which
// runs from the front right between the knolls to the far flats.
static float streamDistance(float x, float z) {
    float cx = 22.3f + 2.4f * sinf(z * 0.28f + 0.6f) + 0.08f * (z - 20.0f);
    return fabsf(x - cx);
}

// The terrain height in world units at world (x, z), before quantisation;
// flat says whether the ground is levelled around the models.
static float terrainHeightAt(float x, float z, int flat) {
    float u = x / 32.0f, v = z / 32.0f;
    // Rolling ground with a low-frequency swell.
    float h = 0.85f + 0.55f * fbmTile(u, v, 3, 4, 0.5f, 11u);
    // The big knoll in the middle distance, leaning a little to the left, with
    // a shoulder; the second knoll right of the stream; the left ridge and a
    // small rise in front.
    h += bump(x, z, 14.5f, 12.5f, 5.0f, 4.4f, 3.6f);
    h += bump(x, z, 12.0f, 15.5f, 3.0f, 2.6f, 0.9f);
    h += bump(x, z, 27.5f, 15.0f, 3.2f, 4.0f, 2.2f);
    h += bump(x, z, 1.5f, 15.0f, 3.2f, 7.0f, 2.1f);
    h += bump(x, z, 11.0f, 25.5f, 3.0f, 2.4f, 1.0f);
    h += 0.35f * fbmTile(u, v, 6, 3, 0.5f, 23u) * smoothstepf(0.5f, 2.5f, h);
    // The stream valley, cut deeper where the ground is higher.
    float d = streamDistance(x, z);
    float cut = expf(-0.5f * (d / 2.8f) * (d / 2.8f)) * smoothstepf(3.0f, 9.0f, z);
    h *= 1.0f - 0.8f * cut;
    // The far flats.
    h *= mixf(0.25f, 1.0f, smoothstepf(2.0f, 12.0f, z));
    // Flat ground around each model, blending into the hills.
    for (int s = 0; s < MODEL_SPOT_COUNT && flat; s++) {
        float sx = (float)(MODEL_SPOTS[s].i - 1) * SAMPLE_SPACING;
        float sz = (float)(MODEL_SPOTS[s].j - 1) * SAMPLE_SPACING;
        float r = sqrtf((x - sx) * (x - sx) + (z - sz) * (z - sz));
        h *= smoothstepf(1.5f, 5.0f, r);
    }
    return h < 0.0f ? 0.0f : h;
}

// The unquantised height field, HEIGHT_SIDE^2 samples in world units.
static void terrainField(float *field, int flat) {
    for (int j = 0; j < HEIGHT_SIDE; j++)
        for (int i = 0; i < HEIGHT_SIDE; i++)
            field[j * HEIGHT_SIDE + i] = terrainHeightAt((float)(i - 1) * SAMPLE_SPACING,
                                                         (float)(j - 1) * SAMPLE_SPACING, flat);
}

void imageHeight(uint8_t *out) {
    static float field[HEIGHT_SIDE * HEIGHT_SIDE];
    terrainField(field, 1);
    for (int k = 0; k < HEIGHT_SIDE * HEIGHT_SIDE; k++) {
        float b = floorf(field[k] / HEIGHT_UNIT + 0.5f);
        out[k] = (uint8_t)clampf(b, 0.0f, (float)HEIGHT_MAX);
    }
}

// Material of one terrain cell from its mean height h, its steepness s (rise
// over run), its position and two noise values n1 (broad) and n2 (fine).
static int splatMaterial(float x, float z, float h, float s, float n1, float n2) {
    float stream = streamDistance(x, z);
    int in_valley = z > 7.0f + n1;
    if (h > 4.2f + 0.25f * n2) return 7;
    if (s > 0.78f + 0.12f * n1) return 5;
    // Scree below the rock, and the odd stony patch on the slopes.
    if ((s > 0.55f + 0.1f * n2 && h > 1.0f) || (n2 > 0.5f && h > 1.5f)) return 6;
    if (!in_valley && h < 0.9f + 0.3f * n2) return 4;
    if (in_valley && stream < 0.8f + 0.4f * n2 && h < 1.2f) return n1 < -0.25f ? 6 : 3;
    if (h < 0.3f + 0.2f * n1) return 3;
    if (h < 1.1f + 0.3f * n1 && (stream < 2.6f + n2 || z > 23.0f + 2.0f * n2)) return 2;
    if (h > 2.6f + 0.5f * n2 || n1 > 0.3f || (z < 11.0f + n2 && h < 1.6f)) return 1;
    return 0;
}

void imageSplat(uint8_t *out) {
    // Materials follow the ground as it would be without the levelled model
    // spots, so the spots wear the same cover as their surroundings.
    static float field[HEIGHT_SIDE * HEIGHT_SIDE];
    terrainField(field, 0);
    for (int cy = 0; cy < SPLAT_SIDE; cy++) {
        for (int cx = 0; cx < SPLAT_SIDE; cx++) {
            // Cell (cx, cy) spans samples cx+1..cx+2, cy+1..cy+2.
            const float *f = field + (cy + 1) * HEIGHT_SIDE + (cx + 1);
            float h00 = f[0], h10 = f[1], h01 = f[HEIGHT_SIDE], h11 = f[HEIGHT_SIDE + 1];
            float h = 0.25f * (h00 + h10 + h01 + h11);
            float gx = 0.5f * ((h10 + h11) - (h00 + h01)) / SAMPLE_SPACING;
            float gz = 0.5f * ((h01 + h11) - (h00 + h10)) / SAMPLE_SPACING;
            float x = ((float)cx + 0.5f) * SAMPLE_SPACING, z = ((float)cy + 0.5f) * SAMPLE_SPACING;
            float n1 = fbmTile(x / 32.0f, z / 32.0f, 4, 3, 0.5f, 31u);
            float n2 = fbmTile(x / 32.0f, z / 32.0f, 12, 2, 0.5f, 37u);
            out[cy * SPLAT_SIDE + cx] =
                (uint8_t)splatMaterial(x, z, h, sqrtf(gx * gx + gz * gz), n1, n2);
        }
    }
}

// ---- material building blocks ----

// Wrapping separable box blur of a MAT x MAT field with the given radius.
static void boxBlur(const float *in, float *out, int radius) {
    float *tmp = (float *)malloc(sizeof(float) * MAT * MAT);
    float inv = 1.0f / (float)(2 * radius + 1);
    for (int y = 0; y < MAT; y++) {
        float sum = 0.0f;
        for (int k = -radius; k <= radius; k++) sum += in[y * MAT + wrapTexel(k)];
        for (int x = 0; x < MAT; x++) {
            tmp[y * MAT + x] = sum * inv;
            sum += in[y * MAT + wrapTexel(x + radius + 1)] - in[y * MAT + wrapTexel(x - radius)];
        }
    }
    for (int x = 0; x < MAT; x++) {
        float sum = 0.0f;
        for (int k = -radius; k <= radius; k++) sum += tmp[wrapTexel(k) * MAT + x];
        for (int y = 0; y < MAT; y++) {
            out[y * MAT + x] = sum * inv;
            sum += tmp[wrapTexel(y + radius + 1) * MAT + x] - tmp[wrapTexel(y - radius) * MAT + x];
        }
    }
    free(tmp);
}

// Cavity of the height field: how far each texel lies below its blurred
// neighbourhood, in texels (0 on crests and flats).
static void cavity(const float *h, int radius, float *out) {
    float *blur = (float *)malloc(sizeof(float) * MAT * MAT);
    boxBlur(h, blur, radius);
    boxBlur(blur, out, radius);
    for (int k = 0; k < MAT * MAT; k++) {
        float c = out[k] - h[k];
        out[k] = c > 0.0f ? c : 0.0f;
    }
    free(blur);
}

// Tileable fbm at texel (x, y) of a MAT texture.
static float fbmTexel(int x, int y, int freq, int octaves, float gain, uint32_t seed) {
    return fbmTile(((float)x + 0.5f) / (float)MAT, ((float)y + 0.5f) / (float)MAT, freq, octaves,
                   gain, seed);
}

static void setCol(Surface *s, int k, float r, float g, float b) {
    s->col[k * 3 + 0] = r;
    s->col[k * 3 + 1] = g;
    s->col[k * 3 + 2] = b;
}

// Draws one blade with wrap-around, keeping the topmost blade per texel and
// softening its edge over one texel.
static void drawBlade(Surface *s, const Blade *b) {
    float reach = b->len + b->width + 2.0f;
    int x0 = (int)floorf(b->x - reach), x1 = (int)ceilf(b->x + reach);
    int y0 = (int)floorf(b->y - reach), y1 = (int)ceilf(b->y + reach);
    for (int py = y0; py <= y1; py++) {
        for (int px = x0; px <= x1; px++) {
            float rx = (float)px + 0.5f - b->x, ry = (float)py + 0.5f - b->y;
            float along = rx * b->dx + ry * b->dy;
            float across = -rx * b->dy + ry * b->dx;
            float t = along / b->len;
            if (t < 0.0f || t > 1.0f) continue;
            // The blade curls sideways towards its tip and narrows to a point.
            float centre = b->bend * t * t * b->len;
            float w = b->width * (1.0f - 0.85f * t) * 0.5f;
            float d = fabsf(across - centre);
            float cover = clampf(w - d + 0.5f, 0.0f, 1.0f);
            if (cover <= 0.0f) continue;
            float prof = d < w ? sqrtf(1.0f - (d / w) * (d / w)) : 0.0f;
            float hv = b->h0 + b->rise * t + 0.8f * b->width * prof;
            int k = wrapTexel(py) * MAT + wrapTexel(px);
            if (hv <= s->h[k]) continue;
            float shade = 0.62f + 0.38f * t;
            s->h[k] = mixf(s->h[k], hv, cover);
            for (int c = 0; c < 3; c++)
                s->col[k * 3 + c] = mixf(s->col[k * 3 + c], b->col[c] * shade, cover);
            s->rough[k] = mixf(s->rough[k], 0.72f + 0.12f * (1.0f - t), cover);
        }
    }
}

// Parameters of a grass carpet.
struct GrassStyle {
    int count;
    float len_lo, len_hi, width_lo, width_hi;
    float tint_a[3], tint_b[3], tint_c[3];  // two blade colours and a sparse odd one
    float soil_a[3], soil_b[3];
    float flow;  // how strongly the blades follow a common lie
    uint32_t seed;
};

// Soil covered with scattered blades; the lie of the blades follows a slowly
// turning field so the carpet looks combed by wind rather than random.
static void grassCarpet(Surface *s, const GrassStyle *g) {
    for (int y = 0; y < MAT; y++) {
        for (int x = 0; x < MAT; x++) {
            int k = y * MAT + x;
            float n = fbmTexel(x, y, 16, 4, 0.55f, g->seed + 1u);
            float t = clampf(0.5f + 0.6f * n, 0.0f, 1.0f);
            setCol(s, k, mixf(g->soil_a[0], g->soil_b[0], t), mixf(g->soil_a[1], g->soil_b[1], t),
                   mixf(g->soil_a[2], g->soil_b[2], t));
            s->h[k] = 2.0f * n;
            s->rough[k] = 0.92f;
        }
    }
    Rng rng = {g->seed * 2654435761u + 12345u};
    for (int i = 0; i < g->count; i++) {
        Blade b;
        b.x = rngRange(&rng, 0.0f, (float)MAT);
        b.y = rngRange(&rng, 0.0f, (float)MAT);
        float lie = 6.2831853f * fbmTile(b.x / MAT, b.y / MAT, 3, 3, 0.5f, g->seed + 2u);
        float a = mixf(rngRange(&rng, 0.0f, 6.2831853f), lie, g->flow * rngRange(&rng, 0.3f, 1.0f));
        b.dx = cosf(a);
        b.dy = sinf(a);
        b.len = rngRange(&rng, g->len_lo, g->len_hi);
        b.width = rngRange(&rng, g->width_lo, g->width_hi);
        b.bend = rngRange(&rng, -0.25f, 0.25f);
        b.h0 = rngRange(&rng, 0.0f, 3.0f);
        b.rise = rngRange(&rng, 4.0f, 9.0f);
        // Patches of the carpet lean to one colour; each blade varies a bit.
        float patch = fbmTile(b.x / MAT, b.y / MAT, 4, 3, 0.5f, g->seed + 3u);
        float mixv = clampf(0.5f + 0.9f * patch + rngRange(&rng, -0.35f, 0.35f), 0.0f, 1.0f);
        float bright = rngRange(&rng, 0.85f, 1.12f);
        int odd = rngRange(&rng, 0.0f, 1.0f) < 0.06f;
        for (int c = 0; c < 3; c++) {
            float v = mixf(g->tint_a[c], g->tint_b[c], mixv);
            b.col[c] = (odd ? g->tint_c[c] : v) * bright;
        }
        drawBlade(s, &b);
    }
}

static void makeGrass(Surface *s) {
    GrassStyle g = {26000,
                    9.0f,
                    19.0f,
                    1.6f,
                    2.6f,
                    {62.0f, 98.0f, 34.0f},
                    {92.0f, 116.0f, 42.0f},
                    {120.0f, 118.0f, 62.0f},
                    {44.0f, 46.0f, 26.0f},
                    {60.0f, 56.0f, 34.0f},
                    0.55f,
                    101u};
    grassCarpet(s, &g);
}

static void makeDryGrass(Surface *s) {
    GrassStyle g = {15000,
                    14.0f,
                    30.0f,
                    1.2f,
                    2.0f,
                    {168.0f, 146.0f, 88.0f},
                    {128.0f, 108.0f, 62.0f},
                    {110.0f, 116.0f, 60.0f},
                    {104.0f, 86.0f, 60.0f},
                    {128.0f, 108.0f, 76.0f},
                    0.7f,
                    202u};
    grassCarpet(s, &g);
}

// Cushions of moss: merging round domes over a clumpy swell, with a fine
// fuzz of leaflets and a few bright and brown tips.
static void makeMoss(Surface *s) {
    for (int y = 0; y < MAT; y++) {
        for (int x = 0; x < MAT; x++) {
            int k = y * MAT + x;
            float u = ((float)x + 0.5f) / MAT, v = ((float)y + 0.5f) / MAT;
            float wu = u + 0.03f * fbmTile(u, v, 6, 3, 0.5f, 301u);
            float wv = v + 0.03f * fbmTile(u, v, 6, 3, 0.5f, 302u);
            float a1, b1;
            worleyTile(wu, wv, 12, 303u, &a1, nullptr, nullptr);
            worleyTile(wu, wv, 30, 304u, &b1, nullptr, nullptr);
            float dome = 1.0f - smoothstepf(0.0f, 0.85f, a1);
            float knob = 1.0f - smoothstepf(0.0f, 0.75f, b1);
            float clump = fbmTile(u, v, 8, 4, 0.5f, 305u);
            float fuzz = fbmTexel(x, y, 96, 2, 0.6f, 306u);
            float grain = hashUnit(x, y, 307u) - 0.5f;
            // Tiny rounded tufts give the surface its velvet texture.
            float t1;
            worleyTile(u, v, 72, 310u, &t1, nullptr, nullptr);
            float tuft = 1.0f - smoothstepf(0.0f, 0.7f, t1);
            float h =
                7.0f * dome + 2.5f * knob + 4.0f * clump + 1.8f * tuft + 1.0f * fuzz + 0.6f * grain;
            s->h[k] = h;
            float top = clampf(
                0.4f * dome + 0.15f * knob + 0.3f * clump + 0.35f * tuft + 0.2f * fuzz + 0.05f,
                0.0f, 1.0f);
            float r = mixf(30.0f, 92.0f, top), g = mixf(44.0f, 120.0f, top),
                  b = mixf(18.0f, 40.0f, top);
            // Broad patches lean yellow-green or blue-green.
            float patch = fbmTile(u, v, 3, 3, 0.5f, 308u);
            r *= 1.0f + 0.22f * patch;
            b *= 1.0f - 0.15f * patch;
            // Sparse bright new growth and brown spore stalks.
            float tip = hashUnit(x, y, 309u);
            if (tip > 0.992f && top > 0.5f) {
                r = 150.0f;
                g = 160.0f;
                b = 60.0f;
            } else if (tip < 0.004f) {
                r = 110.0f;
                g = 70.0f;
                b = 40.0f;
            }
            setCol(s, k, r + 8.0f * grain, g + 10.0f * grain, b + 4.0f * grain);
            s->rough[k] = 0.86f + 0.1f * fuzz;
        }
    }
}

// Mud: soft lumps whose tops dry into a cracked crust, a few half-buried
// stones, and puddles in the hollows that are flat, dark and glossy.
static void makeMud(Surface *s) {
    for (int y = 0; y < MAT; y++) {
        for (int x = 0; x < MAT; x++) {
            int k = y * MAT + x;
            float u = ((float)x + 0.5f) / MAT, v = ((float)y + 0.5f) / MAT;
            float lumps = fbmTile(u, v, 5, 5, 0.55f, 401u);
            float fine = fbmTile(u, v, 48, 2, 0.5f, 402u);
            float f1, f2, c1, c2;
            uint32_t cell;
            worleyTile(u, v, 30, 403u, &f1, &f2, &cell);
            float size = 0.18f + 0.25f * (float)((cell >> 8) & 255u) / 255.0f;
            float edge = f1 + 0.08f * fine;
            float stone = (cell & 31u) == 0u ? sqrtf(clampf(1.0f - edge / size, 0.0f, 1.0f)) : 0.0f;
            float wu = u + 0.02f * fbmTile(u, v, 12, 2, 0.5f, 405u);
            worleyTile(wu, v, 22, 406u, &c1, &c2, nullptr);
            float h = 7.0f * lumps + 1.2f * fine;
            float water = -1.4f;
            float wet = smoothstepf(water + 3.0f, water, h);
            float dry = smoothstepf(1.0f, 3.0f, h);
            float crack = dry * (1.0f - smoothstepf(0.0f, 0.05f, c2 - c1));
            h -= 2.0f * crack;
            h += 4.0f * stone;
            float tone = fbmTile(u, v, 5, 3, 0.5f, 404u);
            float r = 98.0f + 14.0f * tone, g = 78.0f + 10.0f * tone, b = 58.0f + 6.0f * tone;
            // Dry crust is paler and greyer; wet ground darker.
            r = mixf(r, 124.0f, 0.6f * dry);
            g = mixf(g, 106.0f, 0.6f * dry);
            b = mixf(b, 84.0f, 0.6f * dry);
            float dark = (1.0f - 0.32f * wet) * (1.0f - 0.45f * crack);
            r *= dark;
            g *= dark;
            b *= dark;
            if (stone > 0.0f) {
                float pt = (float)((cell >> 16) & 255u) / 255.0f;
                float m = smoothstepf(0.0f, 0.3f, stone);
                float lit = (0.75f + 0.25f * stone) * (0.9f + 0.1f * fine);
                r = mixf(r, mixf(92.0f, 124.0f, pt) * lit, m);
                g = mixf(g, mixf(80.0f, 104.0f, pt) * lit, m);
                b = mixf(b, mixf(66.0f, 84.0f, pt) * lit, m);
            }
            float rough = mixf(0.9f, 0.45f, wet) + 0.04f * fine;
            if (h < water) {
                // Still water: a flat surface over darker silt.
                h = water + 0.05f * fine;
                r = 56.0f + 4.0f * tone;
                g = 46.0f + 3.0f * tone;
                b = 36.0f + 2.0f * tone;
                rough = 0.1f;
            }
            s->h[k] = h;
            setCol(s, k, r, g, b);
            s->rough[k] = rough;
        }
    }
}

// Sand with patchy wind ripples, grain and the odd shell fragment.
static void makeSand(Surface *s) {
    for (int y = 0; y < MAT; y++) {
        for (int x = 0; x < MAT; x++) {
            int k = y * MAT + x;
            float u = ((float)x + 0.5f) / MAT, v = ((float)y + 0.5f) / MAT;
            float warp = fbmTile(u, v, 3, 3, 0.5f, 501u);
            // Ripple crests run across the tile with a wandering phase; their
            // strength fades in and out so no single stripe pattern shows.
            float phase = v * 22.0f + u * 3.0f + 2.2f * warp;
            float saw = phase - floorf(phase);
            float ripple = saw < 0.7f ? saw / 0.7f : (1.0f - saw) / 0.3f;
            ripple = ripple * ripple * (3.0f - 2.0f * ripple);
            float amp = smoothstepf(-0.35f, 0.45f, fbmTile(u, v, 4, 3, 0.5f, 502u));
            float drift = fbmTile(u, v, 8, 4, 0.5f, 503u);
            float grain = hashUnit(x, y, 504u) - 0.5f;
            float f1, f2;
            uint32_t cell;
            worleyTile(u, v, 28, 505u, &f1, &f2, &cell);
            float shell = (cell % 41u) == 0u ? sqrtf(clampf(1.0f - f1 / 0.16f, 0.0f, 1.0f)) : 0.0f;
            s->h[k] = 3.2f * ripple * amp + 3.0f * drift + 0.5f * grain + 2.0f * shell;
            float tone = fbmTile(u, v, 6, 4, 0.5f, 506u);
            float r = 194.0f + 14.0f * tone + 8.0f * ripple * amp;
            float g = 168.0f + 12.0f * tone + 7.0f * ripple * amp;
            float b = 124.0f + 10.0f * tone + 5.0f * ripple * amp;
            // Darker heavy grains settle in the ripple troughs.
            float trough = (1.0f - ripple) * amp;
            r -= 16.0f * trough;
            g -= 15.0f * trough;
            b -= 12.0f * trough;
            float speck = hashUnit(x, y, 507u);
            if (speck > 0.985f) {
                r *= 0.6f;
                g *= 0.6f;
                b *= 0.62f;
            }
            r += 14.0f * grain;
            g += 13.0f * grain;
            b += 11.0f * grain;
            if (shell > 0.0f) {
                float m = smoothstepf(0.0f, 0.2f, shell);
                r = mixf(r, 212.0f, 0.7f * m);
                g = mixf(g, 196.0f, 0.7f * m);
                b = mixf(b, 170.0f, 0.7f * m);
            }
            setCol(s, k, r, g, b);
            s->rough[k] = 0.9f + 0.05f * grain;
        }
    }
}

// Weathered rock: warped ridged relief, soft bedding, broken cracks that
// come and go, mottling and lichen colonies.
static void makeRock(Surface *s) {
    for (int y = 0; y < MAT; y++) {
        for (int x = 0; x < MAT; x++) {
            int k = y * MAT + x;
            float u = ((float)x + 0.5f) / MAT, v = ((float)y + 0.5f) / MAT;
            float wu = u + 0.07f * fbmTile(u, v, 4, 4, 0.5f, 611u);
            float wv = v + 0.07f * fbmTile(u, v, 4, 4, 0.5f, 612u);
            float ridged = 0.0f, amp = 1.0f, norm = 0.0f;
            for (int o = 0; o < 5; o++) {
                int f = 3 << o;
                float n = noiseTile(wu * (float)f, wv * (float)f, f, f, 601u + (uint32_t)o);
                ridged += amp * (1.0f - fabsf(n));
                norm += amp;
                amp *= 0.5f;
            }
            ridged /= norm;
            float layer = sinf(6.2831853f * (wv * 4.0f + wu * 1.0f));
            float a1, a2, b1, b2;
            worleyTile(wu, wv, 5, 603u, &a1, &a2, nullptr);
            worleyTile(wv, wu, 11, 604u, &b1, &b2, nullptr);
            float mask1 = smoothstepf(-0.15f, 0.25f, fbmTile(u, v, 6, 3, 0.5f, 613u));
            float mask2 = smoothstepf(0.0f, 0.35f, fbmTile(u, v, 8, 3, 0.5f, 614u));
            float crack = mask1 * (1.0f - smoothstepf(0.0f, 0.035f, a2 - a1));
            float crack2 = mask2 * (1.0f - smoothstepf(0.0f, 0.03f, b2 - b1));
            float mid = fbmTile(u, v, 16, 3, 0.5f, 615u);
            float fine = fbmTile(u, v, 64, 3, 0.5f, 605u);
            float h = 14.0f * ridged + 1.5f * layer + 3.0f * mid + 1.2f * fine;
            h -= 6.0f * crack + 3.0f * crack2;
            s->h[k] = h;
            float tone = fbmTile(u, v, 6, 4, 0.5f, 606u);
            float relief = 0.82f + 0.3f * ridged;
            float r = (118.0f + 24.0f * tone + 12.0f * mid + 5.0f * layer) * relief;
            float g = (113.0f + 22.0f * tone + 11.0f * mid + 4.0f * layer) * relief;
            float b = (104.0f + 18.0f * tone + 10.0f * mid + 3.0f * layer) * relief;
            // Faint iron staining in broad streaks.
            float rust = 0.6f * smoothstepf(0.25f, 0.65f, fbmTile(u, v, 4, 3, 0.5f, 607u));
            r = mixf(r, r * 1.1f + 6.0f, rust);
            b = mixf(b, b * 0.9f, rust);
            float shade = (1.0f - 0.5f * crack) * (1.0f - 0.35f * crack2);
            r *= shade;
            g *= shade;
            b *= shade;
            // Lichen colonies: clusters of round spots on the open faces.
            float l1;
            uint32_t lc;
            worleyTile(u, v, 40, 608u, &l1, nullptr, &lc);
            float where = smoothstepf(0.15f, 0.45f, fbmTile(u, v, 5, 3, 0.5f, 609u));
            float lsize = 0.25f + 0.3f * (float)((lc >> 8) & 255u) / 255.0f;
            float lichen = where * (1.0f - smoothstepf(lsize - 0.08f, lsize, l1 + 0.1f * fine)) *
                           (1.0f - crack);
            int orange = (lc & 7u) == 0u;
            float lr = orange ? 168.0f : 150.0f, lg = orange ? 128.0f : 152.0f;
            float lb = orange ? 70.0f : 118.0f;
            r = mixf(r, lr, 0.8f * lichen);
            g = mixf(g, lg, 0.8f * lichen);
            b = mixf(b, lb, 0.8f * lichen);
            float grain = hashUnit(x, y, 610u) - 0.5f;
            setCol(s, k, r + 12.0f * grain, g + 12.0f * grain, b + 12.0f * grain);
            s->rough[k] = 0.76f + 0.12f * lichen + 0.06f * fine;
        }
    }
}

// Colour of one gravel stone from its cell hash: muted greys and browns.
static void stoneColour(uint32_t cell, float *rgb) {
    static const float PALETTE[6][3] = {{128, 126, 120}, {105, 102, 96}, {150, 146, 138},
                                        {118, 108, 94},  {92, 88, 82},   {138, 126, 110}};
    const float *p = PALETTE[cell % 6u];
    float v = 0.88f + 0.24f * (float)((cell >> 8) & 255u) / 255.0f;
    for (int c = 0; c < 3; c++) rgb[c] = p[c] * v;
}

// Height (0 outside) of a rounded stone from a cell's edge distance, leaving
// a gap of soil between neighbours.
static float stoneDome(float edge, float gap, float scale) {
    return edge > gap ? scale * sqrtf(clampf((edge - gap) / 0.3f, 0.0f, 1.0f)) : 0.0f;
}

// Pebbles of two sizes bedded in dark soil.
static void makeGravel(Surface *s) {
    for (int y = 0; y < MAT; y++) {
        for (int x = 0; x < MAT; x++) {
            int k = y * MAT + x;
            float u = ((float)x + 0.5f) / MAT, v = ((float)y + 0.5f) / MAT;
            float wu = u + 0.012f * fbmTile(u, v, 16, 2, 0.5f, 701u);
            float wv = v + 0.012f * fbmTile(u, v, 16, 2, 0.5f, 702u);
            float a1, a2, b1, b2;
            uint32_t ca, cb;
            worleyTile(wu, wv, 26, 703u, &a1, &a2, &ca);
            worleyTile(wu, wv, 52, 704u, &b1, &b2, &cb);
            float fine = fbmTile(u, v, 96, 2, 0.5f, 705u);
            float mottle = fbmTile(u, v, 48, 2, 0.5f, 707u);
            float soil_tone = fbmTile(u, v, 8, 3, 0.5f, 706u);
            float scale_b = 9.0f * (0.7f + 0.3f * (float)(ca & 255u) / 255.0f);
            float hb = stoneDome(a2 - a1, 0.16f, scale_b);
            float hs = stoneDome(b2 - b1, 0.18f, 4.5f);
            float h = 1.0f + 1.0f * soil_tone + 0.6f * fine;
            float grain = hashUnit(x, y, 708u) - 0.5f;
            float rgb[3] = {64.0f + 8.0f * soil_tone + 10.0f * grain,
                            56.0f + 7.0f * soil_tone + 9.0f * grain,
                            46.0f + 5.0f * soil_tone + 8.0f * grain};
            float rough = 0.93f;
            // Stones darken towards their rims, where they turn away and
            // sit in the soil's shade.
            if (hs > h) {
                stoneColour(cb, rgb);
                float rim = 0.72f + 0.28f * hs / 4.5f;
                for (int c = 0; c < 3; c++) rgb[c] *= rim;
                h = hs;
                rough = 0.7f;
            }
            if (hb > h) {
                stoneColour(ca, rgb);
                float rim = 0.7f + 0.3f * hb / scale_b;
                for (int c = 0; c < 3; c++) rgb[c] *= rim;
                h = hb;
                rough = 0.6f + 0.15f * (float)((ca >> 16) & 255u) / 255.0f;
            }
            float speck = 1.0f + 0.1f * mottle + 0.05f * grain;
            s->h[k] = h + 0.3f * fine;
            setCol(s, k, rgb[0] * speck, rgb[1] * speck, rgb[2] * speck);
            s->rough[k] = rough;
        }
    }
}

// Wind-packed snow: soft drifts, stretched wind ridges, fine grain and a few
// glazed patches.
static void makeSnow(Surface *s) {
    for (int y = 0; y < MAT; y++) {
        for (int x = 0; x < MAT; x++) {
            int k = y * MAT + x;
            float u = ((float)x + 0.5f) / MAT, v = ((float)y + 0.5f) / MAT;
            float drift = fbmTile(u, v, 3, 5, 0.5f, 801u);
            float warp = fbmTile(u, v, 4, 3, 0.5f, 802u);
            float n = noiseTile((u + 0.05f * warp) * 4.0f, (v + 0.08f * warp) * 14.0f, 4, 14, 803u);
            float ridge = 1.0f - fabsf(n);
            float fine = fbmTile(u, v, 64, 2, 0.5f, 804u);
            float grain = hashUnit(x, y, 807u) - 0.5f;
            float ice = 0.6f * smoothstepf(-0.3f, -0.5f, fbmTile(u, v, 5, 3, 0.5f, 805u));
            float h = 10.0f * drift + 3.0f * ridge * ridge * ridge +
                      (0.6f * fine + 0.3f * grain) * (1.0f - ice);
            float r = 226.0f + 10.0f * drift + 6.0f * grain;
            float g = 230.0f + 9.0f * drift + 6.0f * grain;
            float b = 237.0f + 7.0f * drift + 5.0f * grain;
            r = mixf(r, 206.0f, ice);
            g = mixf(g, 216.0f, ice);
            b = mixf(b, 228.0f, ice);
            s->h[k] = h;
            setCol(s, k, r, g, b);
            s->rough[k] = mixf(0.62f + 0.08f * fine, 0.25f, ice);
        }
    }
}

// Per-material normal strength and how strongly crevices darken the AO.
static const float NORMAL_STRENGTH[MATERIAL_COUNT] = {0.3f, 0.3f,  0.45f, 1.2f,
                                                      0.6f, 0.45f, 0.45f, 0.8f};
static const float AO_STRENGTH[MATERIAL_COUNT] = {0.05f, 0.05f, 0.06f, 0.05f,
                                                  0.06f, 0.05f, 0.08f, 0.04f};

void imageMaterial(int index, uint8_t *alb, uint8_t *rma, uint8_t *nrm) {
    Surface s;
    s.h = (float *)calloc((size_t)MAT * MAT, sizeof(float));
    s.col = (float *)calloc((size_t)MAT * MAT * 3, sizeof(float));
    s.rough = (float *)calloc((size_t)MAT * MAT, sizeof(float));
    float *cav = (float *)malloc(sizeof(float) * MAT * MAT);
    switch (index) {
    case 0: makeGrass(&s); break;
    case 1: makeDryGrass(&s); break;
    case 2: makeMoss(&s); break;
    case 3: makeMud(&s); break;
    case 4: makeSand(&s); break;
    case 5: makeRock(&s); break;
    case 6: makeGravel(&s); break;
    default: makeSnow(&s); break;
    }
    cavity(s.h, 6, cav);
    for (int k = 0; k < MAT * MAT; k++) {
        // AO stays in the 200..255 band of open ground, lower only in deep
        // crevices; the albedo keeps a faint trace of it so crevices read
        // even in flat light.
        float ao = clampf(1.0f - AO_STRENGTH[index] * cav[k], 0.6f, 1.0f);
        float bake = 0.85f + 0.15f * ao;
        for (int c = 0; c < 3; c++)
            alb[k * 3 + c] = toByte(clampf(s.col[k * 3 + c] * bake, 12.0f, 245.0f));
        rma[k * 3 + 0] = toByte(clampf(s.rough[k], 0.05f, 1.0f) * 255.0f);
        rma[k * 3 + 1] = 0;
        rma[k * 3 + 2] = toByte(ao * 255.0f);
    }
    heightToNormal(s.h, MAT, MAT, NORMAL_STRENGTH[index], nrm);
    free(cav);
    free(s.h);
    free(s.col);
    free(s.rough);
}

// ---- BRDF table ----

// Radical inverse of i in base 2, the second Hammersley coordinate.
static float radicalInverse(uint32_t i) {
    i = (i << 16) | (i >> 16);
    i = ((i & 0x55555555u) << 1) | ((i & 0xAAAAAAAAu) >> 1);
    i = ((i & 0x33333333u) << 2) | ((i & 0xCCCCCCCCu) >> 2);
    i = ((i & 0x0F0F0F0Fu) << 4) | ((i & 0xF0F0F0F0u) >> 4);
    i = ((i & 0x00FF00FFu) << 8) | ((i & 0xFF00FF00u) >> 8);
    return (float)i * 2.3283064365386963e-10f;
}

void imageBrdfLut(uint8_t *rgb) {
    // Half vectors depend only on roughness, so each row draws its GGX
    // samples once and reuses them for every n.v.
    static float hx[BRDF_SAMPLES], hz[BRDF_SAMPLES];
    for (int row = 0; row < BRDF_SIDE; row++) {
        double rough = ((double)row + 0.5) / BRDF_SIDE;
        double alpha = rough * rough;
        double k = alpha / 2.0;
        for (int i = 0; i < BRDF_SAMPLES; i++) {
            double e1 = (double)i / BRDF_SAMPLES, e2 = radicalInverse((uint32_t)i);
            double phi = 6.283185307179586 * e1;
            double cos_t = sqrt((1.0 - e2) / (1.0 + (alpha * alpha - 1.0) * e2));
            double sin_t = sqrt(1.0 - cos_t * cos_t);
            hx[i] = (float)(sin_t * cos(phi));
            hz[i] = (float)cos_t;
        }
        for (int col = 0; col < BRDF_SIDE; col++) {
            double nv = ((double)col + 0.5) / BRDF_SIDE;
            double vx = sqrt(1.0 - nv * nv), vz = nv;
            double a = 0.0, b = 0.0;
            double gv = nv / (nv * (1.0 - k) + k);
            for (int i = 0; i < BRDF_SAMPLES; i++) {
                // v lies in the xz plane, so the y part of h drops out of v.h.
                double vh = vx * hx[i] + vz * hz[i];
                double lz = 2.0 * vh * hz[i] - vz;
                if (lz <= 0.0 || vh <= 0.0) continue;
                double nh = hz[i];
                double gl = lz / (lz * (1.0 - k) + k);
                double gvis = gv * gl * vh / (nh * nv);
                double q = 1.0 - vh, fc = q * q * q * q * q;
                a += (1.0 - fc) * gvis;
                b += fc * gvis;
            }
            uint8_t *p = rgb + ((size_t)row * BRDF_SIDE + col) * 3;
            p[0] = toByte((float)(a / BRDF_SAMPLES) * 255.0f);
            p[1] = toByte((float)(b / BRDF_SAMPLES) * 255.0f);
            p[2] = 0;
        }
    }
}

// ---- font, logo, grid ----

// Reads a whole file into a malloc'd buffer; null when it cannot.
static unsigned char *readFile(const char *path, size_t *len) {
    FILE *f = fopen(path, "rb");
    if (!f) return nullptr;
    unsigned char *data = nullptr;
    size_t n = 0, cap = 0;
    for (;;) {
        if (n == cap) {
            cap = cap ? cap * 2 : 1 << 20;
            unsigned char *p = (unsigned char *)realloc(data, cap);
            if (!p) {
                free(data);
                fclose(f);
                return nullptr;
            }
            data = p;
        }
        size_t got = fread(data + n, 1, cap - n, f);
        n += got;
        if (got == 0) break;
    }
    fclose(f);
    *len = n;
    return data;
}

// Opens a TrueType font file; returns its bytes (to free) or null.
static unsigned char *openFont(const char *path, stbtt_fontinfo *info) {
    size_t len = 0;
    unsigned char *ttf = readFile(path, &len);
    if (!ttf || !stbtt_InitFont(info, ttf, stbtt_GetFontOffsetForIndex(ttf, 0))) {
        fprintf(stderr, "assetgen: cannot read font %s\n", path);
        free(ttf);
        return nullptr;
    }
    return ttf;
}

int imageFont(uint8_t *rgba) {
    stbtt_fontinfo info;
    unsigned char *ttf = openFont(FONT_MONO, &info);
    if (!ttf) return 1;
    memset(rgba, 0, (size_t)FONT_W * FONT_H * 4);
    // The largest scale at which every printable glyph, plus a one-texel
    // outline, fits its cell.
    int bx0 = 0, by0 = 0, bx1 = 0, by1 = 0, adv = 0;
    stbtt_GetCodepointHMetrics(&info, 'M', &adv, nullptr);
    for (int c = 33; c < 127; c++) {
        int x0, y0, x1, y1;
        if (!stbtt_GetCodepointBox(&info, c, &x0, &y0, &x1, &y1)) continue;
        bx0 = x0 < bx0 ? x0 : bx0;
        by0 = y0 < by0 ? y0 : by0;
        bx1 = x1 > bx1 ? x1 : bx1;
        by1 = y1 > by1 ? y1 : by1;
    }
    // One texel of the 14-row inner box is spare so subpixel spill cannot
    // reach the cell's edge row.
    float scale_y = (float)(FONT_CELL_H - 3) / (float)(by1 - by0);
    float scale_x = (float)(FONT_CELL_W - 2) / (float)(bx1 - bx0);
    float scale = scale_y < scale_x ? scale_y : scale_x;
    int baseline = 1 + (int)ceilf((float)by1 * scale);
    float left = ((float)FONT_CELL_W - (float)adv * scale) * 0.5f;
    static unsigned char cover[FONT_CELL_H * FONT_CELL_W];
    for (int c = 32; c < 127; c++) {
        int k = c - 32;
        int ox = FONT_CELL_W * (k % FONT_COLUMNS), oy = FONT_CELL_H * (k / FONT_COLUMNS);
        memset(cover, 0, sizeof cover);
        int x0, y0, x1, y1;
        float shift = left - floorf(left);
        stbtt_GetCodepointBitmapBoxSubpixel(&info, c, scale, scale, shift, 0.0f, &x0, &y0, &x1,
                                            &y1);
        int px = (int)floorf(left) + x0, py = baseline + y0;
        int w = x1 - x0, h = y1 - y0;
        if (w > 0 && h > 0 && px >= 0 && py >= 0 && px + w <= FONT_CELL_W && py + h <= FONT_CELL_H)
            stbtt_MakeCodepointBitmapSubpixel(&info, cover + py * FONT_CELL_W + px, w, h,
                                              FONT_CELL_W, scale, scale, shift, 0.0f, c);
        // Hard edges for an unblended alpha test: a slightly low threshold
        // keeps one-texel stems unbroken, and glyphs thinner than a texel
        // ('_') keep their strongest texels; a dark ring keeps text readable
        // on bright sky.
        int peak = 0;
        for (int t = 0; t < FONT_CELL_H * FONT_CELL_W; t++)
            peak = cover[t] > peak ? cover[t] : peak;
        int cut = peak / 2 < 100 ? (peak + 1) / 2 : 100;
        if (cut < 1) cut = 1;
        for (int t = 0; t < FONT_CELL_H * FONT_CELL_W; t++) cover[t] = cover[t] >= cut ? 255 : 0;
        for (int y = 0; y < FONT_CELL_H; y++) {
            for (int x = 0; x < FONT_CELL_W; x++) {
                uint8_t *p = rgba + ((size_t)(oy + y) * FONT_W + (ox + x)) * 4;
                if (cover[y * FONT_CELL_W + x]) {
                    p[0] = p[1] = p[2] = p[3] = 255;
                    continue;
                }
                int ring = 0;
                for (int dy = -1; dy <= 1 && !ring; dy++)
                    for (int dx = -1; dx <= 1 && !ring; dx++) {
                        int sx = x + dx, sy = y + dy;
                        if (sx >= 0 && sy >= 0 && sx < FONT_CELL_W && sy < FONT_CELL_H &&
                            cover[sy * FONT_CELL_W + sx])
                            ring = 1;
                    }
                if (ring) {
                    p[0] = p[1] = p[2] = 0;
                    p[3] = 255;
                }
            }
        }
    }
    free(ttf);
    return 0;
}

// Anti-aliased emblem coverage helpers for the logo, in logo pixels.
static float hillProfile(float x, float cx, float top, float width) {
    float d = (x - cx) / width;
    return top + width * 0.55f * d * d * (1.0f + 0.15f * d);
}

// Colour of the emblem at (x, y): a low sun behind two rolling green hills,
// inside a round badge. Writes rgb and returns coverage 0..1.
static float emblemAt(float x, float y, float *rgb) {
    const float cx = 64.0f, cy = 64.0f, radius = 54.0f;
    float dx = x - cx, dy = y - cy;
    float r = sqrtf(dx * dx + dy * dy);
    if (r > radius) return 0.0f;
    // Evening sky: deep blue above, warm near the horizon.
    float t = clampf((y - 10.0f) / 80.0f, 0.0f, 1.0f);
    rgb[0] = mixf(30.0f, 236.0f, t * t);
    rgb[1] = mixf(60.0f, 150.0f, t * t);
    rgb[2] = mixf(120.0f, 90.0f, t);
    float sdx = x - 80.0f, sdy = y - 58.0f;
    float sr = sqrtf(sdx * sdx + sdy * sdy);
    if (sr < 17.0f) {
        rgb[0] = 255.0f;
        rgb[1] = mixf(236.0f, 196.0f, sr / 17.0f);
        rgb[2] = mixf(160.0f, 96.0f, sr / 17.0f);
    } else if (sr < 26.0f) {
        float g = (26.0f - sr) / 9.0f * 0.5f;
        rgb[0] = mixf(rgb[0], 255.0f, g);
        rgb[1] = mixf(rgb[1], 210.0f, g);
        rgb[2] = mixf(rgb[2], 120.0f, g);
    }
    float back = hillProfile(x, 92.0f, 70.0f, 40.0f);
    float front = hillProfile(x, 46.0f, 62.0f, 44.0f);
    if (y > back) {
        float s = clampf((y - back) / 30.0f, 0.0f, 1.0f);
        rgb[0] = mixf(72.0f, 40.0f, s);
        rgb[1] = mixf(132.0f, 92.0f, s);
        rgb[2] = mixf(60.0f, 44.0f, s);
    }
    if (y > front) {
        // Light from the sun on the right-hand flank of the knoll.
        float slope = (x - 46.0f) / 44.0f;
        float lit = clampf(0.55f + 0.6f * slope, 0.0f, 1.0f);
        float s = clampf((y - front) / 45.0f, 0.0f, 1.0f);
        rgb[0] = mixf(mixf(60.0f, 120.0f, lit), 36.0f, s);
        rgb[1] = mixf(mixf(120.0f, 186.0f, lit), 84.0f, s);
        rgb[2] = mixf(mixf(40.0f, 70.0f, lit), 32.0f, s);
    }
    // A thin light rim around the badge.
    if (r > radius - 3.0f) {
        rgb[0] = 226.0f;
        rgb[1] = 232.0f;
        rgb[2] = 206.0f;
    }
    return 1.0f;
}

int imageLogo(uint8_t *rgba) {
    stbtt_fontinfo info;
    unsigned char *ttf = openFont(FONT_BOLD, &info);
    if (!ttf) return 1;
    static float acc[LOGO_H][LOGO_W][3];
    memset(acc, 0, sizeof acc);
    // The emblem, supersampled 4 x 4 against black.
    for (int y = 0; y < LOGO_H; y++) {
        for (int x = 0; x < LOGO_W && x < 128; x++) {
            for (int sy = 0; sy < 4; sy++) {
                for (int sx = 0; sx < 4; sx++) {
                    float rgb[3];
                    float c =
                        emblemAt((float)x + (sx + 0.5f) / 4.0f, (float)y + (sy + 0.5f) / 4.0f, rgb);
                    for (int k = 0; k < 3; k++) acc[y][x][k] += c * rgb[k] / 16.0f;
                }
            }
        }
    }
    // The wordmark, anti-aliased by stb_truetype's coverage, shaded from pale
    // green at the top to a deeper green at the baseline.
    const char *text = "Knoll";
    float scale = stbtt_ScaleForPixelHeight(&info, 82.0f);
    float pen = 140.0f;
    int baseline = 92;
    static unsigned char glyph[LOGO_H * LOGO_W];
    for (const char *p = text; *p; p++) {
        int adv = 0, lsb = 0;
        stbtt_GetCodepointHMetrics(&info, *p, &adv, &lsb);
        float shift = pen - floorf(pen);
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBoxSubpixel(&info, *p, scale, scale, shift, 0.0f, &x0, &y0, &x1,
                                            &y1);
        int gw = x1 - x0, gh = y1 - y0;
        int gx = (int)floorf(pen) + x0, gy = baseline + y0;
        if (gw > 0 && gh > 0 && gx >= 0 && gy >= 0 && gx + gw <= LOGO_W && gy + gh <= LOGO_H) {
            memset(glyph, 0, (size_t)gw * gh);
            stbtt_MakeCodepointBitmapSubpixel(&info, glyph, gw, gh, gw, scale, scale, shift, 0.0f,
                                              *p);
            for (int y = 0; y < gh; y++) {
                for (int x = 0; x < gw; x++) {
                    float c = glyph[y * gw + x] / 255.0f;
                    float t = clampf((float)(gy + y - 30) / 62.0f, 0.0f, 1.0f);
                    float col[3] = {mixf(214.0f, 96.0f, t), mixf(240.0f, 178.0f, t),
                                    mixf(190.0f, 72.0f, t)};
                    for (int k = 0; k < 3; k++)
                        acc[gy + y][gx + x][k] = mixf(acc[gy + y][gx + x][k], col[k], c);
                }
            }
        }
        pen += (float)adv * scale;
        if (p[1]) pen += scale * (float)stbtt_GetCodepointKernAdvance(&info, p[0], p[1]);
    }
    for (int y = 0; y < LOGO_H; y++) {
        for (int x = 0; x < LOGO_W; x++) {
            uint8_t *q = rgba + ((size_t)y * LOGO_W + x) * 4;
            for (int k = 0; k < 3; k++) q[k] = toByte(acc[y][x][k]);
            q[3] = 255;
        }
    }
    free(ttf);
    return 0;
}

void imageGrid(uint8_t *rgba) {
    for (int y = 0; y < GRID_SIDE; y++) {
        for (int x = 0; x < GRID_SIDE; x++) {
            // Four texels straddle each multiple of 128: 126, 127, 0, 1 mod 128.
            int on = ((x + 2) & 127) < 4 || ((y + 2) & 127) < 4;
            uint8_t *p = rgba + ((size_t)y * GRID_SIDE + x) * 4;
            p[0] = p[1] = p[2] = on ? 255 : 0;
            p[3] = on ? 127 : 0;
        }
    }
}

// ---- output ----

// Joins dir and name into buf.
static const char *joinPath(char *buf, size_t size, const char *dir, const char *name) {
    snprintf(buf, size, "%s/%s", dir, name);
    return buf;
}

int assetgenImages(const char *dir) {
    char path[4096];
    int fail = 0;
    static uint8_t height[HEIGHT_SIDE * HEIGHT_SIDE], splat[SPLAT_SIDE * SPLAT_SIDE];
    imageHeight(height);
    fail |= writePng(joinPath(path, sizeof path, dir, "height.png"), HEIGHT_SIDE, HEIGHT_SIDE, 1,
                     height);
    imageSplat(splat);
    fail |=
        writePng(joinPath(path, sizeof path, dir, "splat.png"), SPLAT_SIDE, SPLAT_SIDE, 1, splat);

    size_t plane = (size_t)MAT * MAT * 3;
    uint8_t *alb = (uint8_t *)malloc(plane), *rma = (uint8_t *)malloc(plane);
    uint8_t *nrm = (uint8_t *)malloc(plane);
    for (int m = 0; m < MATERIAL_COUNT; m++) {
        char name[32];
        imageMaterial(m, alb, rma, nrm);
        snprintf(name, sizeof name, "t%d_alb.png", m);
        fail |= writePng(joinPath(path, sizeof path, dir, name), MAT, MAT, 3, alb);
        snprintf(name, sizeof name, "t%d_rma.png", m);
        fail |= writePng(joinPath(path, sizeof path, dir, name), MAT, MAT, 3, rma);
        snprintf(name, sizeof name, "t%d_nrm.png", m);
        fail |= writePng(joinPath(path, sizeof path, dir, name), MAT, MAT, 3, nrm);
    }
    imageBrdfLut(alb);
    fail |=
        writePng(joinPath(path, sizeof path, dir, "brdf_lut.png"), BRDF_SIDE, BRDF_SIDE, 3, alb);
    free(alb);
    free(rma);
    free(nrm);

    uint8_t *rgba = (uint8_t *)malloc((size_t)GRID_SIDE * GRID_SIDE * 4);
    imageGrid(rgba);
    fail |= writePng(joinPath(path, sizeof path, dir, "t_grid.png"), GRID_SIDE, GRID_SIDE, 4, rgba);
    if (imageFont(rgba) == 0)
        fail |= writePng(joinPath(path, sizeof path, dir, "font.png"), FONT_W, FONT_H, 4, rgba);
    else
        fail = 1;
    if (imageLogo(rgba) == 0)
        fail |= writePng(joinPath(path, sizeof path, dir, "logo.png"), LOGO_W, LOGO_H, 4, rgba);
    else
        fail = 1;
    free(rgba);
    return fail ? 1 : 0;
}

int assetgenAll(const char *dir) {
    int fail = assetgenImages(dir);
    fail |= assetgenModels(dir) != 0;
    return fail ? 1 : 0;
}
