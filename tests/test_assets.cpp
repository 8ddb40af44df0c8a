// The generated assets: the committed files match the generator, pass the
// catalogue checker, and keep the properties the renderer relies on.
#include <gtest/gtest.h>

#include <dirent.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <stb_image.h>

#include "check.h"
#include "gl_fixture.h"
#include "common.h"
#include "images.h"
#include "knoll_math.h"

// ------------------------------------------------------------ constants ----

static const std::string ASSET_DIR = std::string(KNOLL_SOURCE_DIR) + "/assets";

// ---------------------------------------------------------------- types ----

// A decoded image with the channel count it was requested with.
struct Image {
    int w = 0, h = 0, comp = 0;
    std::vector<unsigned char> px;
    int at(int x, int y, int c) const { return px[((size_t)y * w + x) * comp + c]; }
};

// ------------------------------------------------------------ functions ----

static std::vector<unsigned char> readBytes(const std::string &path) {
    std::vector<unsigned char> data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return data;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    fclose(f);
    return data;
}

static Image loadAsset(const char *name, int comp) {
    Image img;
    std::vector<unsigned char> data = readBytes(ASSET_DIR + "/" + name);
    int file_comp = 0;
    unsigned char *px =
        stbi_load_from_memory(data.data(), (int)data.size(), &img.w, &img.h, &file_comp, comp);
    if (px) {
        img.comp = comp;
        img.px.assign(px, px + (size_t)img.w * img.h * comp);
        stbi_image_free(px);
    }
    return img;
}

// Bytes of a PNG encoded from raw pixels.
static std::vector<unsigned char> pngBytes(int w, int h, int comp, const unsigned char *px) {
    size_t len = 0;
    unsigned char *png = encodePng(w, h, comp, px, &len);
    std::vector<unsigned char> out(png, png + len);
    free(png);
    return out;
}

// Runs the checker on bytes; returns its result and stores the message.
static int check(const char *name, const std::vector<unsigned char> &data, std::string *msg) {
    char buf[512];
    buf[0] = '\0';
    int rc = checkAsset(name, data.data(), data.size(), buf, sizeof buf);
    *msg = buf;
    return rc;
}

// Mean absolute difference of all channels between columns (or rows) a and b.
static double lineDiff(const Image &img, int a, int b, bool columns) {
    double sum = 0.0;
    int n = columns ? img.h : img.w;
    for (int k = 0; k < n; k++)
        for (int c = 0; c < img.comp; c++) {
            int va = columns ? img.at(a, k, c) : img.at(k, a, c);
            int vb = columns ? img.at(b, k, c) : img.at(k, b, c);
            sum += abs(va - vb);
        }
    return sum / (n * img.comp);
}

// ---- generator output ----

TEST(Assets, RegeneratedFilesMatchCommittedBytes) {
#ifdef _WIN32
    GTEST_SKIP() << "the committed assets are the Linux build's: MinGW-w64's maths functions "
                    "round a few results differently (pixels off by 1/255, .omm floats)";
#endif
    std::filesystem::path made = makeScratchDir("knoll_assets_");
    ASSERT_FALSE(made.empty());
    std::string dir = made.string();
    ASSERT_EQ(assetgenAll(dir.c_str()), 0);
    int files = 0;
    for (int k = 0; k < ASSET_COUNT; k++) {
        const char *name = ASSET_CATALOGUE[k].name;
        std::string fresh = std::string(dir) + "/" + name;
        std::vector<unsigned char> a = readBytes(fresh), b = readBytes(ASSET_DIR + "/" + name);
        EXPECT_FALSE(a.empty()) << name << " was not generated";
        if (a == b) {
            unlink(fresh.c_str());
        } else {
            // Kept beside the folder, so that a difference nobody meant can
            // be looked at after the run.
            size_t at = 0;
            while (at < a.size() && at < b.size() && a[at] == b[at]) at++;
            std::string kept = std::string(dir) + "." + name;
            rename(fresh.c_str(), kept.c_str());
            ADD_FAILURE() << name << " differs from assets/ (" << a.size() << " against "
                          << b.size() << " bytes, first at byte " << at << ", kept as " << kept
                          << "); regenerate with assetgen";
        }
        files++;
    }
    // Nothing beyond the catalogue is written.
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    int extra = 0;
    for (dirent *e; (e = readdir(d)) != nullptr;)
        if (e->d_name[0] != '.')
            ADD_FAILURE() << "unexpected file " << e->d_name << " (" << ++extra << ")";
    closedir(d);
    rmdir(dir.c_str());
    EXPECT_EQ(files, 46);
}

// ---- the checker ----

TEST(AssetCheck, CommittedAssetsAreSound) {
    char msg[512];
    EXPECT_EQ(checkAssetDir(ASSET_DIR.c_str(), msg, sizeof msg), 0) << msg;
}

TEST(AssetCheck, RejectsMalformedImages) {
    std::vector<unsigned char> good = readBytes(ASSET_DIR + "/height.png");
    ASSERT_FALSE(good.empty());
    std::string msg;
    ASSERT_EQ(check("height.png", good, &msg), 0) << msg;

    std::vector<unsigned char> cases[6];
    cases[0] = {};
    cases[1].assign(good.begin(), good.begin() + good.size() / 2);
    cases[2].assign(good.begin(), good.begin() + 8);  // just the signature
    for (int k = 0; k < 4096; k++) cases[3].push_back((unsigned char)(hash32((uint32_t)k) >> 24));
    std::vector<unsigned char> flat(67 * 67 * 3, 10);
    cases[4] = pngBytes(66, 67, 1, flat.data());  // wrong size
    cases[5] = pngBytes(67, 67, 3, flat.data());  // colour heightmap
    for (int k = 0; k < 6; k++) {
        EXPECT_EQ(check("height.png", cases[k], &msg), 1) << "case " << k;
        EXPECT_NE(msg.find("height.png"), std::string::npos) << "case " << k << ": " << msg;
    }

    // Values out of range for what they encode.
    std::vector<unsigned char> h(67 * 67, 0), s(64 * 64, 7);
    h[67 * 30 + 30] = 43;
    EXPECT_EQ(check("height.png", pngBytes(67, 67, 1, h.data()), &msg), 1);
    EXPECT_NE(msg.find("43"), std::string::npos) << msg;
    EXPECT_EQ(check("splat.png", pngBytes(64, 64, 1, s.data()), &msg), 0) << msg;
    s[100] = 8;
    EXPECT_EQ(check("splat.png", pngBytes(64, 64, 1, s.data()), &msg), 1);

    // Alpha where it is read: a font without alpha and a logo that is not
    // opaque are both faults.
    std::vector<unsigned char> rgb(256 * 128 * 4, 255);
    EXPECT_EQ(check("font.png", pngBytes(256, 128, 3, rgb.data()), &msg), 1);
    EXPECT_EQ(check("font.png", pngBytes(256, 128, 4, rgb.data()), &msg), 0) << msg;
    std::vector<unsigned char> logo(350 * 128 * 4, 255);
    logo[4 * 1000 + 3] = 0;
    EXPECT_EQ(check("logo.png", pngBytes(350, 128, 4, logo.data()), &msg), 1);

    EXPECT_EQ(check("nonexistent.png", good, &msg), 1);
    EXPECT_FALSE(msg.empty());
}

TEST(AssetCheck, RejectsMalformedModels) {
    std::vector<unsigned char> good = readBytes(ASSET_DIR + "/barrel.omm");
    ASSERT_GT(good.size(), 8u);
    std::string msg;
    EXPECT_EQ(check("barrel.omm", good, &msg), 0) << msg;
    std::vector<unsigned char> cut(good.begin(), good.end() - 3);
    EXPECT_EQ(check("barrel.omm", cut, &msg), 1);
    EXPECT_EQ(check("barrel.omm", {}, &msg), 1);
    EXPECT_EQ(check("barrel.omm", readBytes(ASSET_DIR + "/height.png"), &msg), 1);
    EXPECT_NE(msg.find("barrel.omm"), std::string::npos) << msg;
}

// ---- terrain ----

TEST(Terrain, ModelSpotsAreFlatAndGroundIsSmooth) {
    Image h = loadAsset("height.png", 1);
    ASSERT_EQ(h.w, HEIGHT_SIDE);
    for (const ModelSpot &s : MODEL_SPOTS) {
        for (int dj = -2; dj <= 2; dj++) {
            for (int di = -2; di <= 2; di++) {
                if (di * di + dj * dj <= 4) {
                    EXPECT_EQ(h.at(s.i + di, s.j + dj, 0), 0) << "near spot " << s.i << "," << s.j;
                }
            }
        }
    }
    int max_step = 0, peak = 0;
    for (int j = 0; j < HEIGHT_SIDE; j++)
        for (int i = 0; i < HEIGHT_SIDE; i++) {
            if (i + 1 < HEIGHT_SIDE)
                max_step = std::max(max_step, abs(h.at(i + 1, j, 0) - h.at(i, j, 0)));
            if (j + 1 < HEIGHT_SIDE)
                max_step = std::max(max_step, abs(h.at(i, j + 1, 0) - h.at(i, j, 0)));
            if (j < 50) peak = std::max(peak, h.at(i, j, 0));
        }
    // At most half a unit of rise per half-unit step, and a rise of at least
    // four units ahead of the start camera.
    EXPECT_LE(max_step, 4);
    EXPECT_GE(peak, 32);
}

TEST(Terrain, SplatFollowsHeightAndSlope) {
    Image h = loadAsset("height.png", 1), s = loadAsset("splat.png", 1);
    ASSERT_EQ(s.w, SPLAT_SIDE);
    double height_sum[MATERIAL_COUNT] = {}, slope_sum[MATERIAL_COUNT] = {};
    int count[MATERIAL_COUNT] = {};
    for (int cy = 0; cy < SPLAT_SIDE; cy++)
        for (int cx = 0; cx < SPLAT_SIDE; cx++) {
            int m = s.at(cx, cy, 0);
            ASSERT_LT(m, MATERIAL_COUNT);
            int a = h.at(cx + 1, cy + 1, 0), b = h.at(cx + 2, cy + 1, 0);
            int c = h.at(cx + 1, cy + 2, 0), d = h.at(cx + 2, cy + 2, 0);
            height_sum[m] += (a + b + c + d) / 4.0;
            slope_sum[m] += hypot((b + d - a - c) / 2.0, (c + d - a - b) / 2.0);
            count[m]++;
        }
    for (int m = 0; m < MATERIAL_COUNT; m++)
        ASSERT_GE(count[m], 8) << MATERIAL_NAMES[m] << " barely appears";
    // Snow caps the highest ground, rock takes the steepest, sand and mud the
    // lowest.
    for (int m = 0; m < 7; m++)
        EXPECT_GT(height_sum[7] / count[7], height_sum[m] / count[m]) << MATERIAL_NAMES[m];
    for (int m : {0, 1, 2, 3, 4})
        EXPECT_GT(slope_sum[5] / count[5], slope_sum[m] / count[m]) << MATERIAL_NAMES[m];
    for (int m : {0, 1, 5, 6, 7}) {
        EXPECT_LT(height_sum[3] / count[3], height_sum[m] / count[m]) << MATERIAL_NAMES[m];
        EXPECT_LT(height_sum[4] / count[4], height_sum[m] / count[m]) << MATERIAL_NAMES[m];
    }
}

// ---- ground materials ----

TEST(Materials, TileWithoutSeams) {
    // Compared on 8 x 8 block means, where texel noise and hard pebble edges
    // average out and a broken wrap would show as a jump far above the steps
    // between neighbouring blocks inside the tile.
    const int b = 8, n = MATERIAL_SIDE / b;
    for (int m = 0; m < MATERIAL_COUNT; m++)
        for (const char *kind : {"alb", "nrm", "rma"}) {
            char name[32];
            snprintf(name, sizeof name, "t%d_%s.png", m, kind);
            Image img = loadAsset(name, 3);
            ASSERT_EQ(img.w, MATERIAL_SIDE) << name;
            Image small;
            small.w = small.h = n;
            small.comp = 3;
            small.px.assign((size_t)n * n * 3, 0);
            for (int y = 0; y < n; y++)
                for (int x = 0; x < n; x++)
                    for (int c = 0; c < 3; c++) {
                        int sum = 0;
                        for (int dy = 0; dy < b; dy++)
                            for (int dx = 0; dx < b; dx++) sum += img.at(x * b + dx, y * b + dy, c);
                        small.px[((size_t)y * n + x) * 3 + c] = (unsigned char)(sum / (b * b));
                    }
            for (bool columns : {true, false}) {
                double interior = 0.0;
                for (int k = 0; k + 1 < n; k++) interior += lineDiff(small, k, k + 1, columns);
                interior /= n - 1;
                double seam = lineDiff(small, n - 1, 0, columns);
                EXPECT_LE(seam, interior * 1.6 + 0.3)
                    << name << (columns ? " left/right" : " top/bottom");
            }
        }
}

TEST(Materials, PlausibleAlbedoRoughnessAndOcclusion) {
    for (int m = 0; m < MATERIAL_COUNT; m++) {
        char name[32];
        snprintf(name, sizeof name, "t%d_alb.png", m);
        Image alb = loadAsset(name, 3);
        snprintf(name, sizeof name, "t%d_rma.png", m);
        Image rma = loadAsset(name, 3);
        ASSERT_FALSE(alb.px.empty() || rma.px.empty()) << m;
        int lo = 255, hi = 0;
        for (unsigned char v : alb.px) {
            lo = std::min(lo, (int)v);
            hi = std::max(hi, (int)v);
        }
        EXPECT_GE(lo, 8) << MATERIAL_NAMES[m] << " has near-black albedo";
        EXPECT_LE(hi, 248) << MATERIAL_NAMES[m] << " has pure white albedo";
        EXPECT_GE(hi - lo, 24) << MATERIAL_NAMES[m] << " is nearly flat";
        double rough = 0.0;
        int metal = 0, open_ao = 0, n = rma.w * rma.h;
        for (int k = 0; k < n; k++) {
            rough += rma.px[k * 3] / 255.0;
            metal = std::max(metal, (int)rma.px[k * 3 + 1]);
            open_ao += rma.px[k * 3 + 2] >= 200;
        }
        EXPECT_EQ(metal, 0) << MATERIAL_NAMES[m];
        EXPECT_GT(rough / n, 0.4) << MATERIAL_NAMES[m];
        EXPECT_GT(open_ao, n * 8 / 10) << MATERIAL_NAMES[m];
    }
}

TEST(Materials, NormalMapsAreUnitAndFaceOut) {
    for (int m = 0; m < MATERIAL_COUNT; m++) {
        char name[32];
        snprintf(name, sizeof name, "t%d_nrm.png", m);
        Image img = loadAsset(name, 3);
        ASSERT_FALSE(img.px.empty()) << name;
        double tilt = 0.0;
        for (size_t k = 0; k < img.px.size(); k += 3) {
            double x = img.px[k] / 127.5 - 1.0, y = img.px[k + 1] / 127.5 - 1.0;
            double z = img.px[k + 2] / 127.5 - 1.0;
            double len = sqrt(x * x + y * y + z * z);
            ASSERT_NEAR(len, 1.0, 0.03) << name << " texel " << k / 3;
            ASSERT_GT(z, 0.2) << name << " texel " << k / 3;
            tilt += 1.0 - z;
        }
        // Detail is there, but the surface stays mostly facing out.
        tilt /= img.px.size() / 3;
        EXPECT_GT(tilt, 0.002) << name;
        EXPECT_LT(tilt, 0.2) << name;
    }
}

TEST(Materials, NormalsLeanAwayFromRisingHeight) {
    // A bump in the middle of a periodic field: right of the crest the
    // surface faces +x, below it (rows grow down) it faces +v.
    const int n = 32;
    std::vector<float> h(n * n);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++)
            h[y * n + x] = (float)(cos((x - 16) * 2 * PI / n) + cos((y - 16) * 2 * PI / n));
    std::vector<unsigned char> rgb(n * n * 3);
    heightToNormal(h.data(), n, n, 4.0f, rgb.data());
    const unsigned char *right = &rgb[(16 * n + 20) * 3], *below = &rgb[(20 * n + 16) * 3];
    const unsigned char *left = &rgb[(16 * n + 12) * 3], *above = &rgb[(12 * n + 16) * 3];
    EXPECT_GT(right[0], 150);
    EXPECT_NEAR(right[1], 128, 1);
    EXPECT_LT(left[0], 105);
    EXPECT_GT(below[1], 150);
    EXPECT_LT(above[1], 105);
    // The field wraps, so the edge texels see their neighbours across it.
    const unsigned char *edge = &rgb[(16 * n + 0) * 3];
    EXPECT_NEAR(edge[0], 128, 1);
}

// ---- BRDF table, font, grid ----

TEST(BrdfLut, EnergyBoundedAndFresnelAtGrazing) {
    Image lut = loadAsset("brdf_lut.png", 3);
    ASSERT_EQ(lut.w, BRDF_SIDE);
    for (int y = 0; y < lut.h; y += 3)
        for (int x = 0; x < lut.w; x += 3) {
            ASSERT_LE(lut.at(x, y, 0) + lut.at(x, y, 1), 257) << x << "," << y;
            ASSERT_EQ(lut.at(x, y, 2), 0);
        }
    // Smooth surface head-on reflects F0 alone; at grazing angles the scale
    // drops and the Fresnel bias grows.
    EXPECT_GE(lut.at(511, 0, 0), 240);
    EXPECT_LE(lut.at(511, 0, 1), 8);
    EXPECT_LT(lut.at(8, 8, 0), lut.at(256, 8, 0));
    EXPECT_GT(lut.at(8, 8, 1), lut.at(256, 8, 1));
    // Rough surfaces lose energy to masking: less total head-on.
    EXPECT_LT(lut.at(511, 511, 0) + lut.at(511, 511, 1), lut.at(511, 0, 0) + lut.at(511, 0, 1));
}

TEST(Font, GlyphsStayInsideTheirCells) {
    Image font = loadAsset("font.png", 4);
    ASSERT_EQ(font.w, FONT_W);
    ASSERT_EQ(font.h, FONT_H);
    // Opaque texels: white glyph pixels or the black ring; nothing half-way.
    std::vector<int> owner(FONT_W * FONT_H, -1);
    for (int k = 0; k < 95; k++)
        for (int y = 0; y < FONT_CELL_H; y++)
            for (int x = 0; x < FONT_CELL_W; x++)
                owner[(FONT_CELL_H * (k / FONT_COLUMNS) + y) * FONT_W +
                      FONT_CELL_W * (k % FONT_COLUMNS) + x] = k;
    int white[95] = {}, border[95] = {};
    for (int y = 0; y < FONT_H; y++) {
        for (int x = 0; x < FONT_W; x++) {
            int a = font.at(x, y, 3), k = owner[y * FONT_W + x];
            ASSERT_TRUE(a == 0 || a == 255) << x << "," << y;
            if (a == 0) continue;
            ASSERT_GE(k, 0) << "opaque texel outside the glyph cells at " << x << "," << y;
            int cx = x % FONT_CELL_W, cy = y % FONT_CELL_H;
            if (font.at(x, y, 0) != 255) continue;
            white[k]++;
            // Glyph texels keep a one-texel margin for their dark ring.
            if (cx == 0 || cy == 0 || cx == FONT_CELL_W - 1 || cy == FONT_CELL_H - 1) border[k]++;
        }
    }
    EXPECT_EQ(white[0], 0) << "space must be blank";
    for (int k = 1; k < 95; k++) {
        EXPECT_GT(white[k], 2) << "glyph '" << (char)(k + 32) << "' is empty";
        EXPECT_EQ(border[k], 0) << "glyph '" << (char)(k + 32) << "' touches its cell edge";
    }
    // 'F': a full-height stem on the left and a top bar.
    int ox = FONT_CELL_W * (('F' - 32) % FONT_COLUMNS),
        oy = FONT_CELL_H * (('F' - 32) / FONT_COLUMNS);
    int stem = 0, bar = 0;
    for (int y = 0; y < FONT_CELL_H; y++)
        for (int x = 0; x < FONT_CELL_W; x++)
            if (font.at(ox + x, oy + y, 3) == 255 && font.at(ox + x, oy + y, 0) == 255) {
                stem += x < FONT_CELL_W / 2;
                bar += y < FONT_CELL_H / 2 && x >= FONT_CELL_W / 2;
            }
    EXPECT_GE(stem, 8);
    EXPECT_GE(bar, 2);
}

TEST(Grid, LinesStraddleEveryQuarter) {
    Image grid = loadAsset("t_grid.png", 4);
    ASSERT_EQ(grid.w, GRID_SIDE);
    for (int x : {510, 511, 0, 1, 126, 127, 128, 129, 254, 257, 382, 385})
        EXPECT_EQ(grid.at(x, 64, 3), 127) << "column " << x;
    for (int x : {2, 125, 130, 253, 258, 381, 386, 509})
        EXPECT_EQ(grid.at(x, 64, 3), 0) << "column " << x;
    EXPECT_EQ(grid.at(64, 0, 3), 127);
    EXPECT_EQ(grid.at(64, 255, 3), 127);
    EXPECT_EQ(grid.at(64, 64, 0), 0);
    EXPECT_EQ(grid.at(64, 128, 0), 255);
}
