// Every line of JavaScript Knoll runs, but for what it completes of
// Emscripten's GLFW (web_glfw.cpp): the page's hooks called by their names
// from page_boundary.h, the canvas, full screen and events of its document,
// the page's decoded pictures uploaded as WebGL takes them, and the exports
// the page calls, which go straight to the application.
#include "page_bridge.h"

#include <emscripten.h>

#include "app.h"
#include "screenshot.h"

// ------------------------------------------------------------ constants ----

#define HOOK_NAME(name, member, about) static const char HOOK_##name[] = #member;
KNOLL_PAGE_HOOKS(HOOK_NAME)
#undef HOOK_NAME

// ------------------------------------------------------ the page's hooks ----

// clang-format off
// Calls the page's hook name with no arguments; its answer as a number, or
// fallback where the page has no such hook.
EM_JS(int, hookCall, (const char *name, int fallback), {
    var hook = Module[UTF8ToString(name)];
    return hook ? hook() | 0 : fallback;
});

EM_JS(void, hookNumber, (const char *name, int number), {
    var hook = Module[UTF8ToString(name)];
    if (hook) hook(number);
});

EM_JS(void, hookText, (const char *name, const char *text), {
    var hook = Module[UTF8ToString(name)];
    if (hook) hook(UTF8ToString(text));
});

EM_JS(void, hookTextNumber, (const char *name, const char *text, int number), {
    var hook = Module[UTF8ToString(name)];
    if (hook) hook(UTF8ToString(text), number);
});

// Two texts, the second "" for NULL.
EM_JS(void, hookTexts, (const char *name, const char *text, const char *more), {
    var hook = Module[UTF8ToString(name)];
    if (hook) hook(UTF8ToString(text), more ? UTF8ToString(more) : "");
});

// A file's name and its text (length bytes); the hook's answer, 1 without one.
EM_JS(int, hookFile, (const char *name, const char *file, const char *text, size_t length), {
    var hook = Module[UTF8ToString(name)];
    return hook ? hook(UTF8ToString(file), UTF8ToString(text, length)) : 1;
});

// A file's name and a copy of its bytes.
EM_JS(void, hookBytes, (const char *name, const char *file, const void *bytes, size_t size), {
    var hook = Module[UTF8ToString(name)];
    if (hook) hook(UTF8ToString(file), HEAPU8.slice(bytes, bytes + size));
});

// The picture hook answers undefined while a picture is on its way, then
// {bitmap} or {error}; with take set it hands the picture over, once.
EM_JS(int, hookPictureArrived, (const char *name, const char *picture), {
    var hook = Module[UTF8ToString(name)];
    return !hook || hook(UTF8ToString(picture), false) !== undefined ? 1 : 0;
});

// Knoll keeps the pictures it took in Module.knollTaken until they are closed.
EM_JS(int, hookPictureTake, (const char *name, const char *file, int *width, int *height,
                             char *reason, int size), {
    var hook = Module[UTF8ToString(name)];
    file = UTF8ToString(file);
    var picture = hook ? hook(file, true) : {error: file + ": the page gives no pictures"};
    if (!picture || !picture.bitmap) {
        stringToUTF8(picture ? picture.error : file + " has not arrived", reason, size);
        return 0;
    }
    var taken = Module["knollTaken"] = Module["knollTaken"] || [null];
    taken.push(picture.bitmap);
    HEAP32[width >> 2] = picture.bitmap.width;
    HEAP32[height >> 2] = picture.bitmap.height;
    return taken.length - 1;
});

// -------------------------------------------- Knoll's own JavaScript ----

// The canvas's context is the one Knoll's GL calls draw with: getContext
// hands back the context a canvas has.
EM_JS(void, pagePictureUpload, (int picture, GLenum target, GLint internal, GLenum format,
                                int layer, int width, int height), {
    var bitmap = Module["knollTaken"][picture], gl = Module["canvas"].getContext("webgl2");
    if (target == 0x8C1A)  // TEXTURE_2D_ARRAY
        gl.texSubImage3D(target, 0, 0, 0, layer, width, height, 1, format, 0x1401, bitmap);
    else
        gl.texImage2D(target, 0, internal, width, height, 0, format, 0x1401, bitmap);
});

EM_JS(void, pagePictureRelease, (int picture), {
    var taken = Module["knollTaken"];
    taken[picture].close();
    taken[picture] = null;
});

EM_JS(void, pageReleaseContext, (void), {
    var lose = Module["canvas"].getContext("webgl2").getExtension("WEBGL_lose_context");
    if (lose) lose.loseContext();
});

EM_JS(void, pagePlaceCanvas, (int width, int height), {
    var canvas = Module["canvas"];
    canvas.style.removeProperty("width");
    canvas.style.removeProperty("height");
    canvas.style.setProperty("--knoll-width", width);
    canvas.style.setProperty("--knoll-height", height);
});

EM_JS(int, pageSyncCanvas, (double max_pixels, double *ratio), {
    var canvas = Module["canvas"];
    var css_w = Math.max(canvas.clientWidth, 1), css_h = Math.max(canvas.clientHeight, 1);
    var device = window.devicePixelRatio || 1, across = 1;
    while (device / (across + 1) >= 1 && css_w * css_h * Math.pow(device / across, 2) > max_pixels)
        across++;
    var scale = device / across;
    var w = Math.max(Math.round(css_w * scale), 1), h = Math.max(Math.round(css_h * scale), 1);
    HEAPF64[ratio >> 3] = scale;
    if (canvas.width == w && canvas.height == h) return 0;
    canvas.width = w;
    canvas.height = h;
    return 1;
});

EM_JS(int, pageFullscreen, (void), {
    return document.fullscreenElement ? 1 : 0;
});

EM_JS(void, pageSetFullscreen, (int on), {
    if (on && !document.fullscreenElement) {
        var stage = Module["canvas"].parentElement;
        if (stage.requestFullscreen) stage.requestFullscreen().catch(function() {});
    } else if (!on && document.fullscreenElement) {
        document.exitFullscreen().catch(function() {});
    }
});

EM_JS(double, pageEventAge, (void), {
    var event = window.event;
    if (!event || !(event.timeStamp > 0)) return -1;
    return Math.max(performance.now() - event.timeStamp, 0) / 1000;
});

EM_JS(int, pageScreenWidth, (void), { return screen.width; });
EM_JS(int, pageScreenHeight, (void), { return screen.height; });
// clang-format on

// ------------------------------------------------------------ functions ----

int pageStoreFile(const char *name, const char *text, size_t length) {
    return hookFile(HOOK_STORE_FILE, name, text, length);
}

void pageHelp(const char *text) { hookText(HOOK_HELP, text); }

void pageSettings(const char *table) { hookText(HOOK_SETTINGS, table); }

void pageFrameShown(void) { hookCall(HOOK_FRAME_SHOWN, 0); }

void pageStarted(void) { hookCall(HOOK_STARTED, 0); }

void pageContext(int state) { hookNumber(HOOK_CONTEXT, state); }

void pageStartupFailed(StartupStep step, const char *message) {
    hookTextNumber(HOOK_STARTUP_FAILED, message, step);
}

void pageReport(const char *text, const char *csv) { hookTexts(HOOK_REPORT, text, csv); }

void pageDownload(const char *name, const void *bytes, size_t size) {
    hookBytes(HOOK_DOWNLOAD, name, bytes, size);
}

void pageTerrain(const char *line, int failed) { hookTextNumber(HOOK_TERRAIN, line, failed); }

void pagePicturesAgain(void) { hookCall(HOOK_PICTURES_AGAIN, 0); }

int pagePicturesReady(void) { return hookCall(HOOK_PICTURES_READY, 1); }

int pagePictureArrived(const char *name) { return hookPictureArrived(HOOK_PICTURE, name); }

int pagePictureTake(const char *name, int *width, int *height, char *reason, int size) {
    return hookPictureTake(HOOK_PICTURE, name, width, height, reason, size);
}

// ------------------------------------------------------ the page's calls ----

extern "C" {

// A finger's motion in CSS pixels, scaled by the page to the view's width;
// acts in the next turn, while the scene runs.
EMSCRIPTEN_KEEPALIVE void knollTouchLook(double dx, double dy) { inputLook(dx, dy); }

EMSCRIPTEN_KEEPALIVE void knollTouchMove(int bits) { inputMove(bits); }

EMSCRIPTEN_KEEPALIVE void knollTouchFast(int on) { inputFast(on); }

EMSCRIPTEN_KEEPALIVE void knollCommand(int key) { inputCommand(key); }

EMSCRIPTEN_KEEPALIVE void knollSavePicture(void) { screenshotRequest(); }

// A file the page wrote into Knoll's file system (its picker, a drop, an
// address): checked now, loaded over the next turns while the terrain of now
// runs on; a refusal is said through the terrain hook.
EMSCRIPTEN_KEEPALIVE int knollOpenTerrain(const char *path, const char *splat_path) {
    return sceneOpenTerrain(path, splat_path);
}

}  // extern "C"
