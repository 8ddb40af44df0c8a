// The browser side of the platform layer, built with Emscripten for WebGL 2.
// The page (web/index.html) hosts the canvas and keeps what a desktop keeps
// in files: config.txt and error.log in the browser's storage, help.txt as
// the text beside the canvas. The loop runs once per animation frame (as
// often as timers allow while the scene builds), the canvas's drawing
// buffer follows its size on the page times the device pixel ratio, and the
// GLFW 3.3 calls that Emscripten's GLFW (3.2) lacks or leaves empty are
// completed here: content scale, full screen through the browser's
// Fullscreen API, and the swap interval.
//
// Every name between the page and Knoll, in one table. The page makes
// Module (web/knoll-page.js's startKnoll; web/knoll-bench.js and
// web/knoll-loader.js add theirs) with these members, which Knoll calls:
//   knollStoreFile(name, text)         a file replaced; 1 when storage refused it
//   knollAddressSettings               the address's settings as config.txt lines
//   knollSettings(table)               the settings in force, with their ranges
//   knollFrameShown()                  the first frame, the logo, is on the screen
//   knollStarted()                     the start-up is complete
//   knollContext(state)                the GL context lost (0), back (1), not rebuilt (2)
//   knollStartupFailed(message, step)  a start-up step failed (StartupStep)
//   knollPicture(name)                 a downloaded picture (image_source_page.cpp)
//   knollPicturesAgain()               the pictures once more, for a context given back
//   knollPicturesReady()               1 once they are all there
//   knollReport(text, csv)             a benchmark's report and its frames
//   knollDownload(name, bytes)         a saved picture, offered as a download
//   knollTerrain(line, failed)         a terrain refused (its line) or open (its summary)
// Knoll exports these, which the page calls once the runtime is up:
//   _knollTouchLook(dx, dy), _knollTouchMove(bits), _knollCommand(key)  (below)
//   _knollSavePicture()                the next frame saved, as with the P key
//   _knollOpenTerrain(path, splat)     a heightmap in Knoll's file system to fly over
//   _knollTouchFast(on)                the fast control held or let go
#include "platform.h"

#include <GLFW/glfw3.h>
#include <emscripten.h>
#include <emscripten/html5.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "app.h"
#include "config.h"
#include "screenshot.h"

// ------------------------------------------------------------ constants ----

// The largest device pixel ratio the canvas's drawing buffer follows, and
// the most pixels it may have: beyond them a frame costs more than the
// picture gains, above all on a software rasterizer. The cap takes back only
// what a high-density display adds: the buffer keeps at least one pixel per
// CSS pixel, which the browser would otherwise stretch, blurring the picture
// and the counter with it.
static const double MAX_PIXEL_RATIO = 2.0;
static const double MAX_BUFFER_PIXELS = 2560.0 * 1600.0;

enum { ADDRESS_SETTINGS_SIZE = 4096 };
// How often a context given back looks whether the page's pictures are there.
enum { REBUILD_POLL_MS = 50 };

// ---------------------------------------------------------------- state ----

static const LoopHooks *loop;
static int swap_interval = 1;
static float content_scale = 1.0f;
static GLFWwindowcontentscalefun content_scale_callback;
static GLFWvidmode screen_mode;
static char address_settings[ADDRESS_SETTINGS_SIZE];

// ----------------------------------------------------- the loop's pace ----

// While the scene builds, the loop turns as often as the browser's timers
// allow: each step of the build waits for the GL work of the one before,
// whose fence signals between the page's tasks, and a turn per animation
// frame held every step to a frame (measured on llvmpipe: the build 0.65 s
// that way, 0.35 s this way).
static void turnForBuild(void) { emscripten_set_main_loop_timing(EM_TIMING_SETTIMEOUT, 0); }

// A built scene turns on the browser's animation frames, every
// swap_interval-th of them (a page cannot show frames faster than the
// display, so 0 counts as 1).
static void turnForFrames(void) {
    emscripten_set_main_loop_timing(EM_TIMING_RAF, swap_interval > 1 ? swap_interval : 1);
}

// ------------------------------------------------------------ the page ----

// clang-format off
EM_JS(int, pageStoreFile, (const char *name, const char *text, size_t length), {
    var hook = Module["knollStoreFile"];
    return hook ? hook(UTF8ToString(name), UTF8ToString(text, length)) : 1;
});

// The address's settings as config.txt lines into out (size bytes, cut
// short there).
EM_JS(void, pageAddressSettings, (char *out, int size), {
    stringToUTF8(Module["knollAddressSettings"] || "", out, size);
});

EM_JS(void, pageSettings, (const char *table), {
    var hook = Module["knollSettings"];
    if (hook) hook(UTF8ToString(table));
});

EM_JS(void, pageFrameShown, (void), {
    var hook = Module["knollFrameShown"];
    if (hook) hook();
});

EM_JS(void, pageStarted, (void), {
    var hook = Module["knollStarted"];
    if (hook) hook();
});

// Says on the page that the GL context is lost (state 0), back (1), or could
// not be rebuilt (2).
EM_JS(void, pageContext, (int state), {
    var hook = Module["knollContext"];
    if (hook) hook(state);
});

// The page's decoded pictures went with a lost context: it loads them again
// (from its cache), and says when they are all there.
EM_JS(void, pagePicturesAgain, (void), {
    var hook = Module["knollPicturesAgain"];
    if (hook) hook();
});

EM_JS(int, pagePicturesReady, (void), {
    var hook = Module["knollPicturesReady"];
    return hook ? hook() : 1;
});

// A context given back has none of the extensions of the lost one turned on.
EM_JS(void, pageEnableExtensions, (void), {
    var context = GL.currentContext;
    context.initExtensionsDone = false;
    GL.initExtensions(context);
});

// The step that failed, a StartupStep, and its message.
EM_JS(void, pageStartupFailed, (int step, const char *message), {
    var hook = Module["knollStartupFailed"];
    if (hook) hook(UTF8ToString(message), step);
});

// Frees every GL object at once: the browser would otherwise keep the
// context until the page goes.
EM_JS(void, pageReleaseContext, (void), {
    var context = GL.currentContext && GL.currentContext.GLctx;
    var lose = context && context.getExtension("WEBGL_lose_context");
    if (lose) lose.loseContext();
});

// Gives the page the window size asked for, whose shape the canvas keeps
// while it fills its area (web/knoll-page.css). The drawing buffer's size is
// this file's to keep: a newer Emscripten's GLFW, asked to scale to the
// monitor, would size the canvas by itself, in its own way.
// scale_attribute is GLFW's number of the scale-to-monitor attribute.
EM_JS(void, pagePlaceCanvas, (int width, int height, int scale_attribute), {
    var canvas = Module["canvas"];
    if (GLFW.active && GLFW.active.attributes) GLFW.active.attributes[scale_attribute] = 0;
    canvas.style.removeProperty("width");
    canvas.style.removeProperty("height");
    canvas.style.setProperty("--knoll-width", width);
    canvas.style.setProperty("--knoll-height", height);
});

// Brings the drawing buffer to the canvas's size on the page times the
// capped device pixel ratio, telling GLFW's window of a change. Returns the
// ratio in force (buffer pixels per CSS pixel), never below 1 where the
// display has at least one device pixel per CSS pixel.
EM_JS(double, pageSyncCanvas, (double max_ratio, double max_pixels), {
    var canvas = Module["canvas"];
    var css_w = Math.max(canvas.clientWidth, 1), css_h = Math.max(canvas.clientHeight, 1);
    var ratio = Math.min(window.devicePixelRatio || 1, max_ratio);
    ratio = Math.max(Math.min(ratio, Math.sqrt(max_pixels / (css_w * css_h))), Math.min(ratio, 1));
    var w = Math.max(Math.round(css_w * ratio), 1), h = Math.max(Math.round(css_h * ratio), 1);
    if (canvas.width != w || canvas.height != h) {
        canvas.width = w;
        canvas.height = h;
        if (GLFW.active) {
            // Emscripten 3.1.6 keeps one size; newer ones keep the
            // framebuffer's beside the window's.
            GLFW.active.width = GLFW.active.framebufferWidth = w;
            GLFW.active.height = GLFW.active.framebufferHeight = h;
            GLFW.onWindowSizeChanged();
            GLFW.onFramebufferSizeChanged();
        }
    }
    return ratio;
});

EM_JS(int, pageFullscreen, (void), {
    return document.fullscreenElement ? 1 : 0;
});

// Full screen for the canvas's stage (the canvas with nothing else of the
// page), or back. The browser asks for a user's action first: a key or a
// button, as here.
EM_JS(void, pageSetFullscreen, (int on), {
    if (on && !document.fullscreenElement) {
        var stage = Module["canvas"].parentElement;
        if (stage.requestFullscreen) stage.requestFullscreen().catch(function() {});
    } else if (!on && document.fullscreenElement) {
        document.exitFullscreen().catch(function() {});
    }
});

// How long ago, in seconds, the event being handled now happened; negative
// outside an event's handler.
EM_JS(double, pageEventAge, (void), {
    var event = window.event;
    if (!event || !(event.timeStamp > 0)) return -1;
    return Math.max(performance.now() - event.timeStamp, 0) / 1000;
});

EM_JS(int, pageScreenWidth, (void), { return screen.width; });
EM_JS(int, pageScreenHeight, (void), { return screen.height; });
// Offers the bytes as a download named name.
EM_JS(void, pageDownload, (const char *name, const void *bytes, size_t size), {
    var hook = Module["knollDownload"];
    if (hook) hook(UTF8ToString(name), HEAPU8.slice(bytes, bytes + size));
});

// Shows a finished benchmark's report, with its CSV, on the page.
EM_JS(void, pageReport, (const char *text, const char *csv), {
    var hook = Module["knollReport"];
    if (hook) hook(UTF8ToString(text), csv ? UTF8ToString(csv) : "");
});

// Tells the page about the terrain: a bad file's line (failed 1) or the new
// terrain's summary (failed 0).
EM_JS(void, pageTerrain, (const char *line, int failed), {
    var hook = Module["knollTerrain"];
    if (hook) hook(UTF8ToString(line), failed);
});
// clang-format on

// ------------------------------------------------------------ error log ----

// Standard error already reaches the page line by line: the console, and
// error.log in the browser's storage.
int logOpen(const char *path) {
    (void)path;
    return 0;
}

// ------------------------------------------------------ replacing files ----

// The file is replaced in the in-memory file system and kept in the
// browser's storage for the next visit; a storage that is full or refused
// (private browsing) leaves the file unsaved, which the page logs.
int fileReplace(const char *path, const char *text, size_t length) {
    FILE *file = fopen(path, "wb");
    if (file) {
        fwrite(text, 1, length, file);
        fclose(file);
    }
    return pageStoreFile(path, text, length);
}

// ------------------------------------------------------------- start-up ----

void settingsInForce(const char *table) { pageSettings(table); }

void windowPlatformHint(void) {}

// Emscripten's GLFW answers a position, which leaving full screen
// (glfwSetWindowMonitor below) has no use for.
int windowPositionKnown(void) { return 1; }

void contextHints(void) {}

// Window class names belong to X11, app_id to Wayland.
void windowNameHints(void) {}

int optionsAnswered(void) { return 0; }

// A page's files are its downloads: there is no folder to miss.
int fileFolderExists(const char *path) {
    (void)path;
    return 1;
}

int pictureSave(const char *path, const void *png, size_t size) {
    const char *slash = strrchr(path, '/');
    pageDownload(slash ? slash + 1 : path, png, size);
    return 0;
}

int reportShow(const char *text, const char *csv) {
    pageReport(text, csv);
    return 0;
}

void startupFrameShown(void) { pageFrameShown(); }

void startupDone(void) {
    turnForFrames();
    pageStarted();
}

double inputEventTime(void) {
    double age = pageEventAge();
    return age < 0.0 ? -1.0 : glfwGetTime() - age;
}

const char *settingOverrides(void) {
    pageAddressSettings(address_settings, sizeof(address_settings));
    return address_settings;
}

int workerThreads(void) { return 0; }

// A page's files are in Emscripten's memory file system, ASCII or not.
int fileOpenRead(const char *path, FILE **file, uint64_t *size) {
    *file = fopen(path, "rb");
    if (!*file) return errno;
    long end = fseek(*file, 0, SEEK_END) == 0 ? ftell(*file) : -1;
    rewind(*file);
    *size = end < 0 ? 0 : (uint64_t)end;
    return 0;
}

char **commandLineUtf8(int argc, char **argv) {
    (void)argc;
    return argv;
}

void inputErrorShow(const char *line) {
    fputs(line, stderr);
    pageTerrain(line, 1);
}

void terrainOpened(const char *summary) { pageTerrain(summary, 0); }

int glExtensionEnabled(const char *name) {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_get_current_context();
    return context && emscripten_webgl_enable_extension(context, name);
}

void reportStartupFailure(StartupStep step, const char *message) {
    pageStartupFailed(step, message);
}

void processExit(int status) {
    pageReleaseContext();
    emscripten_force_exit(status);
    __builtin_unreachable();
}

// ------------------------------------------------------------- the loop ----

// One animation frame: the canvas follows the page, then one turn of the
// loop; the last turn ends the program.
static void animationFrame(void) {
    double ratio = pageSyncCanvas(MAX_PIXEL_RATIO, MAX_BUFFER_PIXELS);
    if ((float)ratio != content_scale) {
        content_scale = (float)ratio;
        GLFWwindow *window = glfwGetCurrentContext();
        if (content_scale_callback && window)
            content_scale_callback(window, content_scale, content_scale);
    }
    if (loop->turn()) return;
    emscripten_cancel_main_loop();
    loop->finish();
}

// The browser took the GL context away (another tab, a driver reset): the
// loop waits, with no GL call that could only fail, until it is back.
static EM_BOOL contextLost(int type, const void *reserved, void *data) {
    (void)type;
    (void)reserved;
    (void)data;
    emscripten_pause_main_loop();
    pageContext(0);
    pagePicturesAgain();
    return EM_TRUE;  // asks the browser to give the context back
}

// Keys and touches held when the page lost the input end there: their
// releases go elsewhere.
static EM_BOOL inputGone(int type, const EmscriptenFocusEvent *event, void *data) {
    (void)type;
    (void)event;
    (void)data;
    inputRelease();
    return EM_FALSE;
}

static EM_BOOL visibilityChanged(int type, const EmscriptenVisibilityChangeEvent *event,
                                 void *data) {
    (void)type;
    (void)data;
    if (event->hidden) inputRelease();
    return EM_FALSE;
}

// Once the page has its pictures again, the loop's turns rebuild the scene
// a slice at a time, as at start-up, so that the page never waits long for
// its turn.
static void rebuildWhenReady(void *data) {
    (void)data;
    if (!pagePicturesReady()) {
        emscripten_async_call(rebuildWhenReady, NULL, REBUILD_POLL_MS);
        return;
    }
    loop->rebuild();
    turnForBuild();
    emscripten_resume_main_loop();
}

static EM_BOOL contextRestored(int type, const void *reserved, void *data) {
    (void)type;
    (void)reserved;
    pageEnableExtensions();
    rebuildWhenReady(data);
    return EM_TRUE;
}

void contextRebuilt(int failed) {
    if (failed)
        emscripten_pause_main_loop();
    else
        turnForFrames();
    pageContext(failed ? 2 : 1);
}

// The canvas takes the window size asked for as its shape on the page; the
// loop then builds the scene and runs it. The drawing buffer first follows
// the page in the loop's first turn:
// GLFW's callbacks must not run before main has handed the runtime to the
// loop, or Emscripten takes their return for the program's end.
void runLoop(const LoopHooks *hooks, int width, int height) {
    loop = hooks;
    emscripten_set_webglcontextlost_callback("#canvas", NULL, EM_FALSE, contextLost);
    emscripten_set_webglcontextrestored_callback("#canvas", NULL, EM_FALSE, contextRestored);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, NULL, EM_FALSE, inputGone);
    emscripten_set_visibilitychange_callback(NULL, EM_FALSE, visibilityChanged);
    pagePlaceCanvas(width, height, GLFW_SCALE_TO_MONITOR);
    emscripten_set_main_loop(animationFrame, 0, 0);
    turnForBuild();
    emscripten_exit_with_live_runtime();
    __builtin_unreachable();
}

// ----------------------------------------------------- the page's calls ----

// The page's "Save picture": the next frame is saved, as with the P key.
extern "C" EMSCRIPTEN_KEEPALIVE void knollSavePicture(void) { screenshotRequest(); }

// A file the page wrote into Knoll's file system (its picker, a drop, an
// address): checked now, loaded over the next turns while the terrain of now
// runs on. splat_path may be NULL. Returns 0, or 1 when refused (said
// through knollTerrain).
extern "C" EMSCRIPTEN_KEEPALIVE int knollOpenTerrain(const char *path, const char *splat_path) {
    return sceneOpenTerrain(path, splat_path);
}

// ---------------------------------------------------- GLFW, completed ----

extern "C" {

// Kept for the loop, which starts after the window: Emscripten's own version
// needs a running loop to set.
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

// ------------------------------------------------------ the page's input ----
// The page's touch controls and buttons call these, once the runtime is up,
// as Module._knollTouchLook(dx, dy), Module._knollTouchMove(bits) and
// Module._knollCommand(key); cmake/web.cmake exports them.

extern "C" {

// Turns the camera as a right-drag of the cursor by (dx, dy) screen units
// would: a finger's motion in CSS pixels, scaled by the page to the canvas's
// CSS size. Acts in the next turn, while the scene runs.
void knollTouchLook(double dx, double dy) { inputLook(dx, dy); }

// The move control's held directions until the next call: bit 0 left, 1
// right, 2 forward, 3 back; 0 lets go of all.
void knollTouchMove(int bits) { inputMove(bits); }

// Runs a key's command as its press would, by GLFW key code: E 69, F 70,
// R 82, Home 268, F11 300.
void knollCommand(int key) { inputCommand(key); }

// The page's fast control: on flies eight times as fast, as Shift held.
extern "C" EMSCRIPTEN_KEEPALIVE void knollTouchFast(int on) { inputFast(on); }

}  // extern "C"
