// Knoll's side of the page that hosts it in a browser (web/): the calls into
// the page's hooks and its document, and the functions the page calls, all
// by the names of page_boundary.h. The platform layer (platform_web.cpp),
// Emscripten's GLFW completed (web_glfw.cpp) and the page's images
// (image_source_page.cpp) reach the page through these; the page reaches
// the application through the exports, which call it directly.
#pragma once

#include <epoxy/gl.h>
#include <stddef.h>

#include "page_boundary.h"

// ------------------------------------------------------------ functions ----

// The page's hooks, each passed over where the page has none.

// The file name replaced by text (length bytes), kept in the browser's
// storage. Returns 0, or 1 when the storage refused it (or the page keeps
// no files).
int pageStoreFile(const char *name, const char *text, size_t length);
// help.txt's text, which an unattended run does not write, for the page's
// controls table.
void pageHelp(const char *text);
// The settings in force, configTable's lines, for the page's panel.
void pageSettings(const char *table);
void pageFrameShown(void);
void pageStarted(void);
// The GL context lost (state 0), back (1), or not rebuilt (2).
void pageContext(int state);
void pageStartupFailed(StartupStep step, const char *message);
// A finished benchmark's report and its frames' CSV (or NULL) beside the view.
void pageReport(const char *text, const char *csv);
// The bytes offered as a download named name.
void pageDownload(const char *name, const void *bytes, size_t size);
// A terrain refused, its error line (failed 1), or open, its summary (0).
void pageTerrain(const char *line, int failed);

// The page's decoded pictures went with a lost context: it loads them again,
// and pagePicturesReady is 1 once they are all there.
void pagePicturesAgain(void);
int pagePicturesReady(void);
// 1 once the picture name has arrived or is known to have failed.
int pagePictureArrived(const char *name);
// Takes the picture name, handed over once: a handle above 0 with its size,
// or 0 with what failed, naming the file, in reason (size bytes).
int pagePictureTake(const char *name, int *width, int *height, char *reason, int size);

// Knoll's own JavaScript, on the page's pictures and document.
extern "C" {
// Uploads the picture into the texture bound to target, as imageUpload.
void pagePictureUpload(int picture, GLenum target, GLint internal, GLenum format, int layer,
                       int width, int height);
// Closes a picture taken, once uploaded.
void pagePictureRelease(int picture);

// Frees every GL object of the canvas's context, which must be there, at
// once: the browser would otherwise keep the context until the page goes.
void pageReleaseContext(void);
// Gives the canvas the shape of width x height, which it keeps while it
// fills its area on the page (web/knoll-page.css).
void pagePlaceCanvas(int width, int height);
// Brings the canvas's drawing buffer to its size on the page times the device
// pixel ratio, or that ratio over the smallest whole number that keeps it
// within max_pixels in all, but never below one pixel per CSS pixel where the
// display has that many. Returns 1 when the buffer's size changed; *ratio is
// the ratio in force.
int pageSyncCanvas(double max_pixels, double *ratio);
// 1 while the page is in full screen.
int pageFullscreen(void);
// Full screen for the canvas's stage (the canvas with nothing else of the
// page), or back; the browser asks for a user's action first.
void pageSetFullscreen(int on);
// How long ago, in seconds, the event being handled now happened; negative
// outside an event's handler.
double pageEventAge(void);
// The screen's size in CSS pixels.
int pageScreenWidth(void);
int pageScreenHeight(void);
}

// Knoll's exports, the page's calls (KNOLL_PAGE_EXPORTS says what each does).
#define KNOLL_PAGE_EXPORT(name, function, result, parameters, about) result function parameters;
extern "C" {
KNOLL_PAGE_EXPORTS(KNOLL_PAGE_EXPORT)
}
#undef KNOLL_PAGE_EXPORT
