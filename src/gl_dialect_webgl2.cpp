// The WebGL 2 side of the GL dialect. WebGL takes only sized formats whose
// pixel format matches exactly, has no sRGB switch for the canvas (whose
// framebuffer is always linear) and no LOD bias parameter, and a draw into
// a colour attachment the program does not write is an error there.
#include "gl_dialect.h"

#include <GLFW/glfw3.h>
#include <math.h>

#include "platform.h"

// ---------------------------------------------------------------- state ----

static GLsync gpu_mark;  // the fence after the work gpuMark marked

// ------------------------------------------------------------ functions ----

void glContextHints(void) {
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_ES_API);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    glfwWindowHint(GLFW_SRGB_CAPABLE, GLFW_FALSE);
}

TextureFormat textureFormat(TextureKind kind) {
    switch (kind) {
    case TEXTURE_SRGB_ALPHA: return {GL_SRGB8_ALPHA8, GL_RGBA, 4};
    // SRGB8 cannot have its mipmaps generated; the alpha channel is unused.
    case TEXTURE_SRGB_ARRAY: return {GL_SRGB8_ALPHA8, GL_RGBA, 4};
    case TEXTURE_INDEX: return {GL_R8, GL_RED, 1};
    case TEXTURE_LINEAR: break;
    }
    return {GL_RGB8, GL_RGB, 3};
}

GLint depthTextureFormat(void) { return GL_DEPTH_COMPONENT32F; }

void textureLodBias(GLenum target, float bias) {
    (void)target;
    (void)bias;
}

// The blur program writes location 0, and WebGL maps location i to
// attachment i only.
GLenum blurSecondAttachment(void) { return GL_COLOR_ATTACHMENT0; }

void enableWindowState(void) {}

// sRGB encoding of one linear channel, as an sRGB framebuffer stores it.
static float encodeSrgb(float c) {
    if (c <= 0.0031308f) return c * 12.92f;
    return 1.055f * powf(c, 1.0f / 2.4f) - 0.055f;
}

// The canvas stores what it is given, so the clear colour is encoded here;
// the linear colour is put back for the moment map's clear.
void clearWindow(float r, float g, float b) {
    glClearColor(encodeSrgb(r), encodeSrgb(g), encodeSrgb(b), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(r, g, b, 1.0f);
}

// The fence's status changes only between the page's tasks, so a caller asks
// again on a later turn. A fence of a context that was lost is none in the
// context given back: nothing to wait for, nothing to delete.
static void forgetMark(void) {
    if (glIsSync(gpu_mark)) glDeleteSync(gpu_mark);
    gpu_mark = 0;
}

void gpuMark(void) {
    forgetMark();
    gpu_mark = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
}

int gpuCaughtUp(void) {
    if (!gpu_mark) return 1;
    if (glIsSync(gpu_mark) && glClientWaitSync(gpu_mark, 0, 0) == GL_TIMEOUT_EXPIRED) return 0;
    forgetMark();
    return 1;
}

// Browsers offer the extension only where the timer cannot be used to learn
// about other pages (Chromium with a GPU; not with SwiftShader).
int gpuTimerSupported(void) {
    return glExtensionEnabled("EXT_disjoint_timer_query_webgl2");
}

const char *gpuTimerMissing(void) {
    return "this browser offers no EXT_disjoint_timer_query_webgl2";
}

int gpuTimerDisjoint(void) {
    GLint disjoint = 0;
    glGetIntegerv(GL_GPU_DISJOINT_EXT, &disjoint);
    return disjoint != 0;
}
