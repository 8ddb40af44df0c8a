// The renderer's state: the cache in front of every GL bind, the writers into
// the shared uniform block, error reporting, viewport and camera, light, fog
// and sky.
#pragma once

#include <epoxy/gl.h>
#include <stdint.h>

#include "knoll_math.h"

// ---------------------------------------------------------------- state ----

extern int32_t view_wid, view_hei;  // framebuffer size of the main pass, pixels
extern float hud_scale;             // framebuffer pixels per HUD unit, 1 by default
extern float sky_r, sky_g, sky_b;   // linear clear colour of the running scene

// ---------------------------------------------------------------- types ----

// The light and the grid as last set: what a rebuild of the GL objects must
// restore.
struct SceneLight {
    Vec3 direction, color;
    int grid;
};

// ------------------------------------------------------- the bind cache ----
// Every bind of a framebuffer, viewport, vertex array, program or texture goes
// through these; each makes its GL call only when the binding changes.

void useFramebuffer(GLuint framebuffer);
void useViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void useVao(GLuint vao);
void useShader(GLuint program);
// Binds texture on unit under target (GL_TEXTURE_2D or GL_TEXTURE_2D_ARRAY)
// unless the unit holds it already, under either target: a name keeps the
// target it was first bound to. Activates unit only when it binds, so after
// a skipped bind the active unit is still that of the last bind that reached GL.
void useTexture(GLuint unit, GLenum target, GLuint texture);
// Leaves texture bound on unit and that unit active, for an edit of the
// texture (glTexImage2D, glTexParameteri) that follows; binds only when the
// unit does not hold it already.
void useTextureForEdit(GLuint unit, GLenum target, GLuint texture);
// Forgets every binding, as for a new context: the next use of each binds.
void forgetBindings(void);

// ------------------------------------------------------ uniform writers ----
// Write into the buffer bound to GL_UNIFORM_BUFFER (the ushared block) at a
// byte offset queried from GL.

void bufferUniformMatrix4fv(GLint offset, const Mat4 *matrix);
void bufferUniform3f(GLint offset, float x, float y, float z);
void bufferUniform1f(GLint offset, float value);

// ------------------------------------------------------ error reporting ----

// Logs a non-empty compile log as one warning or error line; returns 1 when
// the shader did not compile.
int checkShaderErrors(GLuint shader);
// Drains every pending GL error, one line each with label. Returns 1 if any.
int graphicsCheckErrors(const char *label);
// The name of a GL error code, or its decimal value.
const char *getStringFromGlError(GLenum code);

// ------------------------------------------------------ viewport, camera ----

// Records a new framebuffer size. A zero-area size (a minimised window) is
// ignored, so the last real size stays in force until the next one arrives.
// Leaves shader_hud current.
void graphicsViewport(int32_t width, int32_t height);
// Writes proj, view, campos and fardist of this frame into ushared.
void graphicsCamera(Vec3 position, Quat orientation, float fov, float near, float far);

// The pixel projection of the HUD: origin top-left, y down, depth 0.
void hudProjection(Mat4 *out, int32_t width, int32_t height);
// Sets how many framebuffer pixels one HUD unit covers, the window's content
// scale, from the next HUD draw on. Takes a sane value, finite and
// positive; needs no GL, so it may come before graphicsInit.
void graphicsHudScale(float scale);

// ---------------------------------------------------- light, fog, sky ----

// sRGB-encoded to linear, in place, channel by channel.
void lRGB(float *r, float *g, float *b);
void graphicsFogColor(float r, float g, float b);
// d is the direction the light travels, any non-zero length.
void graphicsLightDir(Vec3 d);
void graphicsLightCol(float r, float g, float b);
// Leaves shader_terrain current.
void graphicsTerrainGrid(int show);
SceneLight graphicsSceneLight(void);

// World to shadow-map clip space for a light travelling along unit d: an
// orthographic 48-unit box around the light's centre.
void lightSpaceMatrix(Mat4 *out, Vec3 d);
// Stands the shadow box at centre, to the nearest texel across the light, for
// a terrain larger than the box: the direction stays. Writes ushared's
// lightspace when the box moves.
void graphicsLightCentre(Vec3 centre);
// The built-in patch's centre again, from the next graphicsLightDir on.
void graphicsLightCentreReset(void);
// World to clip space of the camera's last graphicsCamera and of the light's
// box: what the frame culls against.
const Mat4 *graphicsCameraClip(void);
const Mat4 *graphicsLightClip(void);
