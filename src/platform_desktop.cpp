// What the desktop systems, POSIX and Windows alike, answer in the platform
// layer: GLFW's platform and the window's names, threads of its own, a loop
// that runs its turns back to back, and no settings from outside config.txt.
#include <GLFW/glfw3.h>
#include <stdlib.h>

#include "platform.h"

// ------------------------------------------------------------ constants ----

// The name the desktop knows the program by: its desktop entry is
// knoll.desktop, whose StartupWMClass says the same.
static const char *const APP_NAME = "knoll";

// GLFW 3.4 says which platform it runs on and takes Wayland's app_id; 3.3
// knows only X11 here.
#define KNOLL_GLFW_34 \
    (GLFW_VERSION_MAJOR > 3 || (GLFW_VERSION_MAJOR == 3 && GLFW_VERSION_MINOR >= 4))

// ------------------------------------------------------------ functions ----

#if KNOLL_GLFW_34
void windowPlatformHint(void) {
    const char *x11 = getenv("DISPLAY"), *wayland = getenv("WAYLAND_DISPLAY");
    // A Windows GLFW has no X11, though DISPLAY is set under Wine or beside
    // an X server: asking for it there would fail glfwInit.
    if (x11 && *x11 && !(wayland && *wayland) && glfwPlatformSupported(GLFW_PLATFORM_X11))
        glfwInitHint(GLFW_PLATFORM, GLFW_PLATFORM_X11);
}

int windowPositionKnown(void) { return glfwGetPlatform() != GLFW_PLATFORM_WAYLAND; }

static void windowAppIdHint(void) { glfwWindowHintString(GLFW_WAYLAND_APP_ID, APP_NAME); }
#else
void windowPlatformHint(void) {}

int windowPositionKnown(void) { return 1; }

static void windowAppIdHint(void) {}
#endif

void windowNameHints(void) {
    windowAppIdHint();
    glfwWindowHintString(GLFW_X11_CLASS_NAME, APP_NAME);
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, APP_NAME);
}

int workerThreads(void) { return 1; }

const char *pictureFolder(void) { return "screenshots/"; }

int glExtensionEnabled(const char *name) { return glfwExtensionSupported(name); }

// A desktop's window decides its own size.
void runLoop(const LoopHooks *hooks, int width, int height) {
    (void)width;
    (void)height;
    while (hooks->turn()) {
    }
    hooks->finish();
    abort();  // finish ends the process
}

void settingsInForce(const char *table) { (void)table; }

void startupFrameShown(void) {}

void startupDone(void) {}

double inputEventTime(void) { return -1.0; }

void terrainOpened(const char *summary) { (void)summary; }

// A desktop's GL context is never lost.
void contextRebuilt(int failed) { (void)failed; }
