// One-time creation of every GL object: programs, vertex arrays, buffers,
// textures from the embedded assets, mesh models, framebuffers and the shared
// uniform block.
#pragma once

#include <epoxy/gl.h>
#include <stdint.h>

// ---------------------------------------------------------------- types ----

// An embedded file: its bytes inside the executable, and its name for
// diagnostics.
struct Blob {
    const uint8_t *data;
    int32_t size;
    const char *name;
};

struct HudVertex {
    float x, y;  // model space, attribute 0
    float s, t;  // texture position, attribute 4
};

// The GLSL texts each program is built from. They point at the embedded
// shader files; tests may point one elsewhere before graphicsInit.
struct ShaderSources {
    const char *hud_vert, *hud_frag;
    const char *surface_vert, *terrain_frag, *misc_frag;
    const char *terrain_shadow_vert, *terrain_shadow_frag;
    const char *misc_shadow_vert, *misc_shadow_frag;
    const char *gauss_vert, *gauss_frag;
};

// ------------------------------------------------------------ constants ----

enum {
    HUD_GLYPHS = 95,                    // character codes 32 to 126
    HUD_LOGO_FIRST = HUD_GLYPHS * 4,    // first vertex of the logo quad
    HUD_VERTICES = HUD_LOGO_FIRST + 4,  // 384
    SHADOW_MAP_SIZE = 1024,
};

// Texture units, named once per program: graphicsInit points each sampler at
// its unit and creates the texture there, and the draws bind it there.
enum TerrainUnit {
    TER_UNIT_SPLAT,    // tex_spl: the model's splat_tex
    TER_UNIT_GRID,     // tex_grd: tex_grid
    TER_UNIT_ALBEDO,   // tex_alb: tex_albedo
    TER_UNIT_RMA,      // tex_rma: tex_rma
    TER_UNIT_NORMAL,   // tex_nrm: tex_normal
    TER_UNIT_MOMENTS,  // tex_dpt: tex_depth
    TER_UNIT_BRDF,     // tex_brdf: tex_brdf
};
enum MiscUnit {
    MSC_UNIT_ALBEDO,   // tex_alb: the model's alb_tex
    MSC_UNIT_RMA,      // tex_rma: the model's rma_tex
    MSC_UNIT_NORMAL,   // tex_nrm: the model's nrm_tex
    MSC_UNIT_MOMENTS,  // tex_dpt: tex_depth
    MSC_UNIT_BRDF,     // tex_brdf: tex_brdf
};
enum {
    MSH_UNIT_ALBEDO = 0,  // shader_misc_shadow's tex_alb: the model's alb_tex
    GSS_UNIT_INPUT = 0,   // shader_gauss's tex_inp: the moment map being blurred
    HUD_UNIT_IMAGE = 0,   // shader_hud's tex: tex_font or tex_logo
};

// ---------------------------------------------------------------- state ----

extern ShaderSources shader_sources;

extern GLuint shader_hud, shader_terrain, shader_terrain_shadow, shader_misc, shader_misc_shadow,
    shader_gauss;
extern GLint uni_hud_proj, uni_hud_model, uni_ter_model, uni_ter_grid, uni_tsh_model, uni_msc_model,
    uni_msh_model, uni_gss_mulvec;
extern GLuint vao_hud, vbo_hud, vao_terrain, vbo_terrain, ebo_terrain, vao_misc, vbo_misc, ebo_misc,
    vao_gauss, vbo_gauss;
extern GLuint fbo_depth, fbo_gauss, fbo_gauss_depth;
extern GLuint tex_font, tex_logo, tex_grid, tex_albedo, tex_rma, tex_normal, tex_brdf, tex_depth,
    tex_gauss;
extern GLint off_proj, off_view, off_lspace, off_campos, off_fogcolor, off_lightdir, off_lightcol,
    off_fardist;
extern int32_t anisotrop_available;

// ------------------------------------------------------------ functions ----

// Creates every GL object with the context current, once every image has
// arrived (image_source.h). Returns 0, or 1 after logging the first failed
// step.
int graphicsInit(void);

enum { GRAPHICS_INIT_MORE = 2 };
// graphicsInit a piece at a time, for a caller that must return to the
// browser between pieces: each decodes and uploads at most three images. A
// piece whose images have not yet arrived does nothing until they have.
// Returns GRAPHICS_INIT_MORE while pieces remain, then graphicsInit's result.
int graphicsInitStep(void);

// Makes the next graphicsInitStep the first, for a new context.
void graphicsInitRestart(void);

// Marks the GL work issued so far: each piece of graphicsInitStep does, and
// a caller after a frame.
void graphicsMark(void);

// Whether the GL work before the last mark is done, so that neither the
// next piece nor a frame would wait for it: a page's turn would block
// meanwhile, where GL runs in another process.
int graphicsCaughtUp(void);

// Whether the pieces so far have built what the logo screen draws: a caller
// may show it while the rest starts up.
int graphicsLogoReady(void);

// Starts decoding the images of graphicsInit on a worker thread, so that a
// caller can begin before the GL context exists; graphicsInit starts it
// itself otherwise and ends it before returning.
void graphicsDecodeAhead(void);

// Sets anisotrop_available when the implementation lists anisotropic filtering.
void checkExtensionSupport(void);

// The 95 glyph quads of the font atlas, then the logo quad of a logo of
// logo_w x logo_h pixels centred on the origin.
void hudVertexData(HudVertex out[HUD_VERTICES], int logo_w, int logo_h);

// The embedded heightmap and splat map, for the terrain.
Blob assetHeightmap(void);
Blob assetSplatmap(void);
// Decodes an embedded image to channels bytes a pixel (stb_image's pixels,
// freed with stbi_image_free). One that does not decode gives NULL and one
// "Image Error" line naming its file.
uint8_t *assetDecode(Blob blob, int channels, int *width, int *height);
