#include "graph_state.h"

#include <assert.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "graph_init.h"

// ------------------------------------------------------------ constants ----

enum { TEXTURE_UNITS = 16, SHADER_LOG_SIZE = 256 };
enum { SLOT_2D, SLOT_2D_ARRAY, TEXTURE_TARGETS };  // the texture targets the program binds

// WebGL's error for a context the browser has taken away; a frame drawn
// before the page hears of the loss gets it once.
static const GLenum CONTEXT_LOST_WEBGL = 0x9242;

static const Vec3 BUILT_IN_CENTRE = {16.0f, 0.0f, 16.0f};  // middle of the built-in patch
static const float light_box = 24.0f;                      // half-extent of the shadow box

// ---------------------------------------------------------------- state ----

int32_t view_wid, view_hei;
float hud_scale = 1.0f;
float sky_r, sky_g, sky_b;

static float aspect = 1.0f;

static GLuint cur_buffer;
static GLint cur_x, cur_y;
static GLsizei cur_wid, cur_hei;
static GLuint cur_vao;
static GLuint cur_shader;
// Each unit holds a texture per target: units 2 to 4 hold a 2D and a
// 2D-array texture at once, the terrain's and the mesh models'.
static GLuint cur_tex[TEXTURE_UNITS][TEXTURE_TARGETS];
static GLuint cur_unit;  // active unit, as the last bind that reached GL left it
static char txt[16];
static SceneLight scene_light;
static Vec3 light_centre = BUILT_IN_CENTRE;  // where the shadow box stands
static Mat4 camera_clip, light_clip;         // world to clip space of the last camera, light

// ----------------------------------------------------------- bind cache ----

void useFramebuffer(GLuint framebuffer) {
    if (framebuffer == cur_buffer) return;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    cur_buffer = framebuffer;
}

void useViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    if (x == cur_x && y == cur_y && width == cur_wid && height == cur_hei) return;
    glViewport(x, y, width, height);
    cur_x = x;
    cur_y = y;
    cur_wid = width;
    cur_hei = height;
}

void useVao(GLuint vao) {
    if (vao == cur_vao) return;
    glBindVertexArray(vao);
    cur_vao = vao;
}

void useShader(GLuint program) {
    if (program == cur_shader) return;
    glUseProgram(program);
    cur_shader = program;
}

// Makes unit the active one, unless it is already.
static void selectUnit(GLuint unit) {
    if (unit == cur_unit) return;
    glActiveTexture(GL_TEXTURE0 + unit);
    cur_unit = unit;
}

static int targetSlot(GLenum target) {
    assert(target == GL_TEXTURE_2D || target == GL_TEXTURE_2D_ARRAY);
    return target == GL_TEXTURE_2D_ARRAY ? SLOT_2D_ARRAY : SLOT_2D;
}

// A name keeps the target it was first bound to, so one the unit holds under
// either target needs no bind; 0 (none) is held per target.
static bool unitHolds(GLuint unit, int slot, GLuint texture) {
    const GLuint *held = cur_tex[unit];
    return held[slot] == texture || (texture != 0 && (held[0] == texture || held[1] == texture));
}

void useTexture(GLuint unit, GLenum target, GLuint texture) {
    assert(unit < TEXTURE_UNITS);
    int slot = targetSlot(target);
    if (unitHolds(unit, slot, texture)) return;
    selectUnit(unit);
    glBindTexture(target, texture);
    cur_tex[unit][slot] = texture;
}

// A texture the unit already holds needs only the unit selected: an upload
// resumed after other draws (the logo screen between start-up steps).
void useTextureForEdit(GLuint unit, GLenum target, GLuint texture) {
    selectUnit(unit);
    useTexture(unit, target, texture);
}

void forgetBindings(void) {
    cur_buffer = 0;
    cur_x = cur_y = 0;
    cur_wid = cur_hei = 0;
    cur_vao = 0;
    cur_shader = 0;
    memset(cur_tex, 0, sizeof(cur_tex));
    cur_unit = 0;
}

// ------------------------------------------------------ uniform writers ----

void bufferUniformMatrix4fv(GLint offset, const Mat4 *matrix) {
    glBufferSubData(GL_UNIFORM_BUFFER, (GLintptr)offset, 64, matrix->m);
}

void bufferUniform3f(GLint offset, float x, float y, float z) {
    const float v[3] = {x, y, z};
    glBufferSubData(GL_UNIFORM_BUFFER, (GLintptr)offset, 12, v);
}

void bufferUniform1f(GLint offset, float value) {
    glBufferSubData(GL_UNIFORM_BUFFER, (GLintptr)offset, 4, &value);
}

// ------------------------------------------------------ error reporting ----

// Copies a compiler log into out (twice its size) as one log line: the
// trailing line breaks dropped and the others turned into "; ".
static void foldLines(const char *log, char *out) {
    size_t n = strlen(log);
    while (n > 0 && (log[n - 1] == '\n' || log[n - 1] == '\r')) n--;
    for (size_t i = 0; i < n; i++) {
        if (log[i] == '\r') continue;
        if (log[i] == '\n') {
            *out++ = ';';
            *out++ = ' ';
        } else {
            *out++ = log[i];
        }
    }
    *out = '\0';
}

int checkShaderErrors(GLuint shader) {
    GLint status = GL_FALSE;
    char log[SHADER_LOG_SIZE], line[2 * SHADER_LOG_SIZE];
    log[0] = '\0';
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    glGetShaderInfoLog(shader, SHADER_LOG_SIZE, NULL, log);
    foldLines(log, line);
    if (log[0] != '\0') {
        if (status == GL_TRUE)
            fprintf(stderr, "OpenGL Shader Warning: %s\n", line);
        else
            fprintf(stderr, "OpenGL Shader Error: %s\n", line);
    }
    return status != GL_TRUE ? 1 : 0;
}

const char *getStringFromGlError(GLenum code) {
    switch (code) {
    case GL_INVALID_ENUM: return "INVALID_ENUM";
    case GL_INVALID_VALUE: return "INVALID_VALUE";
    case GL_INVALID_OPERATION: return "INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "INVALID_FRAMEBUFFER_OPERATION";
    case CONTEXT_LOST_WEBGL: return "CONTEXT_LOST_WEBGL";
    default:
        // No line break here: the caller's format ends the one log line.
        snprintf(txt, sizeof(txt), "%d", (int)code);
        return txt;
    }
}

int graphicsCheckErrors(const char *label) {
    int result = 0;
    for (GLenum code = glGetError(); code != GL_NO_ERROR; code = glGetError()) {
        fprintf(stderr, "OpenGL Error: %s at %s\n", getStringFromGlError(code), label);
        result = 1;
    }
    return result;
}

// ----------------------------------------------------- viewport, camera ----

void hudProjection(Mat4 *out, int32_t width, int32_t height) {
    mat4Zero(out);
    out->m[0][0] = (float)(2.0 / width);
    out->m[1][1] = (float)(-2.0 / height);
    out->m[3][0] = -1.0f;
    out->m[3][1] = 1.0f;
    out->m[3][2] = -1.0f;
    out->m[3][3] = 1.0f;
}

void graphicsHudScale(float scale) { hud_scale = scale; }

void graphicsViewport(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    view_wid = width;
    view_hei = height;
    useViewport(0, 0, width, height);
    aspect = (float)width / (float)height;

    Mat4 hud;
    hudProjection(&hud, width, height);
    useShader(shader_hud);
    glUniformMatrix4fv(uni_hud_proj, 1, GL_FALSE, &hud.m[0][0]);
}

void graphicsCamera(Vec3 position, Quat orientation, float fov, float near, float far) {
    Mat4 proj, view;
    mat4Perspective(&proj, fov, aspect, near, far);
    Vec3 forward = quatMultiplyVector(orientation, {0.0f, 0.0f, -1.0f});
    Vec3 up = quatMultiplyVector(orientation, {0.0f, 1.0f, 0.0f});
    mat4LookAt(&view, position, vec3Add(position, forward), up);

    mat4MultiplyMatrix(&camera_clip, &view, &proj);
    bufferUniformMatrix4fv(off_proj, &proj);
    bufferUniformMatrix4fv(off_view, &view);
    bufferUniform3f(off_campos, position.x, position.y, position.z);
    bufferUniform1f(off_fardist, far);
}

// ---------------------------------------------------- light, fog, sky ----

static float decodeSrgb(float c) {
    double v = c;
    if (v < 0.04045) return (float)(v * 0.07739938080495357);
    return (float)pow((v + 0.055) * 0.9478672985781991, 2.4);
}

void lRGB(float *r, float *g, float *b) {
    *r = decodeSrgb(*r);
    *g = decodeSrgb(*g);
    *b = decodeSrgb(*b);
}

void graphicsFogColor(float r, float g, float b) {
    lRGB(&r, &g, &b);
    sky_r = r;
    sky_g = g;
    sky_b = b;
    bufferUniform3f(off_fogcolor, r, g, b);
}

void lightSpaceMatrix(Mat4 *out, Vec3 d) {
    Mat4 proj, view;
    mat4Ortho(&proj, -light_box, light_box, -light_box, light_box, -light_box, light_box);
    mat4LookAt(&view, light_centre, vec3Add(light_centre, d), {0.0f, 1.0f, 0.0f});
    mat4MultiplyMatrix(out, &view, &proj);
}

void graphicsLightDir(Vec3 d) {
    // Kept as given: normalising again would move the light by a rounding.
    scene_light.direction = d;
    d = vec3Normalize(d);
    lightSpaceMatrix(&light_clip, d);
    bufferUniformMatrix4fv(off_lspace, &light_clip);
    bufferUniform3f(off_lightdir, d.x, d.y, d.z);
}

// Moves centre by less than a texel across the light, onto the shadow map's
// texel grid: a box that follows the camera in whole texels keeps every
// shadow's edge where it was, where any other step makes them crawl.
static Vec3 snapToTexels(Vec3 centre, Vec3 d) {
    const float texel = 2.0f * light_box / (float)SHADOW_MAP_SIZE;
    Vec3 side = vec3Normalize(vec3CrossProduct(d, {0.0f, 1.0f, 0.0f}));
    Vec3 up = vec3CrossProduct(side, d);
    float s = vec3DotProduct(centre, side), u = vec3DotProduct(centre, up);
    centre = vec3Add(centre, vec3Multiply(side, roundf(s / texel) * texel - s));
    return vec3Add(centre, vec3Multiply(up, roundf(u / texel) * texel - u));
}

void graphicsLightCentre(Vec3 centre) {
    Vec3 d = vec3Normalize(scene_light.direction);
    Vec3 snapped = snapToTexels(centre, d);
    if (snapped.x == light_centre.x && snapped.y == light_centre.y && snapped.z == light_centre.z)
        return;
    light_centre = snapped;
    lightSpaceMatrix(&light_clip, d);
    bufferUniformMatrix4fv(off_lspace, &light_clip);
}

void graphicsLightCentreReset(void) { light_centre = BUILT_IN_CENTRE; }

const Mat4 *graphicsCameraClip(void) { return &camera_clip; }

const Mat4 *graphicsLightClip(void) { return &light_clip; }

void graphicsLightCol(float r, float g, float b) {
    bufferUniform3f(off_lightcol, r, g, b);
    scene_light.color = {r, g, b};
}

void graphicsTerrainGrid(int show) {
    useShader(shader_terrain);
    glUniform1i(uni_ter_grid, show);
    scene_light.grid = show;
}

SceneLight graphicsSceneLight(void) { return scene_light; }
