#include "graph_render.h"

#include <epoxy/gl.h>
#include <math.h>

#include "gl_dialect.h"
#include "graph_init.h"
#include "graph_state.h"

// ------------------------------------------------------------ constants ----

static const float GLYPH_ASPECT = 0.75f;  // glyph width per unit of height

// ------------------------------------------------------------ functions ----

void placementMatrix(Mat4 *out, Vec3 position, float scale, float rotation) {
    mat4SetScale(out, scale);
    mat4RotateY(out, rotation);
    mat4Translate(out, position);
}

static const void *indexOffset(uint32_t first_index) {
    return (const void *)((uintptr_t)first_index * 4);
}

// The scale of HUD text: the HUD scale to the nearest quarter. A 16-unit
// glyph's 12 x 16 cell then covers whole pixels at 1.25 and 1.5 as well, so
// every glyph of a line gets the same pattern of one- and two-pixel texels
// and none gains a stray column.
static float textScale(void) { return roundf(hud_scale * 4.0f) / 4.0f; }

// ---------------------------------------------------------- shadow pass ----

void graphicsShadowClear(void) {
    useFramebuffer(fbo_depth);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void graphicsShadowTModel(const TModel *model, Vec3 position) {
    Mat4 m;
    mat4SetTranslation(&m, position);
    useFramebuffer(fbo_depth);
    useViewport(0, 0, SHADOW_MAP_SIZE, SHADOW_MAP_SIZE);
    useVao(vao_terrain);
    useShader(shader_terrain_shadow);
    glUniformMatrix4fv(uni_tsh_model, 1, GL_FALSE, &m.m[0][0]);
    glDrawElements(GL_TRIANGLES, TMODEL_INDICES, GL_UNSIGNED_INT,
                   indexOffset((uint32_t)model->ebo_offset));
}

void graphicsShadowMModel(const MModel *model, Vec3 position, float scale, float rotation) {
    Mat4 m;
    placementMatrix(&m, position, scale, rotation);
    useFramebuffer(fbo_depth);
    useViewport(0, 0, SHADOW_MAP_SIZE, SHADOW_MAP_SIZE);
    useVao(vao_misc);
    useShader(shader_misc_shadow);
    useTexture(MSH_UNIT_ALBEDO, GL_TEXTURE_2D, model->alb_tex);
    glUniformMatrix4fv(uni_msh_model, 1, GL_FALSE, &m.m[0][0]);
    glDrawElements(GL_TRIANGLES, (GLsizei)model->ebo_count, GL_UNSIGNED_INT,
                   indexOffset(model->ebo_offset));
}

// One blur direction: reads source and draws into target, a
// framebuffer that does not hold source and draws to its one attachment.
static void blurPass(GLuint target, GLuint source, float x, float y) {
    useFramebuffer(target);
    useTexture(GSS_UNIT_INPUT, GL_TEXTURE_2D, source);
    glUniform2f(uni_gss_mulvec, x, y);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void graphicsShadowPost(void) {
    useViewport(0, 0, SHADOW_MAP_SIZE, SHADOW_MAP_SIZE);
    useVao(vao_gauss);
    useShader(shader_gauss);
    blurPass(fbo_gauss, tex_depth, 1.0f, 0.0f);
    blurPass(fbo_gauss_depth, tex_gauss, 0.0f, 1.0f);
}

// ------------------------------------------------------------ main pass ----

void graphicsDrawClear(int mode) {
    useFramebuffer(0);
    if (mode == 0)
        clearWindow(0.0f, 0.0f, 0.0f);
    else if (mode == 1)
        clearWindow(sky_r, sky_g, sky_b);
    else
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Binds the window's framebuffer at its full size.
static void useWindowTarget(void) {
    useFramebuffer(0);
    useViewport(0, 0, view_wid, view_hei);
}

void graphicsDrawTModel(const TModel *model, Vec3 position) {
    Mat4 m;
    mat4SetTranslation(&m, position);
    useWindowTarget();
    useVao(vao_terrain);
    useShader(shader_terrain);
    useTexture(TER_UNIT_SPLAT, GL_TEXTURE_2D, model->splat_tex);
    useTexture(TER_UNIT_GRID, GL_TEXTURE_2D, tex_grid);
    useTexture(TER_UNIT_ALBEDO, GL_TEXTURE_2D_ARRAY, tex_albedo);
    useTexture(TER_UNIT_RMA, GL_TEXTURE_2D_ARRAY, tex_rma);
    useTexture(TER_UNIT_NORMAL, GL_TEXTURE_2D_ARRAY, tex_normal);
    useTexture(TER_UNIT_MOMENTS, GL_TEXTURE_2D, tex_depth);
    useTexture(TER_UNIT_BRDF, GL_TEXTURE_2D, tex_brdf);
    glUniformMatrix4fv(uni_ter_model, 1, GL_FALSE, &m.m[0][0]);
    glDrawElements(GL_TRIANGLES, TMODEL_INDICES, GL_UNSIGNED_INT,
                   indexOffset((uint32_t)model->ebo_offset));
}

void graphicsDrawMModel(const MModel *model, Vec3 position, float scale, float rotation) {
    Mat4 m;
    placementMatrix(&m, position, scale, rotation);
    useWindowTarget();
    useVao(vao_misc);
    useShader(shader_misc);
    useTexture(MSC_UNIT_ALBEDO, GL_TEXTURE_2D, model->alb_tex);
    useTexture(MSC_UNIT_RMA, GL_TEXTURE_2D, model->rma_tex);
    useTexture(MSC_UNIT_NORMAL, GL_TEXTURE_2D, model->nrm_tex);
    useTexture(MSC_UNIT_MOMENTS, GL_TEXTURE_2D, tex_depth);
    useTexture(MSC_UNIT_BRDF, GL_TEXTURE_2D, tex_brdf);
    glUniformMatrix4fv(uni_msc_model, 1, GL_FALSE, &m.m[0][0]);
    glDrawElements(GL_TRIANGLES, (GLsizei)model->ebo_count, GL_UNSIGNED_INT,
                   indexOffset(model->ebo_offset));
}

// Binds what every HUD quad needs, with image for the HUD program.
static void useHud(GLuint image) {
    useWindowTarget();
    useVao(vao_hud);
    useShader(shader_hud);
    useTexture(HUD_UNIT_IMAGE, GL_TEXTURE_2D, image);
}

void graphicsDrawHudText(const char *text, Vec2 position, float size) {
    float scale = textScale(), height = size * scale;
    Mat4 m;
    mat4SetScale(&m, height);
    m.m[3][0] = floorf(position.x * scale + 0.5f);
    m.m[3][1] = floorf(position.y * scale + 0.5f);
    useHud(tex_font);
    for (const char *p = text; *p; p++) {
        signed char c = (signed char)*p;
        if (c <= 31 || c == 127) continue;
        glUniformMatrix4fv(uni_hud_model, 1, GL_FALSE, &m.m[0][0]);
        glDrawArrays(GL_TRIANGLE_STRIP, (c - 32) * 4, 4);
        m.m[3][0] = (float)(m.m[3][0] + (double)height * GLYPH_ASPECT);
    }
}

void graphicsDrawHudLogo(void) {
    Mat4 m;
    mat4SetTranslation(&m, {(float)(view_wid / 2.0), (float)(view_hei / 2.0), 0.0f});
    m.m[0][0] = m.m[1][1] = hud_scale;
    useHud(tex_logo);
    glUniformMatrix4fv(uni_hud_model, 1, GL_FALSE, &m.m[0][0]);
    glDrawArrays(GL_TRIANGLE_STRIP, HUD_LOGO_FIRST, 4);
}
