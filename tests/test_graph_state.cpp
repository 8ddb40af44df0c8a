// The bind cache, error reporting, the uniform-block writers, viewport and
// camera, light and fog. GL results are read back from GL itself.
#include <string.h>

#include <functional>
#include <random>
#include <algorithm>
#include <string>
#include <vector>

#include "gl_fixture.h"

namespace {

GLint glInt(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

std::vector<float> uniformBufferFloats(GLint offset, int count) {
    std::vector<float> out((size_t)count);
    glGetBufferSubData(GL_UNIFORM_BUFFER, offset, count * 4, out.data());
    return out;
}

GLuint compile(GLenum type, const char *text) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &text, NULL);
    glCompileShader(shader);
    return shader;
}

GLuint linkTinyProgram(void) {
    GLuint program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER,
                                    "#version 330\nvoid main() { gl_Position = vec4(0.0); }\n"));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER,
                                    "#version 330\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n"));
    glLinkProgram(program);
    return program;
}

int countLines(const std::string &text, const std::string &prefix) {
    int n = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.compare(at, prefix.size(), prefix) == 0) n++;
        at = end + 1;
    }
    return n;
}

// A stand-in for glGetError that hands out a fixed sequence, for the cases
// Mesa cannot produce: it keeps a single error flag, so at most one error is
// ever pending there.
std::vector<GLenum> fake_errors;
GLenum fakeGetError(void) {
    if (fake_errors.empty()) return GL_NO_ERROR;
    GLenum code = fake_errors.front();
    fake_errors.erase(fake_errors.begin());
    return code;
}

Vec4 transform(const float *m, float x, float y, float z) {
    Vec4 r;
    r.x = m[0] * x + m[4] * y + m[8] * z + m[12];
    r.y = m[1] * x + m[5] * y + m[9] * z + m[13];
    r.z = m[2] * x + m[6] * y + m[10] * z + m[14];
    r.w = m[3] * x + m[7] * y + m[11] * z + m[15];
    return r;
}

}  // namespace

// ----------------------------------------------------------- bind cache ----

// Runs before graphicsInit so every cache still holds its starting value.
TEST(StateCache, BindsReachGlOnlyOnChange) {
    ASSERT_TRUE(glWindowOpen());

    struct Kind {
        const char *name;
        GLenum query;
        std::function<void(GLuint)> use, raw;
        GLuint a, b;
    };
    GLuint fbo[2], vao[2], tex[2];
    glGenFramebuffers(2, fbo);
    glGenVertexArrays(2, vao);
    glGenTextures(2, tex);
    const Kind kinds[4] = {
        {"framebuffer", GL_FRAMEBUFFER_BINDING, useFramebuffer,
         [](GLuint f) { glBindFramebuffer(GL_FRAMEBUFFER, f); }, fbo[0], fbo[1]},
        {"vertex array", GL_VERTEX_ARRAY_BINDING, useVao, glBindVertexArray, vao[0], vao[1]},
        {"program", GL_CURRENT_PROGRAM, useShader, glUseProgram, linkTinyProgram(),
         linkTinyProgram()},
        {"texture", GL_TEXTURE_BINDING_2D, [](GLuint t) { useTexture(0, GL_TEXTURE_2D, t); },
         [](GLuint t) { glBindTexture(GL_TEXTURE_2D, t); }, tex[0], tex[1]},
    };
    for (const Kind &k : kinds) {
        SCOPED_TRACE(k.name);
        // The cache starts at zero, so binding zero is skipped.
        k.raw(k.a);
        k.use(0);
        EXPECT_EQ(glInt(k.query), (GLint)k.a);
        k.use(k.b);
        EXPECT_EQ(glInt(k.query), (GLint)k.b);
        k.raw(k.a);
        k.use(k.b);
        EXPECT_EQ(glInt(k.query), (GLint)k.a) << "a repeated bind reached GL";
        k.use(0);
        EXPECT_EQ(glInt(k.query), 0);
    }

    GLint vp[4];
    glViewport(1, 2, 3, 4);
    useViewport(0, 0, 0, 0);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 3) << "the viewport cache does not start at (0,0,0,0)";
    useViewport(0, 0, 800, 600);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(std::vector<GLint>(vp, vp + 4), (std::vector<GLint>{0, 0, 800, 600}));
    glViewport(1, 2, 3, 4);
    useViewport(0, 0, 800, 600);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 3) << "a repeated viewport reached GL";
    useViewport(0, 0, 800, 599);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[3], 599);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(StateCache, TextureUnitsAndEdits) {
    ASSERT_TRUE(glWindowOpen());
    GLuint t[3];
    glGenTextures(3, t);

    // The cache keys on unit and name only: the same name on unit 2 under
    // another target is no new bind. Were it passed on, GL would also refuse
    // it (the name already has the 2D-array target).
    useTexture(2, GL_TEXTURE_2D_ARRAY, t[0]);
    EXPECT_EQ(glInt(GL_ACTIVE_TEXTURE), GL_TEXTURE2);
    EXPECT_EQ(glInt(GL_TEXTURE_BINDING_2D_ARRAY), (GLint)t[0]);
    glActiveTexture(GL_TEXTURE7);
    useTexture(2, GL_TEXTURE_2D, t[0]);
    EXPECT_EQ(glInt(GL_ACTIVE_TEXTURE), GL_TEXTURE7);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glActiveTexture(GL_TEXTURE2);  // back where the cache believes it is

    useTexture(0, GL_TEXTURE_2D, t[1]);
    useTexture(5, GL_TEXTURE_2D, t[2]);
    EXPECT_EQ(glInt(GL_ACTIVE_TEXTURE), GL_TEXTURE5);
    useTexture(0, GL_TEXTURE_2D, t[1]);
    EXPECT_EQ(glInt(GL_ACTIVE_TEXTURE), GL_TEXTURE5);

    // An edit of the cached texture on unit 0 must make unit 0 active again,
    // without binding what the unit holds (t[2] stands in for it here).
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, t[2]);
    glActiveTexture(GL_TEXTURE5);
    useTextureForEdit(0, GL_TEXTURE_2D, t[1]);
    EXPECT_EQ(glInt(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_EQ(glInt(GL_TEXTURE_BINDING_2D), (GLint)t[2]) << "a bind of the name the unit holds";
    glBindTexture(GL_TEXTURE_2D, t[1]);  // back where the cache believes it is
    useTextureForEdit(0, GL_TEXTURE_2D, t[1]);
    EXPECT_EQ(glInt(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_EQ(glInt(GL_TEXTURE_BINDING_2D), (GLint)t[1]);
    useTextureForEdit(5, GL_TEXTURE_2D, t[1]);
    EXPECT_EQ(glInt(GL_ACTIVE_TEXTURE), GL_TEXTURE5);
    EXPECT_EQ(glInt(GL_TEXTURE_BINDING_2D), (GLint)t[1]);
    // The edit bind was recorded: a plain use of the same texture is skipped.
    glBindTexture(GL_TEXTURE_2D, t[2]);
    useTexture(5, GL_TEXTURE_2D, t[1]);
    EXPECT_EQ(glInt(GL_TEXTURE_BINDING_2D), (GLint)t[2]);
}

// ------------------------------------------------------ error reporting ----

TEST(StateErrors, CheckErrorsDrainsOneLineEach) {
    ASSERT_TRUE(glWindowOpen());
    while (glGetError() != GL_NO_ERROR) {
    }
    StderrCapture cap;
    captureBegin(&cap);
    glEnable(0xFFFF);
    int first = graphicsCheckErrors("probe");
    int second = graphicsCheckErrors("again");
    std::string out = captureEnd(&cap);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(out, "OpenGL Error: INVALID_ENUM at probe\n");

    // Several pending errors, including one without a name, come out in
    // order, one line each.
    PFNGLGETERRORPROC real = epoxy_glGetError;
    epoxy_glGetError = fakeGetError;
    fake_errors = {GL_INVALID_ENUM, GL_OUT_OF_MEMORY, 1287, GL_INVALID_ENUM};
    captureBegin(&cap);
    first = graphicsCheckErrors("draw");
    second = graphicsCheckErrors("draw");
    out = captureEnd(&cap);
    epoxy_glGetError = real;
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(out,
              "OpenGL Error: INVALID_ENUM at draw\n"
              "OpenGL Error: OUT_OF_MEMORY at draw\n"
              "OpenGL Error: 1287 at draw\n"
              "OpenGL Error: INVALID_ENUM at draw\n");
}

TEST(StateErrors, ErrorNames) {
    const char *names[7] = {"INVALID_ENUM",
                            "INVALID_VALUE",
                            "INVALID_OPERATION",
                            "STACK_OVERFLOW",
                            "STACK_UNDERFLOW",
                            "OUT_OF_MEMORY",
                            "INVALID_FRAMEBUFFER_OPERATION"};
    for (GLenum code = 0x0500; code <= 0x0506; code++)
        EXPECT_STREQ(getStringFromGlError(code), names[code - 0x0500]);
    EXPECT_STREQ(getStringFromGlError(1287), "1287");
    EXPECT_STREQ(getStringFromGlError(0), "0");
    EXPECT_STREQ(getStringFromGlError(0xFFFFFFFFu), "-1");
    EXPECT_STREQ(getStringFromGlError(0x80000000u), "-2147483648");
}

TEST(StateErrors, ShaderLog) {
    ASSERT_TRUE(glWindowOpen());
    StderrCapture cap;

    // Enough faults for the compiler log to outgrow the 255 characters kept.
    std::string broken = "#version 330\nvoid main() {\n";
    for (int k = 0; k < 40; k++) broken += "  undeclared_" + std::to_string(k) + " = 1.0;\n";
    broken += "}\n";
    GLuint bad = compile(GL_FRAGMENT_SHADER, broken.c_str());
    captureBegin(&cap);
    int result = checkShaderErrors(bad);
    std::string out = captureEnd(&cap);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(out.rfind("OpenGL Shader Error: ", 0), 0u) << out;
    EXPECT_EQ(countLines(out, "OpenGL Shader Error: "), 1);
    // The log is cut to its first 255 characters and its own line breaks are
    // folded into "; ", so the report stays one line of the log file.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_NE(out.find("; "), std::string::npos) << out;
    EXPECT_LE(out.size(), strlen("OpenGL Shader Error: ") + 2 * 255 + 1);
    EXPECT_GE(out.size(), strlen("OpenGL Shader Error: ") + 255 - 1);

    GLuint good =
        compile(GL_FRAGMENT_SHADER, "#version 330\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    captureBegin(&cap);
    result = checkShaderErrors(good);
    out = captureEnd(&cap);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "");

    // Mesa warns about an unknown extension asked for with "warn". Its shader
    // cache skips the compiler, and so the warning, for a text seen before:
    // a comment unique to this run keeps the text new.
    std::string text = "#version 330\n#extension GL_KNOLL_no_such_thing : warn\n// " +
                       std::to_string(std::random_device{}()) +
                       "\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";
    GLuint warned = compile(GL_FRAGMENT_SHADER, text.c_str());
    captureBegin(&cap);
    result = checkShaderErrors(warned);
    out = captureEnd(&cap);
    EXPECT_EQ(result, 0);
    if (out.empty()) GTEST_SKIP() << "the compiler wrote no warning to report";
    EXPECT_EQ(out.rfind("OpenGL Shader Warning: ", 0), 0u) << out;
    EXPECT_EQ(countLines(out, "OpenGL Shader "), 1);
}

// ------------------------------------------------------ uniform writers ----

TEST(StateUniforms, WritersFillTheBoundBuffer) {
    ASSERT_TRUE(glWindowOpen());
    GLuint buffer;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_UNIFORM_BUFFER, buffer);
    std::vector<float> fill(64, -7.0f);
    glBufferData(GL_UNIFORM_BUFFER, 256, fill.data(), GL_DYNAMIC_DRAW);

    Mat4 m;
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++) m.m[c][r] = (float)(10 * c + r);
    bufferUniformMatrix4fv(16, &m);
    bufferUniform3f(96, 1.5f, 2.5f, 3.5f);
    bufferUniform1f(128, 9.25f);

    std::vector<float> all = uniformBufferFloats(0, 64);
    for (int k = 0; k < 4; k++) EXPECT_EQ(all[k], -7.0f) << k;
    for (int k = 0; k < 16; k++) EXPECT_EQ(all[4 + k], (float)(10 * (k / 4) + k % 4)) << k;
    EXPECT_EQ(all[24], 1.5f);
    EXPECT_EQ(all[25], 2.5f);
    EXPECT_EQ(all[26], 3.5f);
    EXPECT_EQ(all[27], -7.0f) << "the vec3 write spilled into the next float";
    EXPECT_EQ(all[32], 9.25f);
    EXPECT_EQ(all[33], -7.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// ----------------------------------------------------- viewport, camera ----

TEST(StateView, ViewportHudAndCamera) {
    ASSERT_TRUE(graphicsReady());
    const float fov = 1.2f;
    const float f = 1.0f / tanf(0.5f * fov);
    auto check = [&](int w, int h) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        EXPECT_EQ(view_wid, w);
        EXPECT_EQ(view_hei, h);
        GLint vp[4];
        glGetIntegerv(GL_VIEWPORT, vp);
        EXPECT_EQ(std::vector<GLint>(vp, vp + 4), (std::vector<GLint>{0, 0, w, h}));
        float hud[16];
        glGetUniformfv(shader_hud, uni_hud_proj, hud);
        EXPECT_FLOAT_EQ(hud[0], 2.0f / w);
        EXPECT_FLOAT_EQ(hud[5], -2.0f / h);
        graphicsCamera({0, 0, 0}, {0, 0, 0, 1}, fov, 0.1f, 64.0f);
        std::vector<float> proj = uniformBufferFloats(off_proj, 16);
        EXPECT_FLOAT_EQ(proj[5], f);
        EXPECT_FLOAT_EQ(proj[0], f * h / w);
    };

    graphicsViewport(800, 600);
    check(800, 600);
    float hud[16];
    glGetUniformfv(shader_hud, uni_hud_proj, hud);
    EXPECT_FLOAT_EQ(hud[0], 0.0025f);
    EXPECT_FLOAT_EQ(hud[5], -0.0033333334f);
    EXPECT_EQ(std::vector<float>(hud + 12, hud + 16), (std::vector<float>{-1, 1, -1, 1}));
    Mat4 m;
    hudProjection(&m, 800, 600);
    Vec4 top_left = transform(&m.m[0][0], 0, 0, 0),
         bottom_right = transform(&m.m[0][0], 800, 600, 0);
    EXPECT_FLOAT_EQ(top_left.x, -1.0f);
    EXPECT_FLOAT_EQ(top_left.y, 1.0f);
    EXPECT_FLOAT_EQ(bottom_right.x, 1.0f);
    EXPECT_FLOAT_EQ(bottom_right.y, -1.0f);

    // A minimised window reports zero; the last real size stays in force.
    graphicsViewport(0, 600);
    check(800, 600);
    graphicsViewport(800, 0);
    check(800, 600);
    graphicsViewport(0, 0);
    check(800, 600);
    graphicsViewport(1024, 256);
    check(1024, 256);

    graphicsCamera({16, 8, 32}, {0, 0, 0, 1}, fov, 0.1f, 64.0f);
    std::vector<float> view = uniformBufferFloats(off_view, 16);
    EXPECT_EQ(std::vector<float>(view.begin() + 12, view.end()),
              (std::vector<float>{-16, -8, -32, 1}));
    EXPECT_EQ(uniformBufferFloats(off_campos, 3), (std::vector<float>{16, 8, 32}));
    EXPECT_EQ(uniformBufferFloats(off_fardist, 1)[0], 64.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// ---------------------------------------------------- light, fog, sky ----

TEST(StateLight, SrgbDecode) {
    float r = 0.53f, g = 0.81f, b = 1.0f;
    lRGB(&r, &g, &b);
    EXPECT_FLOAT_EQ(r, 0.24286678f);
    EXPECT_FLOAT_EQ(g, 0.62091589f);
    EXPECT_FLOAT_EQ(b, 1.0f);
    // 0.04045f lies just below the threshold in double.
    r = 0.04045f, g = 0.0f, b = 1.0f;
    lRGB(&r, &g, &b);
    EXPECT_FLOAT_EQ(r, 0.0031308050f);
    EXPECT_EQ(g, 0.0f);
    EXPECT_FLOAT_EQ(b, 1.0f);
}

TEST(StateLight, SceneValuesInTheBlock) {
    ASSERT_TRUE(graphicsReady());
    EXPECT_FLOAT_EQ(sky_r, 0.24286678f);
    EXPECT_FLOAT_EQ(sky_g, 0.62091589f);
    EXPECT_FLOAT_EQ(sky_b, 1.0f);
    EXPECT_EQ(uniformBufferFloats(off_fogcolor, 3), (std::vector<float>{sky_r, sky_g, sky_b}));

    graphicsLightDir({0.0f, -1.0f, -1.0f});
    std::vector<float> dir = uniformBufferFloats(off_lightdir, 3);
    EXPECT_FLOAT_EQ(dir[0], 0.0f);
    EXPECT_FLOAT_EQ(dir[1], -0.70710677f);
    EXPECT_FLOAT_EQ(dir[2], -0.70710677f);

    // Along the light: 24 units towards it from the centre is the near
    // plane, 24 beyond is the far plane; the centre itself is the middle.
    std::vector<float> ls = uniformBufferFloats(off_lspace, 16);
    const float s = 24.0f * 0.70710677f;
    Vec4 mid = transform(ls.data(), 16, 0, 16);
    Vec4 near = transform(ls.data(), 16, s, 16 + s);
    Vec4 far = transform(ls.data(), 16, -s, 16 - s);
    EXPECT_NEAR(mid.x, 0.0f, 1e-6);
    EXPECT_NEAR(mid.y, 0.0f, 1e-6);
    EXPECT_NEAR(mid.z, 0.0f, 1e-6);
    EXPECT_NEAR(near.z, -1.0f, 1e-5);
    EXPECT_NEAR(far.z, 1.0f, 1e-5);
    EXPECT_FLOAT_EQ(near.w, 1.0f);
    Vec4 side = transform(ls.data(), 16 + 24, 0, 16);
    EXPECT_NEAR(fabsf(side.x), 1.0f, 1e-5);

    graphicsLightCol(3.5f, 3.5f, 3.5f);
    EXPECT_EQ(uniformBufferFloats(off_lightcol, 3), (std::vector<float>{3.5f, 3.5f, 3.5f}));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(StateLight, TerrainGridSwitch) {
    ASSERT_TRUE(graphicsReady());
    ASSERT_GE(uni_ter_grid, 0);
    GLint shown = -1;
    for (int show : {1, 0}) {
        useShader(shader_hud);
        graphicsTerrainGrid(show);
        EXPECT_EQ(glInt(GL_CURRENT_PROGRAM), (GLint)shader_terrain);
        glGetUniformiv(shader_terrain, uni_ter_grid, &shown);
        EXPECT_EQ(shown, show);
    }
    // The cache knows shader_terrain is current: using it again is skipped.
    glUseProgram(shader_hud);
    useShader(shader_terrain);
    EXPECT_EQ(glInt(GL_CURRENT_PROGRAM), (GLint)shader_hud);
}
