// The shader programs, checked by drawing small controlled scenes and probing
// the pixels or moment-map texels they produce: distance fog, the variance
// shadow lookup, the terrain's tile mixing, the surface lighting's tangent
// frame and reciprocity, the moment blur, the HUD alpha cut, the shadow
// programs' moments, the models' cut-out in both passes and the quad wrap of
// texture coordinates.
#include <gtest/gtest.h>
#include <string.h>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "probe_scene.h"

// ------------------------------------------------------------ constants ----

static const Vec3 DEFAULT_LIGHT = {0.0f, -1.0f, -1.0f};
static const Vec3 TERRAIN_CENTRE = {16.0f, 0.0f, 16.0f};
static const int CX = 400, CY = 300;  // the pixel under the camera's axis
// A light strength at which a black surface's specular reflection lies in
// the middle of the pixel range, where 8 bits resolve it finely.
static const float REFLECTION_STRENGTH = 40.0f;

// ------------------------------------------------------------ functions ----

// Looks straight down at the terrain centre from height h, with the fog's far
// distance set apart from the projection's far plane.
static void cameraAbove(float h, float fardist) {
    graphicsCamera({16.0f, h, 16.0f}, lookDown(), PROBE_FOV, PROBE_NEAR, PROBE_FAR);
    bufferUniform1f(off_fardist, fardist);
}

// The centre pixel of the flat probe terrain seen from height h, with every
// receiver fully lit by a constant moment map.
static Rgb flatCentre(float h, float fardist) {
    fillMoments(tex_depth, 1.0f, 1.0f);
    cameraAbove(h, fardist);
    graphicsDrawClear(MODE_RUNNING);
    drawProbeTerrain(flatTerrain(0, 0));
    return readPixel(CX, CY);
}

static Rgb linearMix(Rgb a, Rgb b, double t) {
    return {linearToSrgb(srgbToLinear(a.r) * (1 - t) + srgbToLinear(b.r) * t),
            linearToSrgb(srgbToLinear(a.g) * (1 - t) + srgbToLinear(b.g) * t),
            linearToSrgb(srgbToLinear(a.b) * (1 - t) + srgbToLinear(b.b) * t)};
}

static void restoreLight(void) {
    graphicsLightDir(DEFAULT_LIGHT);
    graphicsLightCol(3.5f, 3.5f, 3.5f);
}

// The orientation of a camera that lies along the unit direction d from the
// point it looks at.
static Quat facingFrom(Vec3 d) {
    return quatAddRotation(quatRotate({0.0f, 1.0f, 0.0f}, atan2f(d.x, d.z)), {1.0f, 0.0f, 0.0f},
                           -asinf(d.y));
}

// Draws the flat probe terrain, fully lit, with our material arrays, seen
// from eye with orientation, under a light travelling along lightdir with
// strength; returns the linear green of the pixel showing world point p.
static double shadedAt(Vec3 eye, Quat orientation, Vec3 p, Vec3 lightdir, float strength,
                       GLuint albedo, GLuint rma, GLuint normal) {
    int px, py;
    worldToPixel(eye, orientation, p, &px, &py);
    EXPECT_TRUE(px >= 0 && px < view_wid && py >= 0 && py < view_hei) << px << "," << py;
    graphicsLightDir(lightdir);
    graphicsLightCol(strength, strength, strength);
    fillMoments(tex_depth, 1.0f, 1.0f);
    graphicsCamera(eye, orientation, PROBE_FOV, PROBE_NEAR, PROBE_FAR);
    bufferUniform1f(off_fardist, 60.0f);
    graphicsDrawClear(MODE_RUNNING);
    drawTerrainWith(flatTerrain(0, 0), vec3Zero(), albedo, rma, normal);
    return srgbToLinear(readPixel(px, py).g);
}

// Puts the assets' arrays back on the terrain program's units before ours
// are deleted, so the bind cache never holds a deleted name.
static void deleteProbeArrays(std::initializer_list<GLuint> arrays) {
    useTexture(TER_UNIT_ALBEDO, GL_TEXTURE_2D_ARRAY, tex_albedo);
    useTexture(TER_UNIT_RMA, GL_TEXTURE_2D_ARRAY, tex_rma);
    useTexture(TER_UNIT_NORMAL, GL_TEXTURE_2D_ARRAY, tex_normal);
    useTexture(EDIT_UNIT, GL_TEXTURE_2D_ARRAY, 0);
    for (GLuint a : arrays) glDeleteTextures(1, &a);
}

// ---------------------------------------------------------------- tests ----

// The camera is 4 units above the plane, so the centre fragment lies at
// distance 4: fardist 20 puts it at the start of the fade, 12 half way and 4
// at the end.
TEST(ShaderFog, FadesOverTheLastSixteenUnitsAndDiscardsBeyond) {
    ASSERT_TRUE(graphicsReady());
    restoreLight();
    const Rgb sky = {135, 207, 255};

    Rgb clear = flatCentre(4.0f, 60.0f);
    EXPECT_FALSE(sameRgb(clear, sky, 20)) << "the probe surface must differ from the fog";
    EXPECT_TRUE(sameRgb(flatCentre(4.0f, 20.0f), clear, 1)) << "no fog 16 units before fardist";
    Rgb half = flatCentre(4.0f, 12.0f);
    EXPECT_TRUE(sameRgb(half, linearMix(clear, sky, 0.5), 2))
        << "8 units before fardist: got " << ::testing::PrintToString(half);
    EXPECT_TRUE(sameRgb(flatCentre(4.0f, 4.0f), sky, 1)) << "at fardist";
    EXPECT_TRUE(sameRgb(flatCentre(4.0f, 3.0f), sky, 1)) << "beyond fardist";

    // A fogged-out fragment is discarded rather than painted in the fog
    // colour: it leaves no depth, so a plane 4 units further down, drawn
    // afterwards without fog, shows through.
    flatCentre(4.0f, 3.0f);
    bufferUniform1f(off_fardist, 60.0f);
    drawProbeTerrain(flatTerrain(0, 0), {0.0f, -4.0f, 0.0f});
    EXPECT_FALSE(sameRgb(readPixel(CX, CY), sky, 20)) << "the fogged-out plane hid the lower one";
    // ...whereas a visible fragment does hide it.
    flatCentre(4.0f, 12.0f);
    bufferUniform1f(off_fardist, 60.0f);
    drawProbeTerrain(flatTerrain(0, 0), {0.0f, -4.0f, 0.0f});
    EXPECT_TRUE(sameRgb(readPixel(CX, CY), half, 0));
}

// A constant moment map (m1, m2) stands for an occluder at depth m1 with
// variance m2 - m1^2; the receiver is the plane under the camera at depth r.
TEST(ShaderShadow, VarianceLookupLightsFrontAndShadowsBehind) {
    ASSERT_TRUE(graphicsReady());
    restoreLight();
    const float r = lightDepth(DEFAULT_LIGHT, TERRAIN_CENTRE);
    auto shade = [&](float m1, float m2) {
        cameraAbove(4.0f, 60.0f);
        graphicsDrawClear(MODE_RUNNING);
        fillMoments(tex_depth, m1, m2);
        drawProbeTerrain(flatTerrain(0, 0));
        return readPixel(CX, CY);
    };
    Rgb lit = shade(r + 0.002f, (r + 0.002f) * (r + 0.002f));
    Rgb dark = shade(r - 0.01f, (r - 0.01f) * (r - 0.01f));
    EXPECT_GT(srgbToLinear(lit.g), 3.0 * srgbToLinear(dark.g))
        << "lit " << ::testing::PrintToString(lit) << " dark " << ::testing::PrintToString(dark);
    // Zero variance is raised to 1/32768, giving Chebyshev's bound 0.234 for
    // a receiver 0.01 behind; a bound below one half is full shadow.
    EXPECT_TRUE(sameRgb(dark, shade(r - 0.2f, (r - 0.2f) * (r - 0.2f)), 0));
    // With variance 3 d^2 the bound is 0.75, which maps to half the light.
    float d = 0.02f, m1 = r - d;
    EXPECT_TRUE(sameRgb(shade(m1, m1 * m1 + 3 * d * d), linearMix(lit, dark, 0.5), 2));
    // A bound just below one half (0.44) is still full shadow.
    Rgb edge = shade(m1, m1 * m1 + 0.8f * d * d);
    EXPECT_TRUE(sameRgb(edge, dark, 1)) << ::testing::PrintToString(edge);
    // The bound only applies behind the occluder: with the same large
    // variance a receiver in front stays fully lit.
    EXPECT_TRUE(sameRgb(shade(r + 0.02f, (r + 0.02f) * (r + 0.02f) + 0.01f), lit, 0));
}

// The material arrays are replaced by ones whose mip levels are constant
// colours. Seen from height 8 the tiled sample (tpos) reads level 3 and the
// quarter-frequency one (tpos / 4, four times smaller footprint) reads level
// 1, so with level 3 white and level 1 black the albedo is 1 - w for the mix
// weight w. Two calibration renders (all white, all black) turn the pixel
// back into w, since the shading is affine in the albedo.
TEST(ShaderTerrain, QuarterFrequencyWeightIsZeroOnLayersZeroAndFour) {
    ASSERT_TRUE(graphicsReady());
    graphicsLightDir(DEFAULT_LIGHT);
    graphicsLightCol(2.0f, 2.0f, 2.0f);  // keeps white albedo below saturation
    const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0}, grey[3] = {128, 128, 128};
    GLuint all_white = levelArray(512, [&](int) { return white; });
    GLuint all_black = levelArray(512, [&](int) { return black; });
    GLuint coded = levelArray(512, [&](int k) { return k >= 3 ? white : k <= 1 ? black : grey; });
    ProbeMaterials m = probeMaterials();
    auto renderModel = [&](GLuint albedo, const TModel *model) {
        fillMoments(tex_depth, 1.0f, 1.0f);
        cameraAbove(8.0f, 60.0f);
        graphicsDrawClear(MODE_RUNNING);
        drawTerrainWith(model, vec3Zero(), albedo, m.rma, m.normal);
        return srgbToLinear(readPixel(CX, CY).g);
    };
    auto render = [&](GLuint albedo, uint8_t layer) {
        return renderModel(albedo, flatTerrain(0, layer));
    };
    double c1 = render(all_white, 0), c0 = render(all_black, 0);
    ASSERT_GT(c1 - c0, 0.2);
    for (int layer = 0; layer < 8; layer++) {
        double w = 1.0 - (render(coded, (uint8_t)layer) - c0) / (c1 - c0);
        double expected = layer % 4 == 0 ? 0.0 : 0.25;
        EXPECT_NEAR(w, expected, 0.03) << "layer " << layer;
    }

    // A splat value a little below layer 4, as a driver's unorm conversion
    // may give, is layer 4 for the weight as it is for the array lookup.
    const float below_four = (4.0f - 1e-4f) / 255.0f;
    GLuint splat;
    glGenTextures(1, &splat);
    useTextureForEdit(EDIT_UNIT, GL_TEXTURE_2D, splat);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, 1, 1, 0, GL_RED, GL_FLOAT, &below_four);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    TModel near_four = *flatTerrain(0, 4);
    near_four.splat_tex = splat;
    double w = 1.0 - (renderModel(coded, &near_four) - c0) / (c1 - c0);
    EXPECT_NEAR(w, 0.0, 0.03) << "a splat value just below layer 4";
    useTexture(0, GL_TEXTURE_2D, 0);
    useTexture(EDIT_UNIT, GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &splat);
    // Put the assets' arrays back before ours go, so the bind cache never
    // holds a deleted name.
    useTexture(2, GL_TEXTURE_2D_ARRAY, tex_albedo);
    useTexture(EDIT_UNIT, GL_TEXTURE_2D_ARRAY, 0);
    GLuint arrays[3] = {all_white, all_black, coded};
    glDeleteTextures(3, arrays);
    restoreLight();
}

// A 2 x 1 grid of our own in place of the asset's: transparent black on the
// left half of each 2-unit tile, red at alpha 64/255 on the right half. Seen
// from above, the ground at x = 16.5 reads the first texel and at x = 17.5
// the second.
TEST(ShaderTerrain, GridLeavesClearTexelsAloneAndMixesLinesByTheirAlpha) {
    ASSERT_TRUE(graphicsReady());
    restoreLight();
    const uint8_t texels[8] = {0, 0, 0, 0, 255, 0, 0, 64};
    GLuint grid;
    glGenTextures(1, &grid);
    useTextureForEdit(EDIT_UNIT, GL_TEXTURE_2D, grid);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SRGB8_ALPHA8, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    const Vec3 eye = {16.0f, 4.0f, 16.0f};
    int clear_x, clear_y, line_x, line_y;
    worldToPixel(eye, lookDown(), {16.5f, 0.0f, 16.25f}, &clear_x, &clear_y);
    worldToPixel(eye, lookDown(), {17.5f, 0.0f, 16.25f}, &line_x, &line_y);

    const GLuint saved = tex_grid;
    tex_grid = grid;
    auto render = [&](int show) {
        graphicsTerrainGrid(show);
        flatCentre(4.0f, 60.0f);
        return std::make_pair(readPixel(clear_x, clear_y), readPixel(line_x, line_y));
    };
    auto off = render(0), on = render(1);
    tex_grid = saved;
    graphicsTerrainGrid(0);
    useTexture(1, GL_TEXTURE_2D, 0);
    useTexture(EDIT_UNIT, GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &grid);

    EXPECT_TRUE(sameRgb(on.first, off.first, 0))
        << "between lines: " << ::testing::PrintToString(on.first) << " for "
        << ::testing::PrintToString(off.first);
    Rgb expected = linearMix(off.second, {255, 0, 0}, 64.0 / 255.0);
    EXPECT_TRUE(sameRgb(on.second, expected, 2))
        << "on a line: " << ::testing::PrintToString(on.second) << " for "
        << ::testing::PrintToString(expected);
}

// A normal-map texel tilted 45 degrees toward the tangent faces a light
// that comes from the tangent's side, and turns away from one that comes
// from the bitangent's side at the same height. The frame is the flat
// terrain's own, as its mesh builds it.
TEST(ShaderLighting, NormalTiltedTowardTheTangentFacesALightFromThatSide) {
    ASSERT_TRUE(graphicsReady());
    const std::vector<uint8_t> heights(TMODEL_HEIGHT_SIDE * TMODEL_HEIGHT_SIDE, 0);
    std::vector<TVertex> vertices(TMODEL_VERTICES);
    std::vector<uint32_t> indices(TMODEL_INDICES);
    tmodelBuildMesh(heights.data(), 0, vertices.data(), indices.data());
    const TVertex &v = vertices[33 * TMODEL_HEIGHT_SIDE + 33];
    const Vec3 t = a3v3(v.tangent), b = a3v3(v.bitangent), n = a3v3(v.normal);

    const GLuint tilted = solidArray(218, 128, 218);  // (1, 0, 1) / sqrt 2, stored
    const ProbeMaterials m = probeMaterials();
    const Vec3 eye = {16.0f, 4.0f, 16.0f};
    auto lit = [&](Vec3 side) {
        Vec3 towards_light = vec3Add(n, side);
        return shadedAt(eye, lookDown(), TERRAIN_CENTRE, vec3Multiply(towards_light, -1.0f), 3.5f,
                        m.albedo, m.rma, tilted);
    };
    double from_tangent = lit(t), from_bitangent = lit(b);
    deleteProbeArrays({tilted});
    restoreLight();
    EXPECT_GT(from_tangent, 1.5 * from_bitangent) << "lit from the tangent's side " << from_tangent
                                                  << ", from the bitangent's " << from_bitangent;
}

// Exchanging the light and the camera leaves what the surface reflects the
// same, once each light's strength is divided by the cosine at which it
// falls: reflection is reciprocal. A black, non-metallic surface reflects
// only specularly; one direction is steep and the other grazing, on opposite
// sides of the normal. The ambient light, which follows the view alone, is
// measured with the light off and taken away.
TEST(ShaderLighting, ReflectionIsReciprocalInLightAndView) {
    ASSERT_TRUE(graphicsReady());
    const GLuint black = solidArray(0, 0, 0), half_rough = solidArray(128, 0, 255);
    const ProbeMaterials m = probeMaterials();
    const float steep = 0.25f, grazing = 1.15f;  // radians from the normal
    const Vec3 a = {0.0f, cosf(steep), -sinf(steep)}, b = {0.0f, cosf(grazing), sinf(grazing)};
    // The reflected light seen from direction view under a light from
    // direction light (both unit, away from the surface).
    auto reflected = [&](Vec3 light, Vec3 view) {
        Vec3 eye = vec3Add(TERRAIN_CENTRE, vec3Multiply(view, 4.0f));
        Vec3 travel = vec3Multiply(light, -1.0f);
        auto shade = [&](float strength) {
            return shadedAt(eye, facingFrom(view), TERRAIN_CENTRE, travel, strength, black,
                            half_rough, m.normal);
        };
        return shade(REFLECTION_STRENGTH / light.y) - shade(0.0f);  // y: cosine to the ground
    };
    double there = reflected(a, b), back = reflected(b, a);
    deleteProbeArrays({black, half_rough});
    restoreLight();
    ASSERT_GT(there, 0.05) << "too little reflected to compare";
    EXPECT_NEAR(back / there, 1.0, 0.04) << "light steep " << there << ", light grazing " << back;
}

// Texel weights of the separable kernel, centre outwards.
static const double KERNEL[3] = {0.25137912, 0.22184130, 0.15246914};

TEST(ShaderBlur, KeepsConstantMapsAndSpreadsATexelOverTheKernel) {
    ASSERT_TRUE(graphicsReady());
    fillMoments(tex_depth, 0.3f, 0.2f);
    graphicsShadowPost();
    const int probes[5][2] = {{0, 0}, {1023, 1023}, {0, 1023}, {512, 512}, {700, 3}};
    for (const auto &p : probes) {
        float m1, m2;
        readMoments(tex_depth, p[0], p[1], &m1, &m2);
        EXPECT_NEAR(m1, 0.3f, 1e-5) << p[0] << "," << p[1];
        EXPECT_NEAR(m2, 0.2f, 1e-5) << p[0] << "," << p[1];
    }

    fillMoments(tex_depth, 0.0f, 0.0f);
    setMomentTexel(tex_depth, 600, 400, 1.0f, 0.5f);
    graphicsShadowPost();
    std::vector<Moments> out = readMomentRect(tex_depth, 597, 397, 7, 7);
    double total = 0.0;
    for (int j = -3; j <= 3; j++) {
        for (int i = -3; i <= 3; i++) {
            double wi = abs(i) <= 2 ? KERNEL[abs(i)] : 0.0, wj = abs(j) <= 2 ? KERNEL[abs(j)] : 0.0;
            const Moments &t = out[(size_t)(j + 3) * 7 + (i + 3)];
            EXPECT_NEAR(t.m1, wi * wj, 1e-5) << "offset " << i << "," << j;
            EXPECT_NEAR(t.m2, 0.5 * wi * wj, 1e-5) << "offset " << i << "," << j;
            total += t.m1;
        }
    }
    EXPECT_NEAR(total, 1.0, 1e-4) << "the kernel is normalised";

    // Taps beyond an edge read the edge itself, in both passes: a texel on
    // the first row and column leaves the last ones untouched.
    fillMoments(tex_depth, 0.0f, 0.0f);
    setMomentTexel(tex_depth, 0, 0, 1.0f, 1.0f);
    graphicsShadowPost();
    float m1, m2;
    readMoments(tex_depth, 1023, 0, &m1, &m2);
    EXPECT_EQ(m1, 0.0f) << "the horizontal pass wrapped round";
    readMoments(tex_depth, 0, 1023, &m1, &m2);
    EXPECT_EQ(m1, 0.0f) << "the vertical pass wrapped round";
    // The corner texel weighs in for itself and the two taps beyond it.
    const double edge = KERNEL[0] + KERNEL[1] + KERNEL[2];
    readMoments(tex_depth, 0, 0, &m1, &m2);
    EXPECT_NEAR(m1, edge * edge, 1e-5);
}

// A 2 x 1 texture drawn on the logo quad: the left texel has alpha 127/255,
// the right 128/255, over the sky-coloured clear.
TEST(ShaderHud, AlphaBelowOneHalfIsCutAndTheRestIsOpaque) {
    ASSERT_TRUE(graphicsReady());
    const uint8_t texels[8] = {200, 50, 30, 127, 30, 220, 90, 128};
    GLuint texture;
    glGenTextures(1, &texture);
    useTextureForEdit(0, GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SRGB8_ALPHA8, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    graphicsDrawClear(MODE_RUNNING);
    Mat4 m;
    mat4SetTranslation(&m, {400.0f, 300.0f, 0.0f});
    useFramebuffer(0);
    useViewport(0, 0, view_wid, view_hei);
    useVao(vao_hud);
    useShader(shader_hud);
    useTexture(0, GL_TEXTURE_2D, texture);
    glUniformMatrix4fv(uni_hud_model, 1, GL_FALSE, &m.m[0][0]);
    glDrawArrays(GL_TRIANGLE_STRIP, HUD_LOGO_FIRST, 4);

    EXPECT_TRUE(sameRgb(readPixel(340, 300), {135, 207, 255}, 0)) << "alpha 127 must be cut";
    Rgb drawn = readPixel(460, 300);
    EXPECT_TRUE(sameRgb(drawn, {30, 220, 90}, 1))
        << "alpha 128 drawn as is, got " << ::testing::PrintToString(drawn);
    useTexture(0, GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
}

// With a light travelling (almost) straight down, the plane 5 units above the
// terrain centre has one light-space depth everywhere.
TEST(ShaderShadowPrograms, WriteDepthAndItsSquareAndHonourTheCutOut) {
    ASSERT_TRUE(graphicsReady());
    const Vec3 down = {0.0f, -1.0f, -0.002f};
    graphicsLightDir(down);
    glClearColor(0.9f, 0.2f, 0.0f, 1.0f);
    graphicsShadowClear();
    graphicsShadowTModel(flatTerrain(40, 0), vec3Zero());  // height 40 / 8 = 5
    const Vec3 p = {16.0f, 5.0f, 16.0f};
    float expected = lightDepth(down, p);
    EXPECT_NEAR(expected, 0.5f - 5.0f / 48.0f, 1e-3) << "the box is 48 units deep";
    int tx, ty;
    lightTexel(down, p, &tx, &ty);
    float m1, m2;
    readMoments(tex_depth, tx, ty, &m1, &m2);
    EXPECT_NEAR(m1, expected, 2e-5);
    EXPECT_NEAR(m2, expected * expected, 2e-5);
    // Outside the terrain's footprint the clear colour in force remains.
    readMoments(tex_depth, 20, 20, &m1, &m2);
    EXPECT_FLOAT_EQ(m1, 0.9f);
    EXPECT_FLOAT_EQ(m2, 0.2f);

    // The mesh-model programs with a 1 x 1 albedo of alpha 127 or 128/255 in
    // place of the model's own: the first casts nothing at all, and the main
    // pass, seen from above, shows nothing of it either.
    const Rgb sky = {135, 207, 255};
    auto covered = [&](uint8_t alpha, int *shown) {
        const uint8_t texel[4] = {255, 255, 255, alpha};
        GLuint texture;
        glGenTextures(1, &texture);
        useTextureForEdit(EDIT_UNIT, GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        MModel model = *MODEL_PALM;
        model.alb_tex = texture;
        glClearColor(0.9f, 0.2f, 0.0f, 1.0f);  // the main pass below sets the sky
        graphicsShadowClear();
        graphicsShadowMModel(&model, TERRAIN_CENTRE, 8.0f, 0.0f);
        std::vector<Moments> map =
            readMomentRect(tex_depth, 0, 0, SHADOW_MAP_SIZE, SHADOW_MAP_SIZE);
        int written = 0, squared = 0;
        for (const Moments &t : map) {
            if (t.m1 == 0.9f && t.m2 == 0.2f) continue;
            written++;
            squared += fabsf(t.m2 - t.m1 * t.m1) < 1e-6f;
        }

        cameraAbove(20.0f, PROBE_FAR);
        graphicsDrawClear(MODE_RUNNING);
        graphicsDrawMModel(&model, TERRAIN_CENTRE, 8.0f, 0.0f);
        std::vector<uint8_t> window((size_t)view_wid * view_hei * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, view_wid, view_hei, GL_RGB, GL_UNSIGNED_BYTE, window.data());
        *shown = 0;
        for (size_t i = 0; i < window.size(); i += 3)
            *shown += !sameRgb({window[i], window[i + 1], window[i + 2]}, sky, 0);

        useTexture(0, GL_TEXTURE_2D, 0);
        useTexture(EDIT_UNIT, GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &texture);
        EXPECT_EQ(squared, written) << "alpha " << (int)alpha;
        return written;
    };
    int shown;
    EXPECT_EQ(covered(127, &shown), 0);
    EXPECT_EQ(shown, 0) << "pixels of a cut-out model in the main pass";
    EXPECT_GT(covered(128, &shown), 100);
    EXPECT_GT(shown, 100) << "pixels of an opaque model in the main pass";
    restoreLight();
}

// ------------------------------------------------------------ quad wrap ----

static std::string readSource(const char *name) {
    std::ifstream file(std::string(KNOLL_SOURCE_DIR) + "/shaders/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

static GLuint compileProbeStage(GLenum type, const std::string &source) {
    GLuint shader = glCreateShader(type);
    const char *text = source.c_str();
    glShaderSource(shader, 1, &text, NULL);
    glCompileShader(shader);
    EXPECT_EQ(checkShaderErrors(shader), 0) << source;
    return shader;
}

// Draws wrapInQuad over a width x height float target, each pixel given its
// own coordinate: small, middling and huge differences within a quad side by
// side. Returns per pixel the coordinate (rg) and its wrapped value (ba).
// upper_left moves gl_FragCoord's origin to the top, which turns its rows
// round and, with an even height, starts them off the quads' rows.
static std::vector<float> wrapProbe(int width, int height, bool upper_left) {
    std::string frag = "#version 330\n";
    if (upper_left) frag += "layout(origin_upper_left) in vec4 gl_FragCoord;\n";
    frag += readSource("quad_wrap.glsl");
    frag += R"(
out vec4 f_color;
void main() {
    vec2 p = floor(gl_FragCoord.xy);
    float k = mod(p.x * 7.0 + p.y * 3.0, 11.0);
    float band = mod(floor(p.x / 4.0) + floor(p.y / 4.0), 3.0);
    float amp = band == 0.0 ? 0.05 : (band == 1.0 ? 0.6 : 517.29);
    vec2 c = vec2(k * amp + 0.37 * p.y + 0.013 * p.x, 0.011 * p.y - 1.7 * k * amp);
    f_color = vec4(c, wrapInQuad(c));
}
)";
    const std::string vert =
        "#version 330\nlayout(location = 0) in vec2 position;\n"
        "void main() { gl_Position = vec4(position, 0.0, 1.0); }\n";
    GLuint program = glCreateProgram();
    GLuint vs = compileProbeStage(GL_VERTEX_SHADER, vert);
    GLuint fs = compileProbeStage(GL_FRAGMENT_SHADER, frag);
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);

    GLuint texture, fbo;
    glGenTextures(1, &texture);
    useTextureForEdit(EDIT_UNIT, GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, GL_FLOAT, NULL);
    glGenFramebuffers(1, &fbo);
    useFramebuffer(fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    useViewport(0, 0, width, height);
    useVao(vao_gauss);
    useShader(program);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    std::vector<float> out((size_t)width * height * 4);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, out.data());

    useFramebuffer(0);
    useShader(0);
    useTexture(EDIT_UNIT, GL_TEXTURE_2D, 0);
    glDeleteFramebuffers(1, &fbo);
    glDeleteTextures(1, &texture);
    glDeleteProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    return out;
}

// Within every 2 x 2 quad the wrapped coordinates differ by whole periods
// from the originals (so a repeating texture reads the same texels, with
// weights as exact as floats allow), lie within four periods of each other (the footprint the
// sampler sees), and still span over a period where they were wrapped;
// quads within two periods keep their coordinates bit for bit.
TEST(ShaderQuadWrap, KeepsEachQuadWithinAFewPeriodsOfWholePeriodShifts) {
    ASSERT_TRUE(graphicsReady());
    const int W = 64;
    const struct {
        int height;
        bool upper_left;
    } variants[3] = {{64, false}, {64, true}, {63, true}};
    for (const auto &v : variants) {
        const int H = v.height;
        SCOPED_TRACE(std::string(v.upper_left ? "origin upper left" : "origin lower left") +
                     ", height " + std::to_string(H));
        std::vector<float> px = wrapProbe(W, H, v.upper_left);
        int kept = 0, wrapped = 0, huge = 0;
        for (int y = 0; y + 1 < H; y += 2) {
            for (int x = 0; x < W; x += 2) {
                const float *q[4] = {&px[((size_t)y * W + x) * 4], &px[((size_t)y * W + x + 1) * 4],
                                     &px[((size_t)(y + 1) * W + x) * 4],
                                     &px[((size_t)(y + 1) * W + x + 1) * 4]};
                for (int axis = 0; axis < 2; axis++) {
                    double spread = 0.0, wrapped_spread = 0.0;
                    for (int i = 0; i < 4; i++) {
                        // Whole periods, up to the rounding of the one subtraction.
                        float c = q[i][axis], w = q[i][2 + axis];
                        double shift = (double)w - (double)c;
                        float larger = fmaxf(fabsf(c), fabsf(w));
                        EXPECT_LE(fabs(shift - round(shift)),
                                  0.5 * (nextafterf(larger, INFINITY) - larger))
                            << "pixel " << x << "," << y;
                        for (int j = 0; j < 4; j++) {
                            spread = fmax(spread, fabs((double)q[i][axis] - q[j][axis]));
                            wrapped_spread =
                                fmax(wrapped_spread, fabs((double)q[i][2 + axis] - q[j][2 + axis]));
                        }
                    }
                    EXPECT_LE(wrapped_spread, 4.0) << "quad " << x << "," << y;
                    if (spread < 2.0) {
                        kept++;
                        for (int i = 0; i < 4; i++)
                            EXPECT_EQ(memcmp(&q[i][axis], &q[i][2 + axis], sizeof(float)), 0)
                                << "quad " << x << "," << y << " was within two periods";
                    } else {
                        wrapped++;
                        huge += spread > 1000.0;
                        EXPECT_GE(wrapped_spread, 1.0) << "quad " << x << "," << y;
                    }
                }
            }
        }
        EXPECT_GT(kept, 100);
        EXPECT_GT(wrapped, 100);
        EXPECT_GT(huge, 50);
    }
}
