// What differs between Windows, POSIX systems and the browser, behind one
// interface: GLFW's platform and the window's names, standard error onto the
// error log, replacing a file atomically in the platform's text convention,
// telling a user that start-up failed, and how the loop is driven.
// platform_posix.cpp, platform_win32.cpp and platform_web.cpp implement it,
// the first two with platform_desktop.cpp, the last reaching its page through
// page_bridge.cpp and Emscripten's GLFW through web_glfw.cpp; the build picks
// one.
//
// Adding a platform:
// 1. Files: src/platform_<name>.cpp with every function below (a GLFW
//    desktop adds platform_desktop.cpp). If its GL is neither OpenGL 3.3 core
//    nor WebGL 2, a src/gl_dialect_<name>.cpp behind gl_dialect.h (the
//    context it asks for, texture formats, LOD bias, window sRGB, clear) and
//    its shader prelude shaders/prelude_<name>.glsl (version line,
//    precisions, windowColor, textureSharp).
// 2. CMake: in CMakeLists.txt the platform's sources (KNOLL_PLATFORM_SOURCE),
//    its libraries (KNOLL_LIBRARIES), the dialect (KNOLL_DIALECT_SOURCE) and
//    prelude (KNOLL_SHADER_PRELUDE), from a file of its own under cmake/
//    where it needs more (cmake/windows.cmake, cmake/web.cmake) and a
//    toolchain file for a cross build; a make target that builds it.
// 3. A new dialect's GL tests on the desktop: a lane like the WebGL 2 one in
//    tests/CMakeLists.txt (knoll_core_library with the dialect and an embed
//    of the texts after its prelude, the GL suites linked with it).
// 4. End to end: a driver for tests/e2e/e2e.sh beside the X11, Wine,
//    Wayland (wayland.sh) and browser (web.sh) ones, chosen by
//    KNOLL_E2E_DISPLAY or KNOLL_PLATFORM in harness.sh, so that every case
//    of cases.txt runs there or says why it cannot; and its make target.
// 5. docs/: a page of what differs there from the desktop, and why.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "page_boundary.h"

// ---------------------------------------------------------------- types ----

// What the loop calls.
struct LoopHooks {
    int (*turn)(void);     // one turn of the loop; 0 once the program is to end
    void (*finish)(void);  // the end of the program, after the last turn
    // Has the turns that follow make every GL object anew, a slice a turn,
    // in a context that replaces a lost one (a browser's); contextRebuilt
    // tells how that ended.
    void (*rebuild)(void);
    // Lets go of every held key, owing nothing: the keyboard has gone
    // elsewhere (a page hidden or its window blurred), where its releases go.
    void (*release)(void);
};

// ------------------------------------------------------------ functions ----

// Points standard error at path, appending, and makes it unbuffered so that
// every diagnostic is in the file as soon as it is written, even if the
// process dies. When path cannot be opened, standard error goes to the null
// device instead, never to whatever file is opened next. Returns 0, or 1 when
// path did not open.
int logOpen(const char *path);

// Replaces the file path names with text, given with "\n" line ends and
// written with the platform's own (CRLF on Windows). The new contents go to a
// temporary file beside the target that replaces it only once complete and
// flushed, so a crash or a full disk never leaves it truncated. A symbolic
// link is followed and stays a link. Only a regular file that the process may
// write, or a name with nothing there yet, is replaced. Returns 0 on success,
// 1 when the file is unchanged (and no temporary file is left).
int fileReplace(const char *path, const char *text, size_t length);

// Before glfwInit: on GLFW 3.4, which tries Wayland first, asks for X11 when
// only an X display is named. Wayland's failed probe would otherwise write
// its own lines to stderr (error.log), or reach a compositor the caller did
// not name through its default socket.
void windowPlatformHint(void);

// 1 when the platform reports where windows are (X11, Windows), 0 where the
// compositor alone places them (Wayland). Needs GLFW initialised.
int windowPositionKnown(void);

// Window hints the platform needs beyond the GL dialect's context
// (glContextHints) and the application's own, given after them, last before
// the window is made: macOS makes a 3.3 core context only for a
// forward-compatible request (untried); a page keeps the canvas's drawing
// buffer its own, not scaled to the monitor by GLFW. Needs glfwInit.
void windowHints(void);

// Names the program to the desktop, which matches the window to the desktop
// entry for the dock's icon and name: app_id on Wayland, WM_CLASS on X11.
// Needs glfwInit.
void windowNameHints(void);

// Ends the process with status, as a return from main would, once GLFW is
// closed and the files are written. On Windows the process ends at once,
// without the exit handlers of the libraries beneath it: under Wine, Mesa's
// GL library tore itself down at exit while llvmpipe's threads still ran,
// and about one exit in a hundred faulted (seen in the test programs after
// they had passed, and in a failed start-up's exit).
[[noreturn]] void processExit(int status);

// 1 where the program has a terminal to answer command-line options on:
// POSIX systems, and the Windows build, a GUI program that takes the console
// it was started from, if any, for the standard output and error it lacks
// (a double-click gives it none: what it prints there is lost); 0 for a
// browser page, whose options come from its address instead.
int optionsAnswered(void);

// Opens the regular file path (UTF-8, any characters on every platform) for
// reading and gives its size. Returns 0, or an errno value: EISDIR for a
// folder, ENOENT, EACCES and so on.
int fileOpenRead(const char *path, FILE **file, uint64_t *size);

// The program's arguments as UTF-8, whatever the system hands main: on
// Windows, its own command line, since main's arguments there lose every
// character outside the user's code page. Returns argv elsewhere.
char **commandLineUtf8(int argc, char **argv);

// Shows line, one line about bad input the user gave, where the user who
// started Knoll reads it, besides error.log (standard error): the terminal's
// standard error on POSIX, the console Knoll was started from or else a
// message box on Windows, the page's words in a browser.
void inputErrorShow(const char *line);

// A terrain the user gave is open, summary its one line (file, size,
// heights, tiles): a page says it beside the view; a desktop has printed it.
void terrainOpened(const char *summary);

// 1 when the folder that would hold the file path names exists (the working
// directory for a bare name), else 0.
int fileFolderExists(const char *path);

// Saves a PNG file's bytes under path: a new file on a desktop (its folder
// made first, where missing; an existing file is replaced), a download of
// path's last part in a browser page. Returns 0, or an errno value saying
// why nothing was saved.
int pictureSave(const char *path, const void *png, size_t size);

// Where F12 saves pictures, ending in "/": a folder under the working
// directory; "" in a browser page, whose pictures are downloads named alone.
const char *pictureFolder(void);

// Gives a finished benchmark's report (text) to the user who started it:
// standard output on POSIX; on Windows the console it was started from,
// where there is one, else a message box, since a program started from
// Explorer has no console to print to; on a page, beside the canvas, with
// csv, the frames' table, to download. Returns 0, or 1 when it could not be
// shown (standard output failed).
int reportShow(const char *text, const char *csv);

// Tells a user who may have no terminal that start-up step failed, with
// message (its line in the log), and where the error log is. On Windows a
// message box; on a page the step's advice beside the message; on POSIX
// systems the line in the log is the report, so this does nothing.
void reportStartupFailure(StartupStep step, const char *message);

// 1 where the process may start threads of its own; 0 in a browser page
// served without cross-origin isolation, whose Web Workers cannot share
// memory.
int workerThreads(void);

// Whether the current GL context has the extension name, turning it on where
// a GL wants asking first (WebGL): 1 or 0.
int glExtensionEnabled(const char *name);

// Runs hooks->turn until it returns 0, then hooks->finish, for a window of
// width x height in the desktop's units, as asked for. A desktop loops here;
// a browser page gives its canvas that shape, runs one turn per animation
// frame, returning to the browser in between, and rebuilds when the browser
// gives back a lost GL context. Never returns.
[[noreturn]] void runLoop(const LoopHooks *hooks, int width, int height);

// The objects of a context given back after a loss are all made anew (0),
// or that failed (1) and the loop stops.
void contextRebuilt(int failed);

// The first frame is on the screen, the logo, while the start-up may still
// run: a page takes its progress indicator away.
void startupFrameShown(void);

// The start-up is complete and the loop's clock runs.
void startupDone(void);

// The time, on glfwGetTime's clock, at which the input event being handled
// happened: a browser stamps each event as it comes, which may be a long frame
// before its handler runs. Negative where the platform does not say (GLFW on
// a desktop, whose callbacks run when the loop reads the events).
double inputEventTime(void);

// The settings this run uses, with their defaults and ranges (configTable's
// lines), then the error.log lines of what was wrong in those given for the
// run: a page builds its settings panel from them; a desktop has no use for
// them.
void settingsInForce(const char *table);
