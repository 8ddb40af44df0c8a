// Graphics start-up: programs, the shared block, textures, framebuffers, the
// packed mesh models, the HUD quads, and the failure paths.
#include <math.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <stb_image.h>

#include "gl_fixture.h"
#include "graph_models.h"

// The embedded .omm files, to compare the packing with their headers.
extern "C" const uint8_t _binary_barrel_omm_start[], _binary_fern_omm_start[],
    _binary_palm_omm_start[], _binary_cactus_omm_start[];
// The models' albedo images, to hold their textures' coverage to.
extern "C" const uint8_t _binary_barrel_alb_png_start[], _binary_barrel_alb_png_end[],
    _binary_fern_alb_png_start[], _binary_fern_alb_png_end[], _binary_palm_alb_png_start[],
    _binary_palm_alb_png_end[], _binary_cactus_alb_png_start[], _binary_cactus_alb_png_end[];

// The image decoder as the start-up calls it (linked with --wrap): the call
// numbered fail_decode_at, counted from 0, fails as a corrupt image would.
extern "C" uint8_t *__real_stbi_load_from_memory(const uint8_t *buffer, int len, int *x, int *y,
                                                 int *comp, int req_comp);
static int fail_decode_at = -1;
extern "C" uint8_t *__wrap_stbi_load_from_memory(const uint8_t *buffer, int len, int *x, int *y,
                                                 int *comp, int req_comp) {
    if (fail_decode_at >= 0 && fail_decode_at-- == 0) return NULL;
    return __real_stbi_load_from_memory(buffer, len, x, y, comp, req_comp);
}

namespace {

GLint texParam(GLuint unit, GLenum target, GLuint texture, GLenum name) {
    useTextureForEdit(unit, target, texture);
    GLint value = 0;
    glGetTexParameteriv(target, name, &value);
    return value;
}

GLfloat texParamF(GLuint unit, GLenum target, GLuint texture, GLenum name) {
    useTextureForEdit(unit, target, texture);
    GLfloat value = 0;
    glGetTexParameterfv(target, name, &value);
    return value;
}

GLint levelParam(GLenum target, GLuint texture, GLint level, GLenum name) {
    useTextureForEdit(0, target, texture);
    GLint value = 0;
    glGetTexLevelParameteriv(target, level, name, &value);
    return value;
}

uint32_t headerWord(const uint8_t *omm, int k) {
    uint32_t v;
    memcpy(&v, omm + 4 * k, 4);
    return v;
}

// An .omm file in memory: V vertices, I indices, every vertex sound (unit
// frame, y alternating 0 and 1, texture positions inside 0..1).
struct Omm {
    std::vector<uint8_t> bytes;
    Omm(uint32_t v, std::vector<uint32_t> indices) {
        uint32_t n = (uint32_t)indices.size();
        bytes.resize(OMM_HEADER_BYTES + OMM_VERTEX_BYTES * v + 4 * n);
        memcpy(&bytes[0], &v, 4);
        memcpy(&bytes[4], &n, 4);
        for (uint32_t k = 0; k < v; k++) {
            TVertex t = {{(float)k, (float)(k % 2), -(float)k},
                         {0, 1, 0},
                         {1, 0, 0},
                         {0, 0, 1},
                         {0.5f, k % 2 ? 1.0f : 0.0f}};
            memcpy(vertex(k), &t, sizeof(t));
        }
        if (n) memcpy(&bytes[OMM_HEADER_BYTES + OMM_VERTEX_BYTES * v], indices.data(), 4 * n);
    }
    TVertex *vertex(uint32_t k) {
        return (TVertex *)(void *)&bytes[OMM_HEADER_BYTES + OMM_VERTEX_BYTES * k];
    }
};

}  // namespace

// ------------------------------------------------------------- programs ----

TEST(InitRun, SucceedsWithNothingPending) {
    ASSERT_TRUE(glWindowOpen());
    ASSERT_EQ(graphicsInit(), 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    for (GLuint p : {shader_hud, shader_terrain, shader_terrain_shadow, shader_misc,
                     shader_misc_shadow, shader_gauss}) {
        GLint linked = GL_FALSE;
        glGetProgramiv(p, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE) << "program " << p;
    }
    EXPECT_TRUE(glIsEnabled(GL_FRAMEBUFFER_SRGB));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
}

TEST(InitRun, SharedBlockLayoutAndBinding) {
    ASSERT_TRUE(graphicsReady());
    const char *names[8] = {"proj",     "view",     "lightspace", "campos",
                            "fogcolor", "lightdir", "lightcol",   "fardist"};
    const GLint ours[8] = {off_proj,     off_view,     off_lspace,   off_campos,
                           off_fogcolor, off_lightdir, off_lightcol, off_fardist};
    // The offsets were read from shader_terrain; the three other programs
    // read the same buffer, so their layout must agree.
    for (GLuint p : {shader_terrain_shadow, shader_misc, shader_misc_shadow}) {
        GLuint indices[8];
        GLint offsets[8];
        glGetUniformIndices(p, 8, names, indices);
        glGetActiveUniformsiv(p, 8, indices, GL_UNIFORM_OFFSET, offsets);
        for (int k = 0; k < 8; k++) EXPECT_EQ(ours[k], offsets[k]) << names[k] << " in " << p;
    }
    // Each member has room of its own inside the block: three matrices, four
    // vectors, one float.
    const GLint sizes[8] = {64, 64, 64, 12, 12, 12, 12, 4};
    GLint block_size = 0;
    glGetActiveUniformBlockiv(shader_terrain, glGetUniformBlockIndex(shader_terrain, "ushared"),
                              GL_UNIFORM_BLOCK_DATA_SIZE, &block_size);
    for (int a = 0; a < 8; a++) {
        EXPECT_GE(ours[a], 0) << names[a];
        EXPECT_LE(ours[a] + sizes[a], block_size) << names[a];
        for (int b = 0; b < a; b++)
            EXPECT_TRUE(ours[a] >= ours[b] + sizes[b] || ours[b] >= ours[a] + sizes[a])
                << names[a] << " overlaps " << names[b];
    }

    // Every program reads binding point 0, and the buffer the writers fill
    // (the generic binding) is the one attached there.
    for (GLuint p : {shader_terrain, shader_terrain_shadow, shader_misc, shader_misc_shadow}) {
        GLuint block = glGetUniformBlockIndex(p, "ushared");
        ASSERT_NE(block, GL_INVALID_INDEX) << "program " << p;
        GLint binding = -1;
        glGetActiveUniformBlockiv(p, block, GL_UNIFORM_BLOCK_BINDING, &binding);
        EXPECT_EQ(binding, 0) << "program " << p;
    }
    GLint generic = 0, point0 = 0, size = 0, needed = 0;
    glGetIntegerv(GL_UNIFORM_BUFFER_BINDING, &generic);
    glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, 0, &point0);
    EXPECT_NE(generic, 0);
    EXPECT_EQ(point0, generic);
    glGetBufferParameteriv(GL_UNIFORM_BUFFER, GL_BUFFER_SIZE, &size);
    glGetActiveUniformBlockiv(shader_terrain, glGetUniformBlockIndex(shader_terrain, "ushared"),
                              GL_UNIFORM_BLOCK_DATA_SIZE, &needed);
    EXPECT_GE(size, needed);
}

// What start-up leaves for the first frame: the light travelling along
// (0, -1, -1) with colour 3.5, the linear fog colour, and no grid.
TEST(InitRun, StartValuesOfLightFogAndGrid) {
    ASSERT_TRUE(glWindowOpen());
    ASSERT_EQ(graphicsInit(), 0);
    auto member = [](GLint offset) {
        float v[3];
        readBuffer(GL_UNIFORM_BUFFER, offset, sizeof(v), v);
        return Vec3{v[0], v[1], v[2]};
    };
    EXPECT_VEC3_NEAR(member(off_lightcol), 3.5f, 3.5f, 3.5f, 0.0f);
    EXPECT_VEC3_NEAR(member(off_lightdir), 0.0f, -0.70710678f, -0.70710678f, 1e-6f);
    EXPECT_VEC3_NEAR(member(off_fogcolor), 0.24286678f, 0.62091589f, 1.0f, 1e-6f);
    GLint grid = -1;
    glGetUniformiv(shader_terrain, uni_ter_grid, &grid);
    EXPECT_EQ(grid, 0);
}

// ------------------------------------------------------------- textures ----

TEST(InitTextures, FilteringAndSizes) {
    ASSERT_TRUE(graphicsReady());
    struct Tex {
        const char *name;
        GLenum target;
        GLuint id;
    };
    std::vector<Tex> mipmapped = {{"albedo", GL_TEXTURE_2D_ARRAY, tex_albedo},
                                  {"rma", GL_TEXTURE_2D_ARRAY, tex_rma},
                                  {"normal", GL_TEXTURE_2D_ARRAY, tex_normal}};
    const char *model_names[4] = {"barrel", "fern", "palm", "cactus"};
    MModel *models[4] = {MODEL_BARREL, MODEL_FERN, MODEL_PALM, MODEL_CACTUS};
    for (int k = 0; k < 4; k++) {
        mipmapped.push_back({model_names[k], GL_TEXTURE_2D, models[k]->alb_tex});
        mipmapped.push_back({model_names[k], GL_TEXTURE_2D, models[k]->rma_tex});
        mipmapped.push_back({model_names[k], GL_TEXTURE_2D, models[k]->nrm_tex});
    }
    const std::vector<Tex> plain = {{"font", GL_TEXTURE_2D, tex_font},
                                    {"logo", GL_TEXTURE_2D, tex_logo},
                                    {"grid", GL_TEXTURE_2D, tex_grid},
                                    {"brdf", GL_TEXTURE_2D, tex_brdf}};

    // libepoxy's own look-up of the extension, to hold the program's scan to.
    const bool listed = epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic");
    EXPECT_EQ(anisotrop_available != 0, listed);
    const GLenum max_aniso = 0x84FE;

    for (const Tex &t : mipmapped) {
        SCOPED_TRACE(t.name);
        ASSERT_TRUE(glIsTexture(t.id));
        if (listed) {
            EXPECT_EQ(texParamF(0, t.target, t.id, max_aniso), 16.0f);
        }
        EXPECT_EQ(texParam(0, t.target, t.id, GL_TEXTURE_BASE_LEVEL), 0);
        EXPECT_EQ(texParam(0, t.target, t.id, GL_TEXTURE_MAX_LEVEL), 4);
        // ES has no bias per texture: the prelude's lookup applies it there.
        if (epoxy_is_desktop_gl()) {
            EXPECT_EQ(texParamF(0, t.target, t.id, GL_TEXTURE_LOD_BIAS), -0.5f);
        }
        EXPECT_EQ(texParam(0, t.target, t.id, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
        // Level 4 exists, so the chain was generated.
        EXPECT_EQ(levelParam(t.target, t.id, 4, GL_TEXTURE_WIDTH),
                  levelParam(t.target, t.id, 0, GL_TEXTURE_WIDTH) >> 4);
    }
    for (const Tex &t : plain) {
        SCOPED_TRACE(t.name);
        ASSERT_TRUE(glIsTexture(t.id));
        if (listed) {
            EXPECT_EQ(texParamF(0, t.target, t.id, max_aniso), 1.0f);
        }
        EXPECT_EQ(levelParam(t.target, t.id, 1, GL_TEXTURE_WIDTH), 0);
    }
    for (GLuint t : {tex_albedo, tex_rma, tex_normal}) {
        EXPECT_EQ(levelParam(GL_TEXTURE_2D_ARRAY, t, 0, GL_TEXTURE_WIDTH), 512);
        EXPECT_EQ(levelParam(GL_TEXTURE_2D_ARRAY, t, 0, GL_TEXTURE_HEIGHT), 512);
        EXPECT_EQ(levelParam(GL_TEXTURE_2D_ARRAY, t, 0, GL_TEXTURE_DEPTH), 8);
    }
    EXPECT_EQ(levelParam(GL_TEXTURE_2D, tex_logo, 0, GL_TEXTURE_WIDTH), 350);
    EXPECT_EQ(levelParam(GL_TEXTURE_2D, tex_logo, 0, GL_TEXTURE_HEIGHT), 128);
    EXPECT_EQ(texParam(0, GL_TEXTURE_2D, tex_grid, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(texParam(0, GL_TEXTURE_2D, tex_grid, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(texParam(0, GL_TEXTURE_2D, tex_brdf, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(texParam(0, GL_TEXTURE_2D, tex_brdf, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(InitTextures, ShadowFramebuffers) {
    ASSERT_TRUE(graphicsReady());
    EXPECT_EQ(levelParam(GL_TEXTURE_2D, tex_depth, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RG32F);
    EXPECT_EQ(levelParam(GL_TEXTURE_2D, tex_depth, 0, GL_TEXTURE_WIDTH), SHADOW_MAP_SIZE);
    EXPECT_EQ(levelParam(GL_TEXTURE_2D, tex_depth, 0, GL_TEXTURE_HEIGHT), SHADOW_MAP_SIZE);
    // Each blur pass draws into a framebuffer that holds its target alone, so
    // the texture it samples is never attached to it. GL 3.3 counts a
    // framebuffer whose draw or read buffer names an empty attachment as
    // incomplete (Mesa does not), so both must name the one it has, from
    // start-up on, before any blur has run.
    struct Attachments {
        GLuint fbo;
        GLuint colour0, colour1;
    };
    const GLuint at_one = blurSecondAttachment() == GL_COLOR_ATTACHMENT1 ? tex_depth : 0;
    for (Attachments a :
         {Attachments{fbo_depth, tex_depth, 0}, Attachments{fbo_gauss, tex_gauss, 0},
          Attachments{fbo_gauss_depth, at_one ? 0 : tex_depth, at_one}}) {
        useFramebuffer(a.fbo);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), (GLenum)GL_FRAMEBUFFER_COMPLETE);
        GLint names[2] = {-1, -1};
        for (int k = 0; k < 2; k++)
            glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + k,
                                                  GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &names[k]);
        EXPECT_EQ(names[0], (GLint)a.colour0) << "framebuffer " << a.fbo;
        EXPECT_EQ(names[1], (GLint)a.colour1) << "framebuffer " << a.fbo;
        const GLint attached = a.colour0 ? GL_COLOR_ATTACHMENT0 : GL_COLOR_ATTACHMENT1;
        GLint draw = -1, read = -1;
        glGetIntegerv(GL_DRAW_BUFFER0, &draw);
        glGetIntegerv(GL_READ_BUFFER, &read);
        EXPECT_EQ(draw, attached) << "draw buffer of framebuffer " << a.fbo;
        EXPECT_EQ(read, attached) << "read buffer of framebuffer " << a.fbo;
    }
    useFramebuffer(0);
    for (GLuint t : {tex_depth, tex_gauss}) {
        EXPECT_EQ(texParam(0, GL_TEXTURE_2D, t, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE) << t;
        EXPECT_EQ(texParam(0, GL_TEXTURE_2D, t, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE) << t;
    }
}

// A model's albedo carries its coverage in alpha, which the cut-out tests
// against one half: every texel of the image on either side of it is on the
// same side in the texture start-up made, whatever happens between decoding
// and upload. Images with transparent texels (the leaves) must be among them.
TEST(InitTextures, ModelTexturesKeepTheTransparencyOfTheirImages) {
    ASSERT_TRUE(graphicsReady());
    const struct {
        const char *name;
        const uint8_t *start, *end;
        MModel *model;
    } albedos[4] = {
        {"barrel", _binary_barrel_alb_png_start, _binary_barrel_alb_png_end, MODEL_BARREL},
        {"fern", _binary_fern_alb_png_start, _binary_fern_alb_png_end, MODEL_FERN},
        {"palm", _binary_palm_alb_png_start, _binary_palm_alb_png_end, MODEL_PALM},
        {"cactus", _binary_cactus_alb_png_start, _binary_cactus_alb_png_end, MODEL_CACTUS},
    };
    int with_transparency = 0;
    for (const auto &a : albedos) {
        SCOPED_TRACE(a.name);
        int w, h, channels;
        uint8_t *image =
            stbi_load_from_memory(a.start, (int)(a.end - a.start), &w, &h, &channels, 4);
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(levelParam(GL_TEXTURE_2D, a.model->alb_tex, 0, GL_TEXTURE_WIDTH), w);
        ASSERT_EQ(levelParam(GL_TEXTURE_2D, a.model->alb_tex, 0, GL_TEXTURE_HEIGHT), h);
        std::vector<uint8_t> texels((size_t)w * h * 4);
        readTextureRect(a.model->alb_tex, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        int transparent = 0, changed = 0;
        for (size_t i = 3; i < texels.size(); i += 4) {
            transparent += image[i] < 128;
            changed += (image[i] < 128) != (texels[i] < 128);
        }
        stbi_image_free(image);
        with_transparency += transparent > 0;
        EXPECT_EQ(changed, 0) << "texels changed side; the image has " << transparent
                              << " transparent ones";
    }
    EXPECT_GT(with_transparency, 0) << "no model image has transparent texels to keep";
}

// The first image (the font), a material layer and the last model texture:
// each stops the start-up with one line naming the image.
TEST(InitTextures, ImageThatDoesNotDecodeStopsInit) {
    ASSERT_TRUE(glWindowOpen());
    const struct {
        int call;
        const char *name;
    } cases[3] = {{0, "font.png"}, {8, "t5_alb.png"}, {39, "cactus_nrm.png"}};
    for (const auto &c : cases) {
        fail_decode_at = c.call;
        StderrCapture cap;
        captureBegin(&cap);
        int result = graphicsInit();
        std::string out = captureEnd(&cap);
        fail_decode_at = -1;
        EXPECT_EQ(result, 1) << c.name;
        EXPECT_EQ(out.rfind(std::string("Image Error: ") + c.name + " does not decode", 0), 0u)
            << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    }
    // Leave a complete set of objects for whatever runs next.
    EXPECT_EQ(graphicsInit(), 0);
}

// The terrain's own images, decoded after the start-up proper: a heightmap
// that does not decode fails the step instead of leaving the terrain unbuilt.
TEST(InitTextures, TerrainImageThatDoesNotDecodeStopsTheTerrainStep) {
    ASSERT_TRUE(glWindowOpen());
    ASSERT_EQ(graphicsInit(), 0);
    fail_decode_at = 0;
    StderrCapture cap;
    captureBegin(&cap);
    int result = terrainInit();
    std::string out = captureEnd(&cap);
    fail_decode_at = -1;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out.rfind("Image Error: height.png does not decode", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

// Counts the anisotropy parameters start-up sets, whichever call sets them.
static int aniso_calls;
static float aniso_value;
static PFNGLTEXPARAMETERFPROC real_tex_parameter_f;
static PFNGLTEXPARAMETERIPROC real_tex_parameter_i;

static void countTexParameterF(GLenum target, GLenum name, GLfloat value) {
    if (name == 0x84FE) {
        aniso_calls++;
        aniso_value = value;
    }
    real_tex_parameter_f(target, name, value);
}

static void countTexParameterI(GLenum target, GLenum name, GLint value) {
    if (name == 0x84FE) {
        aniso_calls++;
        aniso_value = (float)value;
    }
    real_tex_parameter_i(target, name, value);
}

// aniso_level 0 and 1 both mean no anisotropic filtering: no parameter at
// all. Above 1, each of the 15 mipmapped textures gets the level.
TEST(InitTextures, AnisotropyOnlyAboveOne) {
    ASSERT_TRUE(graphicsReady());  // resolves both entry points first
    if (!anisotrop_available) GTEST_SKIP() << "no anisotropic filtering here";
    real_tex_parameter_f = epoxy_glTexParameterf;
    real_tex_parameter_i = epoxy_glTexParameteri;
    epoxy_glTexParameterf = countTexParameterF;
    epoxy_glTexParameteri = countTexParameterI;
    const struct { int level, calls; } cases[4] = {{0, 0}, {1, 0}, {2, 15}, {16, 15}};
    for (const auto &c : cases) {
        aniso_level = c.level;
        aniso_calls = 0;
        aniso_value = 0.0f;
        EXPECT_EQ(graphicsInit(), 0);
        EXPECT_EQ(aniso_calls, c.calls) << "aniso_level " << c.level;
        if (c.calls) {
            EXPECT_EQ(aniso_value, (float)c.level);
        }
    }
    epoxy_glTexParameterf = real_tex_parameter_f;
    epoxy_glTexParameteri = real_tex_parameter_i;
}

// --------------------------------------------------------------- models ----

TEST(InitModels, PackedConsecutively) {
    ASSERT_TRUE(graphicsReady());
    const uint8_t *files[4] = {_binary_barrel_omm_start, _binary_fern_omm_start,
                               _binary_palm_omm_start, _binary_cactus_omm_start};
    MModel *models[4] = {MODEL_BARREL, MODEL_FERN, MODEL_PALM, MODEL_CACTUS};
    uint32_t offset = 0, vertices = 0;
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(models[k]->ebo_offset, offset) << k;
        EXPECT_EQ(models[k]->ebo_count, headerWord(files[k], 1)) << k;
        offset += headerWord(files[k], 1);
        vertices += headerWord(files[k], 0);
    }

    useVao(vao_misc);
    GLint bytes = 0;
    glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &bytes);
    ASSERT_EQ(bytes, (GLint)(offset * 4));
    std::vector<uint32_t> indices(offset);
    readBuffer(GL_ELEMENT_ARRAY_BUFFER, 0, bytes, indices.data());
    EXPECT_EQ(*std::max_element(indices.begin(), indices.end()), vertices - 1);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_misc);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &bytes);
    EXPECT_EQ(bytes, (GLint)(vertices * sizeof(TVertex)));
}

TEST(InitModels, PackAppend) {
    Omm barrel(3, {0, 1, 2, 2, 1, 0}), fern(4, {0, 2, 3, 3, 2, 1}), empty(0, {});
    MModel m[3] = {};
    MModelPack pack = {};
    mmodelPackAppend(&pack, &m[0], barrel.bytes.data());
    mmodelPackAppend(&pack, &m[1], fern.bytes.data());
    mmodelPackAppend(&pack, &m[2], empty.bytes.data());
    EXPECT_EQ(m[0].ebo_offset, 0u);
    EXPECT_EQ(m[0].ebo_count, 6u);
    EXPECT_EQ(m[1].ebo_offset, 6u);
    EXPECT_EQ(m[1].ebo_count, 6u);
    EXPECT_EQ(m[2].ebo_offset, 12u);
    EXPECT_EQ(m[2].ebo_count, 0u);
    ASSERT_EQ(pack.vertex_count, 7u);
    ASSERT_EQ(pack.index_count, 12u);
    EXPECT_EQ(std::vector<uint32_t>(pack.indices, pack.indices + 12),
              (std::vector<uint32_t>{0, 1, 2, 2, 1, 0, 3, 5, 6, 6, 5, 4}));
    EXPECT_EQ(memcmp(&pack.vertices[3], fern.vertex(0), 4 * sizeof(TVertex)), 0);
    mmodelPackFree(&pack);
    EXPECT_EQ(pack.vertex_count, 0u);
    EXPECT_EQ(pack.vertices, nullptr);
}

TEST(InitModels, ValidateRejectsEachFault) {
    char msg[160];
    Omm sound(4, {0, 1, 2, 2, 3, 0});
    EXPECT_EQ(mmodelValidate(sound.bytes.data(), sound.bytes.size(), msg, sizeof(msg)), 0);
    EXPECT_STREQ(msg, "");
    Omm empty(0, {});
    EXPECT_EQ(mmodelValidate(empty.bytes.data(), empty.bytes.size(), msg, sizeof(msg)), 0);

    struct Fault {
        const char *name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Fault> faults;
    faults.push_back({"short header", {4, 0, 0, 0, 6, 0}});
    {
        Omm o = sound;
        o.bytes.push_back(0);
        faults.push_back({"one byte too many", o.bytes});
        o.bytes.resize(o.bytes.size() - 5);
        faults.push_back({"one byte short", o.bytes});
    }
    {
        // A vertex count whose size overflows 32 bits must not wrap around.
        Omm o = sound;
        uint32_t v = 0xFFFFFFFFu;
        memcpy(&o.bytes[0], &v, 4);
        faults.push_back({"huge vertex count", o.bytes});
    }
    faults.push_back({"index count not a multiple of 3", Omm(4, {0, 1, 2, 3}).bytes});
    faults.push_back({"index equal to V", Omm(4, {0, 1, 4}).bytes});
    auto mutate = [&](const char *name, void (*change)(TVertex *)) {
        Omm o = sound;
        change(o.vertex(2));
        faults.push_back({name, o.bytes});
    };
    mutate("NaN position", [](TVertex *v) { v->position[0] = NAN; });
    mutate("long normal", [](TVertex *v) { v->normal[1] = 1.01f; });
    mutate("short tangent", [](TVertex *v) { v->tangent[0] = 0.9f; });
    mutate("zero bitangent", [](TVertex *v) { v->bitangent[2] = 0.0f; });
    mutate("y above 1", [](TVertex *v) { v->position[1] = 1.5f; });
    mutate("u below 0", [](TVertex *v) { v->texpos[0] = -0.01f; });
    {
        Omm o = sound;
        for (uint32_t k = 0; k < 4; k++) o.vertex(k)->position[1] = 0.5f * (k % 2);
        faults.push_back({"y not reaching 1", o.bytes});
    }
    for (const Fault &f : faults) {
        msg[0] = '\0';
        EXPECT_EQ(mmodelValidate(f.bytes.data(), f.bytes.size(), msg, sizeof(msg)), 1) << f.name;
        EXPECT_GT(strlen(msg), 0u) << f.name;
        EXPECT_EQ(strchr(msg, '\n'), nullptr) << f.name;
    }
}

// ------------------------------------------------------------------ HUD ----

TEST(InitHud, GlyphAndLogoQuads) {
    std::vector<HudVertex> v(HUD_VERTICES);
    hudVertexData(v.data(), 350, 128);
    auto expectQuad = [&](int code, float s, float t) {
        SCOPED_TRACE("code " + std::to_string(code));
        const HudVertex *q = &v[4 * (code - 32)];
        const float cw = 0.046875f, ch = 0.125f;
        const HudVertex want[4] = {
            {0, 0, s, t}, {0, 1, s, t + ch}, {0.75f, 0, s + cw, t}, {0.75f, 1, s + cw, t + ch}};
        for (int k = 0; k < 4; k++) {
            EXPECT_FLOAT_EQ(q[k].x, want[k].x) << k;
            EXPECT_FLOAT_EQ(q[k].y, want[k].y) << k;
            EXPECT_FLOAT_EQ(q[k].s, want[k].s) << k;
            EXPECT_FLOAT_EQ(q[k].t, want[k].t) << k;
        }
    };
    expectQuad(32, 0.0f, 0.0f);
    expectQuad(52, 0.9375f, 0.0f);
    expectQuad(53, 0.0f, 0.125f);
    expectQuad(126, 0.46875f, 0.5f);

    const HudVertex *logo = &v[HUD_LOGO_FIRST];
    const HudVertex want[4] = {
        {-175, -64, 0, 0}, {-175, 64, 0, 1}, {175, -64, 1, 0}, {175, 64, 1, 1}};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(logo[k].x, want[k].x) << k;
        EXPECT_EQ(logo[k].y, want[k].y) << k;
        EXPECT_EQ(logo[k].s, want[k].s) << k;
        EXPECT_EQ(logo[k].t, want[k].t) << k;
    }
}

// -------------------------------------------------------- failure paths ----

// Puts the shader sources back when a test that broke one ends, however it
// ends, so later tests in the same process build the real programs.
struct SourcesRestore {
    ShaderSources saved = shader_sources;
    ~SourcesRestore() { shader_sources = saved; }
};

TEST(InitFailure, BrokenShaderStopsInit) {
    ASSERT_TRUE(glWindowOpen());
    SourcesRestore restore;
    shader_sources.terrain_frag = "#version 330\nvoid main() { not glsl at all }\n";
    StderrCapture cap;
    captureBegin(&cap);
    int result = graphicsInit();
    std::string out = captureEnd(&cap);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(out.rfind("OpenGL Shader Error: ", 0), 0u) << out;
    EXPECT_NE(out.find("error"), std::string::npos) << "no compiler log: " << out;
    // The log is the compiler's own text; it may span lines, but only one
    // report is written, and nothing follows from later steps.
    EXPECT_EQ(out.find("OpenGL", 1), std::string::npos) << out;
}

TEST(InitFailure, PendingErrorIsReportedNotFatal) {
    ASSERT_TRUE(glWindowOpen());
    while (glGetError() != GL_NO_ERROR) {
    }
    glEnable(0xFFFF);
    StderrCapture cap;
    captureBegin(&cap);
    int result = graphicsInit();
    std::string out = captureEnd(&cap);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "OpenGL Error: INVALID_ENUM at Init gl3w\n");
}
