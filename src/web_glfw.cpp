// What Knoll's page takes from inside Emscripten's GLFW, each with why, as
// read in Emscripten's library_glfw.js of 3.1.6 (Debian 12, built and tested
// here) and of 3.1.69 (Debian 13):
// - The window's size, written into GLFW.active with its two callbacks
//   (windowFollowsCanvas): the drawing buffer follows the canvas's CSS size
//   times the device pixel ratio, capped (platform_web.cpp), and no public
//   call tells GLFW of a size it did not set. glfwSetWindowSize, the nearest,
//   takes a size equal to the screen's for a request of Emscripten's own
//   full screen in 3.1.6: measured on the page, it moved the canvas out of
//   the page's layout into a container of Emscripten's (the buffer at a
//   ratio of 1 in full screen is that size). In 3.1.69 it sizes the buffer
//   through Browser.setCanvasSize, which in full screen of the canvas's
//   parent, as the page's is, makes it the screen's CSS size whatever the
//   device pixel ratio.
// - glfwSwapInterval: Emscripten's sets the main loop's timing, which fails
//   before the loop runs (both), and Knoll asks for it with the window.
// - glfwGetWindowContentScale and its callback: missing in 3.1.6; in 3.1.69
//   they report the device pixel ratio, not the capped one in force.
// - glfwGetVideoMode, glfwGetWindowMonitor, glfwSetWindowMonitor: none,
//   the window's monitor at creation, and a throw, in both.
// Nothing else is needed: GLFW_SCALE_TO_MONITOR, with which 3.1.69's GLFW
// sizes the canvas itself, is turned off by a window hint
// (platform_web.cpp), a context given back turns its extensions on through
// Emscripten's public calls, and the page's pictures and the context's
// release reach the context through the canvas (page_bridge.cpp).
#include "web_glfw.h"

#include <GLFW/glfw3.h>
#include <emscripten.h>

#include "page_bridge.h"

// ---------------------------------------------------------------- state ----

static int swap_interval = 1;
static float content_scale = 1.0f;
static GLFWwindowcontentscalefun content_scale_callback;
static GLFWvidmode screen_mode;

// ------------------------------------------------------------ functions ----

// clang-format off
// Emscripten 3.1.6 keeps one size; 3.1.69 keeps the framebuffer's beside the
// window's, which a page without GLFW_SCALE_TO_MONITOR keeps equal.
EM_JS(void, windowFollowsCanvas, (void), {
    var canvas = Module["canvas"];
    if (!GLFW.active) return;
    GLFW.active.width = GLFW.active.framebufferWidth = canvas.width;
    GLFW.active.height = GLFW.active.framebufferHeight = canvas.height;
    GLFW.onWindowSizeChanged();
    GLFW.onFramebufferSizeChanged();
});
// clang-format on

int webGlfwSwapInterval(void) { return swap_interval; }

void webGlfwContentScale(float scale) {
    if (scale == content_scale) return;
    content_scale = scale;
    GLFWwindow *window = glfwGetCurrentContext();
    if (content_scale_callback && window) content_scale_callback(window, scale, scale);
}

void webGlfwCanvasResized(void) { windowFollowsCanvas(); }

// ---------------------------------------------------- GLFW, completed ----

extern "C" {

// Kept for the loop, which starts after the window.
void glfwSwapInterval(int interval) { swap_interval = interval; }

void glfwGetWindowContentScale(GLFWwindow *window, float *xscale, float *yscale) {
    (void)window;
    if (xscale) *xscale = content_scale;
    if (yscale) *yscale = content_scale;
}

GLFWwindowcontentscalefun glfwSetWindowContentScaleCallback(GLFWwindow *window,
                                                            GLFWwindowcontentscalefun callback) {
    (void)window;
    GLFWwindowcontentscalefun previous = content_scale_callback;
    content_scale_callback = callback;
    return previous;
}

// The screen, in CSS pixels, as the one video mode.
const GLFWvidmode *glfwGetVideoMode(GLFWmonitor *monitor) {
    (void)monitor;
    screen_mode.width = pageScreenWidth();
    screen_mode.height = pageScreenHeight();
    screen_mode.redBits = screen_mode.greenBits = screen_mode.blueBits = 8;
    screen_mode.refreshRate = 60;
    return &screen_mode;
}

GLFWmonitor *glfwGetWindowMonitor(GLFWwindow *window) {
    (void)window;
    return pageFullscreen() ? glfwGetPrimaryMonitor() : NULL;
}

// Full screen on a monitor, a window without one; the canvas's size follows
// by itself.
void glfwSetWindowMonitor(GLFWwindow *window, GLFWmonitor *monitor, int x, int y, int width,
                          int height, int refresh) {
    (void)window;
    (void)x;
    (void)y;
    (void)width;
    (void)height;
    (void)refresh;
    pageSetFullscreen(monitor != NULL);
}

}  // extern "C"
