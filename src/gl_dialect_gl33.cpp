// The OpenGL 3.3 core side of the GL dialect: the window framebuffer encodes
// sRGB itself, and unsized formats let GL pick the storage.
#include "gl_dialect.h"

#include <GLFW/glfw3.h>

// ------------------------------------------------------------ functions ----

void glContextHints(void) {
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_SRGB_CAPABLE, GLFW_TRUE);
}

TextureFormat textureFormat(TextureKind kind) {
    switch (kind) {
    case TEXTURE_SRGB_ALPHA: return {GL_SRGB_ALPHA, GL_RGBA, 4};
    case TEXTURE_SRGB_ARRAY: return {GL_SRGB, GL_RGB, 3};
    case TEXTURE_INDEX: return {GL_RED, GL_RED, 1};
    case TEXTURE_LINEAR: break;
    }
    return {GL_RGB, GL_RGB, 3};
}

GLint depthTextureFormat(void) { return GL_DEPTH_COMPONENT; }

void textureLodBias(GLenum target, float bias) {
    glTexParameterf(target, GL_TEXTURE_LOD_BIAS, bias);
}

GLenum blurSecondAttachment(void) { return GL_COLOR_ATTACHMENT1; }

void enableWindowState(void) {
    glEnable(GL_FRAMEBUFFER_SRGB);
    glEnable(GL_MULTISAMPLE);
}

void clearWindow(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void gpuMark(void) {}

int gpuCaughtUp(void) { return 1; }

int gpuTimerSupported(void) {
    GLint bits = 0;
    glGetQueryiv(GL_TIME_ELAPSED, GL_QUERY_COUNTER_BITS, &bits);
    return bits > 0;
}

const char *gpuTimerMissing(void) { return "the OpenGL driver's timer queries count no time"; }

int gpuTimerDisjoint(void) { return 0; }
