// assetgen: writes every file of assets/, checks an asset directory, or draws
// a contact sheet of all textures and models for art review.
//
//   assetgen OUTDIR                  write all assets into OUTDIR
//   assetgen --check DIR             check the files in DIR against the catalogue
//   assetgen --contact-sheet OUT.png write the review sheet
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "common.h"
#include "images.h"
#include "models.h"

// ------------------------------------------------------------ constants ----

static const int SHEET_W = 1296;
static const int CELL_W = 162;  // thumbnail cell: 144 image + margins
static const int THUMB = 144;
static const int CELL_H = 144 + 24;  // image plus a label line
static const int VIEW_W = 640, VIEW_H = 360;
static const unsigned char BACKDROP[3] = {40, 42, 46};

// ---------------------------------------------------------------- types ----

// The contact sheet being drawn: RGB pixels, the font atlas for labels and the
// pen position of the next thumbnail.
struct Sheet {
    unsigned char *px;
    int w, h;
    const unsigned char *font;
    int pen_x, pen_y;
};

// The assets the terrain preview needs.
struct Scene {
    const uint8_t *height;
    const uint8_t *splat;
    uint8_t *alb[MATERIAL_COUNT];
};

// ------------------------------------------------------------ functions ----

static float clampf(float x, float lo, float hi) { return x < lo ? lo : x > hi ? hi : x; }

static void putPixel(Sheet *s, int x, int y, const unsigned char *rgb) {
    if (x < 0 || y < 0 || x >= s->w || y >= s->h) return;
    memcpy(s->px + ((size_t)y * s->w + x) * 3, rgb, 3);
}

// Draws text with the generated HUD font (white with its dark ring).
static void drawText(Sheet *s, int x, int y, const char *text) {
    for (; *text; text++, x += FONT_CELL_W) {
        int c = (unsigned char)*text;
        if (c < 32 || c > 126) continue;
        int k = c - 32;
        int ox = FONT_CELL_W * (k % FONT_COLUMNS), oy = FONT_CELL_H * (k / FONT_COLUMNS);
        for (int gy = 0; gy < FONT_CELL_H; gy++)
            for (int gx = 0; gx < FONT_CELL_W; gx++) {
                const unsigned char *p = s->font + ((size_t)(oy + gy) * FONT_W + ox + gx) * 4;
                if (p[3] >= 128) putPixel(s, x + gx, y + gy, p);
            }
    }
}

// Box-filters a w x h image with comp channels into a dw x dh rectangle at
// (x, y). Images with alpha are composited over a checkerboard so
// transparency shows; grey images are stretched by gain (e.g. to see 0..42).
static void drawImage(Sheet *s, int x, int y, int dw, int dh, const unsigned char *img, int w,
                      int h, int comp, float gain) {
    for (int ty = 0; ty < dh; ty++) {
        int sy0 = ty * h / dh, sy1 = (ty + 1) * h / dh;
        if (sy1 <= sy0) sy1 = sy0 + 1;
        for (int tx = 0; tx < dw; tx++) {
            int sx0 = tx * w / dw, sx1 = (tx + 1) * w / dw;
            if (sx1 <= sx0) sx1 = sx0 + 1;
            float acc[4] = {0, 0, 0, 0};
            int n = 0;
            for (int sy = sy0; sy < sy1; sy++)
                for (int sx = sx0; sx < sx1; sx++, n++) {
                    const unsigned char *p = img + ((size_t)sy * w + sx) * comp;
                    for (int c = 0; c < comp; c++) acc[c] += p[c];
                }
            unsigned char out[3];
            float check = ((tx / 8 + ty / 8) & 1) ? 90.0f : 60.0f;
            for (int c = 0; c < 3; c++) {
                float v;
                if (comp == 1)
                    v = acc[0] / n * gain;
                else if (comp == 4)
                    v = (acc[c] * (acc[3] / n / 255.0f) + check * (n - acc[3] / 255.0f)) / n;
                else
                    v = acc[c] / n;
                out[c] = (unsigned char)clampf(v + 0.5f, 0.0f, 255.0f);
            }
            putPixel(s, x + tx, y + ty, out);
        }
    }
}

// Places a labelled thumbnail in the next free cell, wrapping rows.
static void addThumb(Sheet *s, const char *label, const unsigned char *img, int w, int h, int comp,
                     float gain) {
    if (s->pen_x + CELL_W > s->w) {
        s->pen_x = 0;
        s->pen_y += CELL_H;
    }
    int tw = THUMB, th = THUMB;
    if (w > h) th = THUMB * h / w;
    drawImage(s, s->pen_x + 9, s->pen_y + 4, tw, th, img, w, h, comp, gain);
    char text[16];
    snprintf(text, sizeof text, "%.13s", label);
    drawText(s, s->pen_x + 6, s->pen_y + THUMB + 6, text);
    s->pen_x += CELL_W;
}

// Starts a new row of thumbnails.
static void newRow(Sheet *s) {
    if (s->pen_x > 0) {
        s->pen_x = 0;
        s->pen_y += CELL_H;
    }
}

// Terrain height in world units at world (x, z), bilinear like the mesh.
static float sceneHeight(const Scene *sc, float x, float z) {
    float fi = clampf(x / 0.5f + 1.0f, 0.0f, HEIGHT_SIDE - 1.001f);
    float fj = clampf(z / 0.5f + 1.0f, 0.0f, HEIGHT_SIDE - 1.001f);
    int i = (int)fi, j = (int)fj;
    float a = fi - i, b = fj - j;
    const uint8_t *h = sc->height + j * HEIGHT_SIDE + i;
    float top = h[0] + (h[1] - h[0]) * a;
    float bot = h[HEIGHT_SIDE] + (h[HEIGHT_SIDE + 1] - h[HEIGHT_SIDE]) * a;
    return (top + (bot - top) * b) / 8.0f;
}

// Albedo of the ground at world (x, z): the cell's material sampled at the
// tiling frequency and at a quarter of it, averaged.
static void sceneAlbedo(const Scene *sc, float x, float z, float *rgb) {
    int cx = (int)clampf(x / 0.5f, 0.0f, SPLAT_SIDE - 1),
        cz = (int)clampf(z / 0.5f, 0.0f, SPLAT_SIDE - 1);
    const uint8_t *alb = sc->alb[sc->splat[cz * SPLAT_SIDE + cx] & 7];
    float u1 = x / 2.0f, v1 = z / 2.0f, u2 = x / 8.0f, v2 = z / 8.0f;
    int ax = (int)((u1 - floorf(u1)) * MATERIAL_SIDE) & (MATERIAL_SIDE - 1);
    int ay = (int)((v1 - floorf(v1)) * MATERIAL_SIDE) & (MATERIAL_SIDE - 1);
    int bx = (int)((u2 - floorf(u2)) * MATERIAL_SIDE) & (MATERIAL_SIDE - 1);
    int by = (int)((v2 - floorf(v2)) * MATERIAL_SIDE) & (MATERIAL_SIDE - 1);
    for (int c = 0; c < 3; c++)
        rgb[c] = 0.5f *
                 (alb[(ay * MATERIAL_SIDE + ax) * 3 + c] + alb[(by * MATERIAL_SIDE + bx) * 3 + c]);
}

// Ray-marches the heightmap from the start camera (16, 8, 32) looking along
// -Z and a little down, shading with one sun and a sky term.
static void drawTerrainView(Sheet *s, const Scene *sc, int ox, int oy) {
    const float cam[3] = {16.0f, 8.0f, 32.0f};
    const float pitch = -0.22f, tan_half = tanf(0.5f * 1.0472f);
    float sun[3] = {-0.45f, 0.7f, -0.55f};
    float sl = sqrtf(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    for (int c = 0; c < 3; c++) sun[c] /= sl;
    for (int py = 0; py < VIEW_H; py++) {
        for (int px = 0; px < VIEW_W; px++) {
            float sx = (2.0f * (px + 0.5f) / VIEW_W - 1.0f) * tan_half * VIEW_W / VIEW_H;
            float sy = (1.0f - 2.0f * (py + 0.5f) / VIEW_H) * tan_half;
            // Camera looks along -Z, pitched down about the x axis.
            float d[3] = {sx, sy * cosf(pitch) + sinf(pitch), -(cosf(pitch) - sy * sinf(pitch))};
            float dl = sqrtf(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int c = 0; c < 3; c++) d[c] /= dl;
            float t = 0.0f, hit = -1.0f;
            for (int step = 0; step < 1200 && t < 80.0f; step++) {
                float x = cam[0] + d[0] * t, y = cam[1] + d[1] * t, z = cam[2] + d[2] * t;
                if (x < 0.0f || x > 32.0f || z < 0.0f || z > 32.0f) {
                    if (z < 0.0f || d[1] > 0.0f) break;
                } else if (y <= sceneHeight(sc, x, z)) {
                    hit = t;
                    break;
                }
                t += 0.03f;
            }
            unsigned char out[3];
            if (hit < 0.0f) {
                float up = clampf(d[1] * 2.0f + 0.3f, 0.0f, 1.0f);
                out[0] = (unsigned char)(200 - 110 * up);
                out[1] = (unsigned char)(218 - 80 * up);
                out[2] = (unsigned char)(236 - 30 * up);
            } else {
                float x = cam[0] + d[0] * hit, z = cam[2] + d[2] * hit;
                float e = 0.25f;
                float nx = sceneHeight(sc, x - e, z) - sceneHeight(sc, x + e, z);
                float nz = sceneHeight(sc, x, z - e) - sceneHeight(sc, x, z + e);
                float ny = 2.0f * e;
                float nl = sqrtf(nx * nx + ny * ny + nz * nz);
                float lambert = clampf((nx * sun[0] + ny * sun[1] + nz * sun[2]) / nl, 0.0f, 1.0f);
                float light = 0.3f + 0.9f * lambert;
                float rgb[3];
                sceneAlbedo(sc, x, z, rgb);
                for (int c = 0; c < 3; c++)
                    out[c] = (unsigned char)clampf(rgb[c] * light + 0.5f, 0.0f, 255.0f);
            }
            putPixel(s, ox + px, oy + py, out);
        }
    }
}

// Draws every generated image and each mesh model into one labelled PNG.
static int contactSheet(const char *path) {
    static uint8_t height[HEIGHT_SIDE * HEIGHT_SIDE], splat[SPLAT_SIDE * SPLAT_SIDE];
    static uint8_t font[FONT_W * FONT_H * 4];
    if (imageFont(font) != 0) return 1;
    imageHeight(height);
    imageSplat(splat);

    Sheet s;
    s.w = SHEET_W;
    s.h = VIEW_H + 16 + CELL_H * 5 + FONT_H * 2 + 16;
    s.px = (unsigned char *)malloc((size_t)s.w * s.h * 3);
    for (int k = 0; k < s.w * s.h; k++) memcpy(s.px + (size_t)k * 3, BACKDROP, 3);
    s.font = font;

    size_t plane = (size_t)MATERIAL_SIDE * MATERIAL_SIDE * 3;
    Scene sc = {height, splat, {}};
    uint8_t *rma = (uint8_t *)malloc(plane), *nrm = (uint8_t *)malloc(plane);
    s.pen_x = 0;
    s.pen_y = VIEW_H + 16;
    for (int m = 0; m < MATERIAL_COUNT; m++) {
        char label[32];
        sc.alb[m] = (uint8_t *)malloc(plane);
        imageMaterial(m, sc.alb[m], rma, nrm);
        snprintf(label, sizeof label, "%d %s", m, MATERIAL_NAMES[m]);
        addThumb(&s, label, sc.alb[m], MATERIAL_SIDE, MATERIAL_SIDE, 3, 1.0f);
        snprintf(label, sizeof label, "t%d_rma", m);
        addThumb(&s, label, rma, MATERIAL_SIDE, MATERIAL_SIDE, 3, 1.0f);
        snprintf(label, sizeof label, "t%d_nrm", m);
        addThumb(&s, label, nrm, MATERIAL_SIDE, MATERIAL_SIDE, 3, 1.0f);
    }
    free(rma);
    free(nrm);

    // The start view, the heightmap, and the splat map in material colours.
    drawTerrainView(&s, &sc, 8, 8);
    drawText(&s, 16, 14, "start view (preview)");
    drawImage(&s, 656, 8, 268, 268, height, HEIGHT_SIDE, HEIGHT_SIDE, 1, 255.0f / HEIGHT_MAX);
    drawText(&s, 660, 280, "height.png");
    static uint8_t splat_rgb[SPLAT_SIDE * SPLAT_SIDE * 3];
    for (int k = 0; k < SPLAT_SIDE * SPLAT_SIDE; k++) {
        const uint8_t *a = sc.alb[splat[k] & 7];
        for (int c = 0; c < 3; c++) splat_rgb[k * 3 + c] = a[(256 * MATERIAL_SIDE + 256) * 3 + c];
    }
    drawImage(&s, 940, 8, 256, 256, splat_rgb, SPLAT_SIDE, SPLAT_SIDE, 3, 1.0f);
    drawText(&s, 944, 280, "splat.png");
    for (int m = 0; m < MATERIAL_COUNT; m++) free(sc.alb[m]);

    newRow(&s);
    uint8_t *img = (uint8_t *)malloc((size_t)BRDF_SIDE * BRDF_SIDE * 4);
    imageBrdfLut(img);
    addThumb(&s, "brdf_lut", img, BRDF_SIDE, BRDF_SIDE, 3, 1.0f);
    imageGrid(img);
    addThumb(&s, "t_grid", img, GRID_SIDE, GRID_SIDE, 4, 1.0f);
    if (imageLogo(img) == 0)
        drawImage(&s, s.pen_x + 9, s.pen_y + 4, LOGO_W, LOGO_H, img, LOGO_W, LOGO_H, 4, 1.0f);
    drawText(&s, s.pen_x + 9, s.pen_y + 4 + LOGO_H + 2, "logo");
    drawImage(&s, s.pen_x + 380, s.pen_y + 4, FONT_W * 2, FONT_H * 2, font, FONT_W, FONT_H, 4,
              1.0f);
    drawText(&s, s.pen_x + 380, s.pen_y + FONT_H * 2 - 40, "FPS: 60");
    drawText(&s, s.pen_x + 380, s.pen_y + FONT_H * 2 - 20, "Knoll 42 {[x]} @ #");
    free(img);

    s.pen_x = 0;
    s.pen_y += FONT_H * 2 + 16;
    unsigned char *view = (unsigned char *)malloc((size_t)THUMB * THUMB * 3);
    for (int m = 0; m < MODELS_COUNT; m++) {
        ModelAsset a;
        char label[32];
        modelsBuild(m, &a);
        modelsDrawPreviewTextured(a.omm, a.omm_len, a.alb, a.nrm, view, THUMB, THUMB);
        addThumb(&s, MODELS_NAMES[m], view, THUMB, THUMB, 3, 1.0f);
        snprintf(label, sizeof label, "%s alb", MODELS_NAMES[m]);
        addThumb(&s, label, a.alb, MODELS_TEX_SIDE, MODELS_TEX_SIDE, 4, 1.0f);
        snprintf(label, sizeof label, "%s rma", MODELS_NAMES[m]);
        addThumb(&s, label, a.rma, MODELS_TEX_SIDE, MODELS_TEX_SIDE, 3, 1.0f);
        snprintf(label, sizeof label, "%s nrm", MODELS_NAMES[m]);
        addThumb(&s, label, a.nrm, MODELS_TEX_SIDE, MODELS_TEX_SIDE, 3, 1.0f);
        modelsFree(&a);
    }
    free(view);

    int rc = writePng(path, s.w, s.h, 3, s.px);
    free(s.px);
    return rc;
}

int main(int argc, char **argv) {
    if (argc == 3 && strcmp(argv[1], "--contact-sheet") == 0) return contactSheet(argv[2]);
    if (argc == 3 && strcmp(argv[1], "--check") == 0) {
        char msg[512];
        int rc = checkAssetDir(argv[2], msg, sizeof msg);
        printf("%s\n", rc ? msg : "all assets sound");
        return rc;
    }
    if (argc == 2 && argv[1][0] != '-') return assetgenAll(argv[1]);
    fprintf(stderr,
            "usage: assetgen OUTDIR\n"
            "       assetgen --check DIR\n"
            "       assetgen --contact-sheet OUT.png\n");
    return 2;
}
