// Emscripten's GLFW header with the GLFW 3.3 declarations Knoll uses that it
// lacks: window hint strings, content scale. src/platform_web.cpp defines
// the functions. A newer Emscripten that declares them too declares them
// alike.
#pragma once

#include_next <GLFW/glfw3.h>

#ifndef GLFW_SCALE_TO_MONITOR
#define GLFW_SCALE_TO_MONITOR 0x0002200C
#endif
#ifndef GLFW_X11_CLASS_NAME
#define GLFW_X11_CLASS_NAME 0x00024001
#define GLFW_X11_INSTANCE_NAME 0x00024002
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*GLFWwindowcontentscalefun)(GLFWwindow *window, float xscale, float yscale);

void glfwWindowHintString(int hint, const char *value);
void glfwGetWindowContentScale(GLFWwindow *window, float *xscale, float *yscale);
GLFWwindowcontentscalefun glfwSetWindowContentScaleCallback(GLFWwindow *window,
                                                            GLFWwindowcontentscalefun callback);

#ifdef __cplusplus
}
#endif
