// What OpenGL 3.3 core and WebGL 2 (OpenGL ES 3.0) spell differently, behind
// one interface: texture formats, the LOD bias, the window's sRGB encoding
// and multisampling, the blur's second target, and timer queries. gl_dialect_gl33.cpp and
// gl_dialect_webgl2.cpp implement it; the build picks one, together with the
// matching shader prelude (shaders/prelude_*.glsl).
#pragma once

#include <epoxy/gl.h>

// ---------------------------------------------------------------- types ----

enum TextureKind {
    TEXTURE_SRGB_ALPHA,  // colour with alpha: the HUD images, the grid, model albedo
    TEXTURE_SRGB_ARRAY,  // the materials' albedo layers, mipmapped
    TEXTURE_LINEAR,      // data: roughness-metalness-occlusion, normals, the BRDF table
    TEXTURE_INDEX,       // one byte a texel: the terrain's material indices
};

// How an image of one kind is decoded and uploaded.
struct TextureFormat {
    GLint internal;  // internal format
    GLenum format;   // format of the pixels handed to GL
    int channels;    // channels the image is decoded to
};

// ------------------------------------------------------------ functions ----

// Asks GLFW, before the window is made, for the context and window
// framebuffer this dialect is written for. Emscripten's GLFW makes its WebGL
// 2 context from the link settings, so the WebGL 2 dialect's request (OpenGL
// ES 3.0 with a linear framebuffer, as a canvas is) serves the desktop lane
// that tests the dialect without a browser.
void glContextHints(void);

TextureFormat textureFormat(TextureKind kind);

// The internal format of the shadow map's depth texture.
GLint depthTextureFormat(void);

// Sets the LOD bias of the texture bound to target where GL keeps one per
// texture; elsewhere the shader prelude's textureSharp applies it.
void textureLodBias(GLenum target, float bias);

// The colour attachment of the blur's second target (the moment map).
GLenum blurSecondAttachment(void);

// Enables the window framebuffer's sRGB encoding and multisampling where GL
// has switches for them.
void enableWindowState(void);

// Clears the bound window framebuffer's colour and depth to the linear
// colour (r, g, b), and leaves the linear colour as the clear colour.
void clearWindow(float r, float g, float b);

// Marks the GL work issued so far, for gpuCaughtUp.
void gpuMark(void);

// Whether the GL work before the last gpuMark is done. WebGL runs it in
// another process, where asking for an error or a status in the meantime
// waits for all of it; GL 3.3 runs it in this one, always caught up.
int gpuCaughtUp(void);

// 1 when GL_TIME_ELAPSED queries count time: core in GL 3.3 (a driver may
// still give them no bits), an extension a browser may leave out in WebGL 2.
int gpuTimerSupported(void);

// Why passes go untimed where gpuTimerSupported says 0, for a report.
const char *gpuTimerMissing(void);

// 1 when something (a power state change, another program) made the timer
// results since the last call meaningless; GL 3.3 has no such notice.
int gpuTimerDisjoint(void);
