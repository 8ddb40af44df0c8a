#include "graph_init.h"

#include <assert.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "config.h"
#include "gl_dialect.h"
#include "graph_decode.h"
#include "graph_models.h"
#include "graph_state.h"
#include "image_source.h"
#include "knoll_math.h"
#include "../shaders/material_lod_bias.glsl"

// ------------------------------------------------------- embedded files ----

#define EMBEDDED(name) extern "C" const uint8_t _binary_##name##_start[], _binary_##name##_end[]
#define BLOB(name) \
    Blob { _binary_##name##_start, (int32_t)(_binary_##name##_end - _binary_##name##_start), #name }

EMBEDDED(font_png);
EMBEDDED(logo_png);
EMBEDDED(t_grid_png);
EMBEDDED(brdf_lut_png);
EMBEDDED(height_png);
EMBEDDED(splat_png);
EMBEDDED(t0_alb_png);
EMBEDDED(t1_alb_png);
EMBEDDED(t2_alb_png);
EMBEDDED(t3_alb_png);
EMBEDDED(t4_alb_png);
EMBEDDED(t5_alb_png);
EMBEDDED(t6_alb_png);
EMBEDDED(t7_alb_png);
EMBEDDED(t0_rma_png);
EMBEDDED(t1_rma_png);
EMBEDDED(t2_rma_png);
EMBEDDED(t3_rma_png);
EMBEDDED(t4_rma_png);
EMBEDDED(t5_rma_png);
EMBEDDED(t6_rma_png);
EMBEDDED(t7_rma_png);
EMBEDDED(t0_nrm_png);
EMBEDDED(t1_nrm_png);
EMBEDDED(t2_nrm_png);
EMBEDDED(t3_nrm_png);
EMBEDDED(t4_nrm_png);
EMBEDDED(t5_nrm_png);
EMBEDDED(t6_nrm_png);
EMBEDDED(t7_nrm_png);
EMBEDDED(barrel_omm);
EMBEDDED(barrel_alb_png);
EMBEDDED(barrel_rma_png);
EMBEDDED(barrel_nrm_png);
EMBEDDED(fern_omm);
EMBEDDED(fern_alb_png);
EMBEDDED(fern_rma_png);
EMBEDDED(fern_nrm_png);
EMBEDDED(palm_omm);
EMBEDDED(palm_alb_png);
EMBEDDED(palm_rma_png);
EMBEDDED(palm_nrm_png);
EMBEDDED(cactus_omm);
EMBEDDED(cactus_alb_png);
EMBEDDED(cactus_rma_png);
EMBEDDED(cactus_nrm_png);

extern "C" const char glsl_hud_vert[], glsl_hud_frag[], glsl_surface_vert[], glsl_terrain_frag[],
    glsl_misc_frag[], glsl_terrain_shadow_vert[], glsl_terrain_shadow_frag[],
    glsl_misc_shadow_vert[], glsl_misc_shadow_frag[], glsl_gauss_vert[], glsl_gauss_frag[];

// ------------------------------------------------------------ constants ----

enum { MATERIALS = 8, MATERIAL_SIZE = 512, MIP_LEVELS = 4, MODELS = 4 };

// The start-up's images by their place in startup_images.
enum StartupImage {
    IMAGE_FONT,
    IMAGE_LOGO,
    IMAGE_GRID,
    IMAGE_ALBEDO,                           // the eight materials' albedo maps,
    IMAGE_RMA = IMAGE_ALBEDO + MATERIALS,   // their roughness-metalness-occlusion
    IMAGE_NORMAL = IMAGE_RMA + MATERIALS,   // and their normal maps
    IMAGE_BRDF = IMAGE_NORMAL + MATERIALS,
    IMAGE_MODELS,  // albedo, rma and normal map of each mesh model, in packing order
    STARTUP_IMAGES = IMAGE_MODELS + 3 * MODELS,
};

// The materials' albedo maps are decoded to the channels their array takes.
static const int ALBEDO_CHANNELS = textureFormat(TEXTURE_SRGB_ARRAY).channels;

// Every image of the start-up with the channels it is decoded to, in the order
// of upload: the decoding thread decodes them in this order, and each upload
// step takes its images from here.
// clang-format off
static const DecodeJob startup_images[] = {
    {BLOB(font_png), 4}, {BLOB(logo_png), 4}, {BLOB(t_grid_png), 4},
    {BLOB(t0_alb_png), ALBEDO_CHANNELS}, {BLOB(t1_alb_png), ALBEDO_CHANNELS},
    {BLOB(t2_alb_png), ALBEDO_CHANNELS}, {BLOB(t3_alb_png), ALBEDO_CHANNELS},
    {BLOB(t4_alb_png), ALBEDO_CHANNELS}, {BLOB(t5_alb_png), ALBEDO_CHANNELS},
    {BLOB(t6_alb_png), ALBEDO_CHANNELS}, {BLOB(t7_alb_png), ALBEDO_CHANNELS},
    {BLOB(t0_rma_png), 3}, {BLOB(t1_rma_png), 3}, {BLOB(t2_rma_png), 3}, {BLOB(t3_rma_png), 3},
    {BLOB(t4_rma_png), 3}, {BLOB(t5_rma_png), 3}, {BLOB(t6_rma_png), 3}, {BLOB(t7_rma_png), 3},
    {BLOB(t0_nrm_png), 3}, {BLOB(t1_nrm_png), 3}, {BLOB(t2_nrm_png), 3}, {BLOB(t3_nrm_png), 3},
    {BLOB(t4_nrm_png), 3}, {BLOB(t5_nrm_png), 3}, {BLOB(t6_nrm_png), 3}, {BLOB(t7_nrm_png), 3},
    {BLOB(brdf_lut_png), 3},
    {BLOB(barrel_alb_png), 4}, {BLOB(barrel_rma_png), 3}, {BLOB(barrel_nrm_png), 3},
    {BLOB(fern_alb_png), 4}, {BLOB(fern_rma_png), 3}, {BLOB(fern_nrm_png), 3},
    {BLOB(palm_alb_png), 4}, {BLOB(palm_rma_png), 3}, {BLOB(palm_nrm_png), 3},
    {BLOB(cactus_alb_png), 4}, {BLOB(cactus_rma_png), 3}, {BLOB(cactus_nrm_png), 3},
};
// clang-format on
static_assert(sizeof(startup_images) / sizeof(startup_images[0]) == STARTUP_IMAGES,
              "one entry for every image of StartupImage");

static const GLenum ANISOTROPY_PARAMETER = 0x84FE;  // GL_TEXTURE_MAX_ANISOTROPY_EXT

static const char *const block_members[8] = {"proj",     "view",     "lightspace", "campos",
                                             "fogcolor", "lightdir", "lightcol",   "fardist"};

// A sampler of a program and the unit it reads.
struct SamplerUnit {
    const char *sampler;
    GLuint unit;
};

static const SamplerUnit hud_samplers[] = {{"tex", HUD_UNIT_IMAGE}};
static const SamplerUnit terrain_samplers[] = {
    {"tex_spl", TER_UNIT_SPLAT},   {"tex_grd", TER_UNIT_GRID},       {"tex_alb", TER_UNIT_ALBEDO},
    {"tex_rma", TER_UNIT_RMA},     {"tex_nrm", TER_UNIT_NORMAL},     {"tex_dpt", TER_UNIT_MOMENTS},
    {"tex_brdf", TER_UNIT_BRDF}};
static const SamplerUnit misc_samplers[] = {
    {"tex_alb", MSC_UNIT_ALBEDO},   {"tex_rma", MSC_UNIT_RMA}, {"tex_nrm", MSC_UNIT_NORMAL},
    {"tex_dpt", MSC_UNIT_MOMENTS}, {"tex_brdf", MSC_UNIT_BRDF}};
static const SamplerUnit misc_shadow_samplers[] = {{"tex_alb", MSH_UNIT_ALBEDO}};
static const SamplerUnit gauss_samplers[] = {{"tex_inp", GSS_UNIT_INPUT}};

// One step of the start-up: once, or repeated with its count. Round k takes
// the images from image + k * images on (none where images is 0), and waits
// until they have arrived.
struct InitStep {
    int (*once)(void);
    int (*repeated)(int k);
    int count;
    int image, images;
};

// One mesh model and its geometry, in packing order; its textures are the
// model's three entries of startup_images.
struct ModelAssets {
    MModel *model;
    Blob omm;
};

// ---------------------------------------------------------------- state ----

ShaderSources shader_sources = {
    glsl_hud_vert,
    glsl_hud_frag,
    glsl_surface_vert,
    glsl_terrain_frag,
    glsl_misc_frag,
    glsl_terrain_shadow_vert,
    glsl_terrain_shadow_frag,
    glsl_misc_shadow_vert,
    glsl_misc_shadow_frag,
    glsl_gauss_vert,
    glsl_gauss_frag,
};

GLuint shader_hud, shader_terrain, shader_terrain_shadow, shader_misc, shader_misc_shadow,
    shader_gauss;
GLint uni_hud_proj, uni_hud_model, uni_ter_model, uni_ter_grid, uni_tsh_model, uni_msc_model,
    uni_msh_model, uni_gss_mulvec;
GLuint vao_hud, vbo_hud, vao_terrain, vbo_terrain, ebo_terrain, vao_misc, vbo_misc, ebo_misc,
    vao_gauss, vbo_gauss;
GLuint fbo_depth, fbo_gauss, fbo_gauss_depth;
GLuint tex_font, tex_logo, tex_grid, tex_albedo, tex_rma, tex_normal, tex_brdf, tex_depth,
    tex_gauss;
GLint off_proj, off_view, off_lspace, off_campos, off_fogcolor, off_lightdir, off_lightcol,
    off_fardist;
int32_t anisotrop_available;
static int decode_failed;  // an embedded image did not decode in this start-up
static int init_step, init_repeat;  // the next step of the start-up, and its round
static int logo_ready;              // the HUD can draw the logo screen
static int logo_w, logo_h;          // the logo's size, for the HUD's vertices
static MModelPack model_pack;       // the mesh models packed so far

// ------------------------------------------------------------- textures ----

Blob assetHeightmap(void) { return BLOB(height_png); }
Blob assetSplatmap(void) { return BLOB(splat_png); }

// The asset's file name from its symbol's: the last underscore was the dot
// (font_png is font.png).
static void assetFileName(const char *symbol, char *out, size_t size) {
    snprintf(out, size, "%s", symbol);
    char *dot = strrchr(out, '_');
    if (dot) *dot = '.';
}

uint8_t *assetDecode(Blob blob, int channels, int *width, int *height) {
    const char *reason;
    uint8_t *pixels = decodeAheadTake(blob, channels, width, height, &reason);
    if (!pixels) {
        char file[64];
        assetFileName(blob.name, file, sizeof file);
        fprintf(stderr, "Image Error: %s does not decode (%s)\n", file,
                reason ? reason : "no reason given");
    }
    return pixels;
}

// An image that does not arrive or decode marks the start-up as failed
// (decode_failed) rather than leaving an empty texture.
// Returns 0 when the image can be uploaded.
static int take(const DecodeJob &image, SourceImage *out) {
    if (imageTake(image, out) == 0) return 0;
    decode_failed = 1;
    return 1;
}

// Trilinear filtering over levels 0 to 4, half a level sharper, with
// anisotropy when available and asked for; generates the levels. Acts on the
// texture bound to target.
static void setMipmapParameters(GLenum target) {
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, MIP_LEVELS);
    glTexParameteri(target, GL_TEXTURE_MIN_LOD, 0);
    glTexParameteri(target, GL_TEXTURE_MAX_LOD, MIP_LEVELS);
    textureLodBias(target, (float)MATERIAL_LOD_BIAS);
    if (anisotrop_available && aniso_level > 1)
        glTexParameterf(target, ANISOTROPY_PARAMETER, (float)aniso_level);
    glGenerateMipmap(target);
}

// Decodes image and uploads it as level 0 of a new 2D texture of kind bound
// on unit. Leaves the texture bound there for its parameters; reports the
// image size.
static GLuint uploadTexture2D(const DecodeJob &image, GLuint unit, TextureKind kind, int *width,
                              int *height) {
    GLuint texture;
    TextureFormat format = textureFormat(kind);
    assert(format.channels == image.channels);
    SourceImage taken;
    int failed = take(image, &taken);
    glGenTextures(1, &texture);
    useTexture(unit, GL_TEXTURE_2D, texture);
    if (!failed) imageUpload(taken, GL_TEXTURE_2D, format.internal, format.format, 0);
    *width = taken.width;
    *height = taken.height;
    imageRelease(&taken);
    return texture;
}

// A texture without mipmaps: the HUD images, the grid and the BRDF table.
// Only the table is clamped; the grid relies on the default repeat.
static GLuint createPlainTexture(StartupImage image, GLuint unit, TextureKind kind, GLint filter,
                                 bool clamp, int *width, int *height) {
    GLuint texture = uploadTexture2D(startup_images[image], unit, kind, width, height);
    if (clamp) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    return texture;
}

static GLuint createModelTexture(int image, GLuint unit, TextureKind kind) {
    int width, height;
    GLuint texture = uploadTexture2D(startup_images[image], unit, kind, &width, &height);
    setMipmapParameters(GL_TEXTURE_2D);
    return texture;
}

// Puts material n's map of one kind (images from image on) into layer n of
// the array *texture, which the first layer creates and the last finishes
// with its mipmaps: the eight materials' maps of a kind stacked.
static void addMaterialLayer(StartupImage image, GLuint unit, TextureKind kind, int n,
                             GLuint *texture) {
    TextureFormat format = textureFormat(kind);
    if (n == 0) {
        glGenTextures(1, texture);
        useTexture(unit, GL_TEXTURE_2D_ARRAY, *texture);
        glTexImage3D(GL_TEXTURE_2D_ARRAY, 0, format.internal, MATERIAL_SIZE, MATERIAL_SIZE,
                     MATERIALS, 0, format.format, GL_UNSIGNED_BYTE, NULL);
    }
    assert(format.channels == startup_images[image + n].channels);
    SourceImage taken;
    int failed = take(startup_images[image + n], &taken);
    useTextureForEdit(unit, GL_TEXTURE_2D_ARRAY, *texture);
    if (!failed) imageUpload(taken, GL_TEXTURE_2D_ARRAY, format.internal, format.format, n);
    imageRelease(&taken);
    if (n == MATERIALS - 1) setMipmapParameters(GL_TEXTURE_2D_ARRAY);
}

// ------------------------------------------------------------- programs ----

static GLuint compileShader(GLenum type, const char *source, int *failed) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, NULL);
    glCompileShader(shader);
    *failed = checkShaderErrors(shader);
    return shader;
}

// Compiles and links one program into *program and makes it current.
// Returns 1 when a stage did not compile (the program is then not created).
static int buildProgram(const char *vert, const char *frag, GLuint *program) {
    int failed;
    GLuint vs = compileShader(GL_VERTEX_SHADER, vert, &failed);
    if (failed) return 1;
    GLuint fs = compileShader(GL_FRAGMENT_SHADER, frag, &failed);
    if (failed) return 1;
    *program = glCreateProgram();
    glAttachShader(*program, vs);
    glAttachShader(*program, fs);
    glLinkProgram(*program);
    useShader(*program);
    return 0;
}

// Points each sampler of the current program at its unit.
template <int count>
static void setSamplerUnits(GLuint program, const SamplerUnit (&samplers)[count]) {
    for (const SamplerUnit &s : samplers)
        glUniform1i(glGetUniformLocation(program, s.sampler), (GLint)s.unit);
}

// The five attributes of the 56-byte surface vertex, on the bound vertex array.
static void setSurfaceAttributes(void) {
    static const GLint sizes[5] = {3, 3, 3, 3, 2};
    for (GLuint location = 0; location < 5; location++) {
        glVertexAttribPointer(location, sizes[location], GL_FLOAT, GL_FALSE, sizeof(TVertex),
                              (const void *)(uintptr_t)(location * 12));
        glEnableVertexAttribArray(location);
    }
}

// ----------------------------------------------------------- extensions ----

void checkExtensionSupport(void) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; i++) {
        const char *name = (const char *)glGetStringi(GL_EXTENSIONS, (GLuint)i);
        if (name && strcmp(name, "GL_EXT_texture_filter_anisotropic") == 0) anisotrop_available = 1;
    }
}

// ------------------------------------------------------------- sections ----

void hudVertexData(HudVertex out[HUD_VERTICES], int logo_w, int logo_h) {
    float s = 0.0f, t = 0.0f;
    const float cw = 0.046875f, ch = 0.125f;
    for (int k = 0; k < HUD_GLYPHS; k++) {
        HudVertex *q = out + 4 * k;
        q[0] = {0.0f, 0.0f, s, t};
        q[1] = {0.0f, 1.0f, s, t + ch};
        q[2] = {0.75f, 0.0f, s + cw, t};
        q[3] = {0.75f, 1.0f, s + cw, t + ch};
        s += cw;
        if (s + cw > 1.0f) {
            s = 0.0f;
            t += ch;
        }
    }
    float hw = (float)(logo_w / 2.0), hh = (float)(logo_h / 2.0);
    HudVertex *logo = out + HUD_LOGO_FIRST;
    logo[0] = {-hw, -hh, 0.0f, 0.0f};
    logo[1] = {-hw, hh, 0.0f, 1.0f};
    logo[2] = {hw, -hh, 1.0f, 0.0f};
    logo[3] = {hw, hh, 1.0f, 1.0f};
}

static void initHudVertices(void) {
    HudVertex vertices[HUD_VERTICES];
    hudVertexData(vertices, logo_w, logo_h);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_hud);
    glBufferData(GL_ARRAY_BUFFER, sizeof(vertices), vertices, GL_STATIC_DRAW);
}

static int initHud(void) {
    glGenVertexArrays(1, &vao_hud);
    useVao(vao_hud);
    glGenBuffers(1, &vbo_hud);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_hud);
    if (buildProgram(shader_sources.hud_vert, shader_sources.hud_frag, &shader_hud)) return 1;
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, (const void *)0);
    glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, 16, (const void *)8);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(4);
    uni_hud_proj = glGetUniformLocation(shader_hud, "proj");
    uni_hud_model = glGetUniformLocation(shader_hud, "model");
    setSamplerUnits(shader_hud, hud_samplers);
    int w, h;
    // Nearest keeps every texel of the pixel font one sharp block at a HUD
    // scale above 1; at 1, pixel centres fall on texel centres, where
    // nearest and linear filtering give the same colour.
    tex_font =
        createPlainTexture(IMAGE_FONT, HUD_UNIT_IMAGE, TEXTURE_SRGB_ALPHA, GL_NEAREST, false, &w, &h);
    tex_logo = createPlainTexture(IMAGE_LOGO, HUD_UNIT_IMAGE, TEXTURE_SRGB_ALPHA, GL_LINEAR, false,
                                  &logo_w, &logo_h);
    initHudVertices();
    if (graphicsCheckErrors("Init Hud") || decode_failed) return 1;
    logo_ready = 1;
    return 0;
}

// The terrain's program, vertex array and grid; the material layers and the
// BRDF table follow in steps of their own.
static int initTerrainProgram(void) {
    glGenVertexArrays(1, &vao_terrain);
    useVao(vao_terrain);
    glGenBuffers(1, &ebo_terrain);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo_terrain);
    glGenBuffers(1, &vbo_terrain);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_terrain);
    if (buildProgram(shader_sources.surface_vert, shader_sources.terrain_frag, &shader_terrain))
        return 1;
    setSurfaceAttributes();
    uni_ter_model = glGetUniformLocation(shader_terrain, "model");
    uni_ter_grid = glGetUniformLocation(shader_terrain, "showgrid");
    setSamplerUnits(shader_terrain, terrain_samplers);

    int w, h;
    tex_grid =
        createPlainTexture(IMAGE_GRID, TER_UNIT_GRID, TEXTURE_SRGB_ALPHA, GL_NEAREST, false, &w, &h);
    return 0;
}

static int initAlbedoLayer(int n) {
    addMaterialLayer(IMAGE_ALBEDO, TER_UNIT_ALBEDO, TEXTURE_SRGB_ARRAY, n, &tex_albedo);
    return 0;
}

static int initRmaLayer(int n) {
    addMaterialLayer(IMAGE_RMA, TER_UNIT_RMA, TEXTURE_LINEAR, n, &tex_rma);
    return 0;
}

static int initNormalLayer(int n) {
    addMaterialLayer(IMAGE_NORMAL, TER_UNIT_NORMAL, TEXTURE_LINEAR, n, &tex_normal);
    return 0;
}

static int initTerrainEnd(void) {
    int w, h;
    tex_brdf = createPlainTexture(IMAGE_BRDF, TER_UNIT_BRDF, TEXTURE_LINEAR, GL_LINEAR, true, &w, &h);
    return graphicsCheckErrors("Init Terrain") || decode_failed;
}

static int initTerrainShadow(void) {
    if (buildProgram(shader_sources.terrain_shadow_vert, shader_sources.terrain_shadow_frag,
                     &shader_terrain_shadow))
        return 1;
    uni_tsh_model = glGetUniformLocation(shader_terrain_shadow, "model");
    return graphicsCheckErrors("Init Terrain Shadow");
}

static int initMisc(void) {
    glGenVertexArrays(1, &vao_misc);
    useVao(vao_misc);
    glGenBuffers(1, &ebo_misc);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo_misc);
    glGenBuffers(1, &vbo_misc);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_misc);
    if (buildProgram(shader_sources.surface_vert, shader_sources.misc_frag, &shader_misc)) return 1;
    setSurfaceAttributes();
    uni_msc_model = glGetUniformLocation(shader_misc, "model");
    setSamplerUnits(shader_misc, misc_samplers);
    return graphicsCheckErrors("Init Misc");
}

static int initMiscShadow(void) {
    if (buildProgram(shader_sources.misc_shadow_vert, shader_sources.misc_shadow_frag,
                     &shader_misc_shadow))
        return 1;
    uni_msh_model = glGetUniformLocation(shader_misc_shadow, "model");
    setSamplerUnits(shader_misc_shadow, misc_shadow_samplers);
    return graphicsCheckErrors("Init Misc Shadow");
}

// Allocates a 1024 x 1024 two-moment float texture with linear filtering.
static void allocateMomentTexture(void) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RG32F, SHADOW_MAP_SIZE, SHADOW_MAP_SIZE, 0, GL_RG, GL_FLOAT,
                 NULL);
}

static int initShadowBuffer(void) {
    glGenFramebuffers(1, &fbo_depth);
    useFramebuffer(fbo_depth);
    glGenTextures(1, &tex_depth);
    useTexture(TER_UNIT_MOMENTS, GL_TEXTURE_2D, tex_depth);
    allocateMomentTexture();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex_depth, 0);

    // The depth texture only serves the depth test; no program reads it.
    GLuint depth;
    glGenTextures(1, &depth);
    useTexture(TER_UNIT_MOMENTS, GL_TEXTURE_2D, depth);
    glTexImage2D(GL_TEXTURE_2D, 0, depthTextureFormat(), SHADOW_MAP_SIZE, SHADOW_MAP_SIZE, 0,
                 GL_DEPTH_COMPONENT, GL_FLOAT, NULL);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        fprintf(stderr, "OpenGL Error: Incomplete Shadow Map Buffer\n");
        return 1;
    }
    return graphicsCheckErrors("Init Shadow Buffer");
}

// A framebuffer with texture as its only image, at attachment, drawn and read
// there; 1 when it is not complete. GL 3.3 counts a draw or read buffer that
// names an empty attachment as incomplete, so both are set before the check.
static int createBlurTarget(GLuint *framebuffer, GLenum attachment, GLuint texture) {
    glGenFramebuffers(1, framebuffer);
    useFramebuffer(*framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, texture, 0);
    glDrawBuffers(1, &attachment);
    glReadBuffer(attachment);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        fprintf(stderr, "OpenGL Error: Incomplete Shadow Post Buffer\n");
        return 1;
    }
    return 0;
}

static int initGauss(void) {
    glGenVertexArrays(1, &vao_gauss);
    useVao(vao_gauss);
    glGenBuffers(1, &vbo_gauss);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_gauss);
    if (buildProgram(shader_sources.gauss_vert, shader_sources.gauss_frag, &shader_gauss)) return 1;
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 8, (const void *)0);
    glEnableVertexAttribArray(0);
    uni_gss_mulvec = glGetUniformLocation(shader_gauss, "mulvec");
    setSamplerUnits(shader_gauss, gauss_samplers);

    glGenTextures(1, &tex_gauss);
    useTexture(GSS_UNIT_INPUT, GL_TEXTURE_2D, tex_gauss);
    allocateMomentTexture();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Each pass draws into a framebuffer that holds only its target: a
    // texture attached to the framebuffer being drawn must not be sampled,
    // whichever draw buffer is selected.
    if (createBlurTarget(&fbo_gauss, GL_COLOR_ATTACHMENT0, tex_gauss)) return 1;
    if (createBlurTarget(&fbo_gauss_depth, blurSecondAttachment(), tex_depth)) return 1;
    return graphicsCheckErrors("Init Gauss");
}

// Queries the layout of ushared from GL and binds one buffer for it to the
// generic uniform-buffer target and to binding point 0 of every program.
static void initUniformBlock(void) {
    GLuint block = glGetUniformBlockIndex(shader_terrain, "ushared");
    GLint size = 0;
    glGetActiveUniformBlockiv(shader_terrain, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);

    GLuint indices[8];
    GLint offsets[8];
    glGetUniformIndices(shader_terrain, 8, block_members, indices);
    glGetActiveUniformsiv(shader_terrain, 8, indices, GL_UNIFORM_OFFSET, offsets);
    GLint *const targets[8] = {&off_proj,     &off_view,     &off_lspace,   &off_campos,
                               &off_fogcolor, &off_lightdir, &off_lightcol, &off_fardist};
    for (int i = 0; i < 8; i++) *targets[i] = offsets[i];

    GLuint buffer;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_UNIFORM_BUFFER, buffer);
    glBufferData(GL_UNIFORM_BUFFER, size, NULL, GL_DYNAMIC_DRAW);
    const GLuint programs[4] = {shader_terrain, shader_terrain_shadow, shader_misc,
                                shader_misc_shadow};
    for (int i = 0; i < 4; i++)
        glBindBufferBase(GL_UNIFORM_BUFFER, glGetUniformBlockIndex(programs[i], "ushared"), buffer);
}

// Packs model k into vbo_misc/ebo_misc and creates its textures right after
// its geometry; the last model uploads the pack of all four. Each round binds
// the buffers anew: the logo screen may have drawn in between.
static int initModel(int k) {
    static const ModelAssets models[MODELS] = {
        {MODEL_BARREL, BLOB(barrel_omm)},
        {MODEL_FERN, BLOB(fern_omm)},
        {MODEL_PALM, BLOB(palm_omm)},
        {MODEL_CACTUS, BLOB(cactus_omm)},
    };
    useVao(vao_misc);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_misc);
    if (k == 0) model_pack = {};
    MModel *model = models[k].model;
    int image = IMAGE_MODELS + 3 * k;
    mmodelPackAppend(&model_pack, model, models[k].omm.data);
    model->alb_tex = createModelTexture(image, MSC_UNIT_ALBEDO, TEXTURE_SRGB_ALPHA);
    model->rma_tex = createModelTexture(image + 1, MSC_UNIT_RMA, TEXTURE_LINEAR);
    model->nrm_tex = createModelTexture(image + 2, MSC_UNIT_NORMAL, TEXTURE_LINEAR);
    if (k < MODELS - 1) return 0;
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)model_pack.vertex_count * sizeof(TVertex),
                 model_pack.vertices, GL_STATIC_DRAW);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)model_pack.index_count * 4,
                 model_pack.indices, GL_STATIC_DRAW);
    mmodelPackFree(&model_pack);
    return 0;
}

static void initBlurQuad(void) {
    static const float corners[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
    glBindBuffer(GL_ARRAY_BUFFER, vbo_gauss);
    glBufferData(GL_ARRAY_BUFFER, sizeof(corners), corners, GL_STATIC_DRAW);
}

static void initGlobalState(void) {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
}

static void initSceneValues(void) {
    graphicsFogColor(0.53f, 0.81f, 1.0f);
    graphicsLightDir({0.0f, -1.0f, -1.0f});
    graphicsLightCol(3.5f, 3.5f, 3.5f);
    graphicsTerrainGrid(0);
}

static int initBegin(void) {
    // libepoxy resolves entry points on first use, so the loader step only
    // reports what is pending.
    graphicsCheckErrors("Init gl3w");
    checkExtensionSupport();
    // The window's state comes first: the logo screen may show before the
    // rest is built.
    enableWindowState();
    decode_failed = 0;
    return graphicsCheckErrors("Init Begin");
}

static int initBuffers(void) {
    initUniformBlock();
    return 0;
}

static int initEnd(void) {
    initBlurQuad();
    if (decode_failed || graphicsCheckErrors("Init Models")) return 1;
    initGlobalState();
    initSceneValues();
    return graphicsCheckErrors("Init Return");
}

// The start-up's steps in their order: a step runs count times, given 0 to
// count - 1, and builds at most one program or decodes at most three images
// each time.
static const InitStep init_steps[] = {
    {initBegin, NULL, 1, 0, 0},
    {initHud, NULL, 1, IMAGE_FONT, 2},
    {initTerrainProgram, NULL, 1, IMAGE_GRID, 1},
    {NULL, initAlbedoLayer, MATERIALS, IMAGE_ALBEDO, 1},
    {NULL, initRmaLayer, MATERIALS, IMAGE_RMA, 1},
    {NULL, initNormalLayer, MATERIALS, IMAGE_NORMAL, 1},
    {initTerrainEnd, NULL, 1, IMAGE_BRDF, 1},
    {initTerrainShadow, NULL, 1, 0, 0},
    {initMisc, NULL, 1, 0, 0},
    {initMiscShadow, NULL, 1, 0, 0},
    {initShadowBuffer, NULL, 1, 0, 0},
    {initGauss, NULL, 1, 0, 0},
    {initBuffers, NULL, 1, 0, 0},
    {NULL, initModel, MODELS, IMAGE_MODELS, 3},
    {initEnd, NULL, 1, 0, 0},
};
enum { INIT_STEPS = sizeof(init_steps) / sizeof(init_steps[0]) };

void graphicsDecodeAhead(void) { decodeAheadStart(startup_images, STARTUP_IMAGES); }

// Whether the images of round k of step have all arrived.
static int imagesArrived(const InitStep &step, int k) {
    for (int i = 0; i < step.images; i++)
        if (!imageArrived(startup_images[step.image + k * step.images + i])) return 0;
    return 1;
}

int graphicsInitStep(void) {
    if (init_step == 0 && init_repeat == 0) graphicsDecodeAhead();
    const InitStep &step = init_steps[init_step];
    // Marking ends the caller's slice: images arrive between a page's turns.
    if (!imagesArrived(step, init_repeat)) {
        graphicsMark();
        return GRAPHICS_INIT_MORE;
    }
    int failed = step.once ? step.once() : step.repeated(init_repeat);
    graphicsMark();
    if (++init_repeat == step.count) {
        init_repeat = 0;
        init_step++;
    }
    if (!failed && init_step < INIT_STEPS) return GRAPHICS_INIT_MORE;
    decodeAheadStop();
    init_step = init_repeat = 0;
    return failed;
}

void graphicsInitRestart(void) {
    decodeAheadStop();
    init_step = init_repeat = 0;
    logo_ready = 0;
}

void graphicsMark(void) { gpuMark(); }

int graphicsCaughtUp(void) { return gpuCaughtUp(); }

int graphicsLogoReady(void) { return logo_ready; }

// The images decode on a worker thread, ahead of their uploads here.
int graphicsInit(void) {
    int result;
    while ((result = graphicsInitStep()) == GRAPHICS_INIT_MORE) {
    }
    return result;
}
