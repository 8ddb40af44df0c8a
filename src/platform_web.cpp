// The browser side of the platform layer, built with Emscripten for WebGL 2.
// The page (web/index.html) hosts the canvas and keeps what a desktop keeps
// in files: config.txt and error.log in the browser's storage, help.txt as
// the text beside the canvas. The loop runs once per animation frame (as
// often as timers allow while the scene builds), and the canvas's drawing
// buffer follows its size on the page times the device pixel ratio. The
// page is reached through page_bridge.cpp, Emscripten's GLFW completed in
// web_glfw.cpp.
#include "platform.h"

#include <GLFW/glfw3.h>
#include <emscripten.h>
#include <emscripten/html5.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "config.h"
#include "page_bridge.h"
#include "web_glfw.h"

// ------------------------------------------------------------ constants ----

// The most pixels the canvas's drawing buffer may have: beyond them a frame
// costs more than the picture gains, above all on a software rasterizer. The
// cap takes back only what a high-density display adds, and in whole steps:
// a buffer pixel then covers 2 x 2 (or 3 x 3...) device pixels, which the
// browser repeats unblurred (web/knoll-page.css), so the counter stays sharp.
// The buffer keeps at least one pixel per CSS pixel.
static const double MAX_BUFFER_PIXELS = 2560.0 * 1600.0;

// How often a context given back looks whether the page's pictures are there.
enum { REBUILD_POLL_MS = 50 };

// ---------------------------------------------------------------- state ----

static const LoopHooks *loop;

// ----------------------------------------------------- the loop's pace ----

// While the scene builds, the loop turns as often as the browser's timers
// allow: each step of the build waits for the GL work of the one before,
// whose fence signals between the page's tasks, and a turn per animation
// frame held every step to a frame (measured on llvmpipe: the build 0.65 s
// that way, 0.35 s this way).
static void turnForBuild(void) { emscripten_set_main_loop_timing(EM_TIMING_SETTIMEOUT, 0); }

// A built scene turns on the browser's animation frames, every one of
// the swap interval's (a page cannot show frames faster than the display,
// so 0 counts as 1).
static void turnForFrames(void) {
    int interval = webGlfwSwapInterval();
    emscripten_set_main_loop_timing(EM_TIMING_RAF, interval > 1 ? interval : 1);
}

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
// (glfwSetWindowMonitor, web_glfw.cpp) has no use for.
int windowPositionKnown(void) { return 1; }

// The drawing buffer's size is this platform's to keep: Emscripten's GLFW,
// asked to scale to the monitor, would size the canvas by itself, in its
// own way (3.1.51 and later).
void windowHints(void) { glfwWindowHint(GLFW_SCALE_TO_MONITOR, GLFW_FALSE); }

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

const char *pictureFolder(void) { return ""; }

int reportShow(const char *text, const char *csv) {
    pageReport(text, csv);
    return 0;
}

void startupFrameShown(void) { pageFrameShown(); }

void startupDone(void) {
    turnForFrames();
    pageHelp(help_text);
    pageStarted();
}

double inputEventTime(void) {
    double age = pageEventAge();
    return age < 0.0 ? -1.0 : glfwGetTime() - age;
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
    if (emscripten_webgl_get_current_context()) pageReleaseContext();
    emscripten_force_exit(status);
    __builtin_unreachable();
}

// ------------------------------------------------------------- the loop ----

// One animation frame: the canvas follows the page, then one turn of the
// loop; the last turn ends the program.
static void animationFrame(void) {
    double ratio;
    if (pageSyncCanvas(MAX_BUFFER_PIXELS, &ratio)) webGlfwCanvasResized();
    webGlfwContentScale((float)ratio);
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

// Keys held when the page lost the input end there: their releases go
// elsewhere. The page lets go of its own fingers.
static EM_BOOL inputGone(int type, const EmscriptenFocusEvent *event, void *data) {
    (void)type;
    (void)event;
    (void)data;
    loop->release();
    return EM_FALSE;
}

static EM_BOOL visibilityChanged(int type, const EmscriptenVisibilityChangeEvent *event,
                                 void *data) {
    (void)type;
    (void)data;
    if (event->hidden) loop->release();
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

// 1 when text holds part.
static int holds(const char *text, const char *part) {
    for (size_t length = strlen(part); *text; text++)
        if (strncmp(text, part, length) == 0) return 1;
    return 0;
}

// A context given back has none of the lost one's extensions turned on:
// every one the browser offers is, as Emscripten does for a new context,
// but for those that lose the context or show its driver.
static void enableExtensions(void) {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_get_current_context();
    char *names = emscripten_webgl_get_supported_extensions();
    for (char *name = strtok(names, " "); name; name = strtok(NULL, " "))
        if (!holds(name, "lose_context") && !holds(name, "debug"))
            emscripten_webgl_enable_extension(context, name);
    free(names);
}

static EM_BOOL contextRestored(int type, const void *reserved, void *data) {
    (void)type;
    (void)reserved;
    enableExtensions();
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
    pagePlaceCanvas(width, height);
    emscripten_set_main_loop(animationFrame, 0, 0);
    turnForBuild();
    emscripten_exit_with_live_runtime();
    __builtin_unreachable();
}
