// What differs between Windows, POSIX systems and the browser, behind one
// interface: standard error onto the error log, replacing a file atomically
// in the platform's text convention, telling a user that start-up failed,
// and how the loop is driven. platform_posix.cpp, platform_win32.cpp and
// platform_web.cpp implement it, the first two with platform_desktop.cpp;
// the build picks one.
#pragma once

#include <stddef.h>

// ---------------------------------------------------------------- types ----

// What the loop calls.
struct LoopHooks {
    int (*turn)(void);     // one turn of the loop; 0 once the program is to end
    void (*finish)(void);  // the end of the program, after the last turn
    // Makes every GL object anew in a context that replaces a lost one (a
    // browser's); 0, or 1 when that failed.
    int (*rebuild)(void);
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

// Window hints the platform's OpenGL needs beyond version and profile, given
// before the window is made: macOS makes a 3.3 core context only for a
// forward-compatible request (untried). Needs glfwInit.
void contextHints(void);

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

// 1 when the folder that would hold the file path names exists (the working
// directory for a bare name), else 0.
int fileFolderExists(const char *path);

// Saves a PNG file's bytes under path: a new file on a desktop (its folder
// made first, where missing; an existing file is replaced), a download of
// path's last part in a browser page. Returns 0, or an errno value saying
// why nothing was saved.
int pictureSave(const char *path, const void *png, size_t size);

// Gives a finished benchmark's report (text) to the user who started it:
// standard output on POSIX; on Windows the console it was started from,
// where there is one, else a message box, since a program started from
// Explorer has no console to print to; on a page, beside the canvas, with
// csv, the frames' table, to download. Returns 0, or 1 when it could not be
// shown (standard output failed).
int reportShow(const char *text, const char *csv);

// Tells a user who may have no terminal that start-up failed with message
// (one line), and where the error log is. On Windows a message box; on POSIX
// systems the line in the log is the report, so this does nothing.
void reportStartupFailure(const char *message);

// 1 where the process may start threads of its own; 0 in a browser page
// served without cross-origin isolation, whose Web Workers cannot share
// memory.
int workerThreads(void);

// Runs hooks->turn until it returns 0, then hooks->finish. A desktop loops
// here; a browser page runs one turn per animation frame, returning to the
// browser in between, and rebuilds when the browser gives back a lost GL
// context. Never returns.
[[noreturn]] void runLoop(const LoopHooks *hooks);

// The first frame is on the screen, the logo, while the start-up may still
// run: a page takes its progress indicator away.
void startupFrameShown(void);

// The start-up is complete and the loop's clock runs.
void startupDone(void);

// Settings for this run only, as config.txt lines (configOverride): the
// address's ?key=value pairs in a browser; NULL on a desktop.
const char *settingOverrides(void);
