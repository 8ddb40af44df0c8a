// Knoll's entry: start-up in its fixed order, then the fixed-step loop. The
// graphics part of the start-up runs in the loop's first turns, a slice of
// time each, so that a browser page never waits long for its turn; the logo
// screen shows as soon as it is built, while the rest starts up.
#include <GLFW/glfw3.h>
#include <stdio.h>

#include "app.h"
#include "unattended.h"
#include "config.h"
#include "graph_init.h"
#include "graph_state.h"
#include "platform.h"
#include "screenshot.h"
#include "terrain_load.h"

// ------------------------------------------------------------ constants ----

// The longest a turn keeps starting up: most of one frame of a 60 Hz
// display, so that a page still gets its turn every frame (measured against
// 8 ms: the start-up 0.4 s sooner in a page).
static const double STARTUP_SLICE = 0.014;

// How often the logo screen is drawn while the start-up runs: it only
// changes with the frame counter, and each frame takes time from the
// start-up.
static const double STARTUP_FRAME_INTERVAL = 0.1;

// How long a turn waits for events while a terrain loads: the logo's
// progress moves ten times a second or so, Esc is answered at once.
static const double LOADING_WAIT = 0.02;

// ---------------------------------------------------------------- state ----

static LoopClock loop_clock;
static int building = 1;  // the scene is being built, a slice a turn
static int rebuilding;    // the build replaces the objects of a lost context
static int started;       // the start-up is complete and the loop's clock runs

// ------------------------------------------------------------ functions ----

// Ends a failed start-up: the message goes to error.log and, where a user may
// have no terminal, before their eyes. GLFW is closed on every way out: a
// context left alive at exit keeps Mesa's rasterizer threads running while
// the driver is unloaded. Returns the exit status, 1.
static int failStartup(StartupStep step) {
#define STEP_LINE(name, line) line,
    static const char *const messages[] = {KNOLL_STARTUP_STEPS(STEP_LINE)};
#undef STEP_LINE
    fprintf(stderr, "%s\n", messages[step]);
    glfwTerminate();
    reportStartupFailure(step, messages[step]);
    return 1;
}

// One slice of the scene's build; once it is done the loop's clock starts,
// the first time. A failed start-up ends the process; a failed rebuild is
// the platform's to report.
static void startupSlice(void) {
    int result = sceneBuildSlice(STARTUP_SLICE, STARTUP_FRAME_INTERVAL);
    if (result == SCENE_BUILD_MORE) return;
    // The logo screen waits for the terrain's loading, and its window
    // answers meanwhile: Esc ends Knoll.
    if (result == SCENE_BUILD_LOADING) {
        glfwWaitEventsTimeout(LOADING_WAIT);
        return;
    }
    if (result == SCENE_TERRAIN_FAILED) {
        glfwTerminate();
        processExit(1);
    }
    if (rebuilding) {
        rebuilding = 0;
        contextRebuilt(result);
        if (result != 0) return;
    } else if (result != 0) {
        processExit(failStartup(STARTUP_GRAPHICS));
    }
    building = 0;
    if (started) return;
    loop_clock = loopStart(glfwGetTime(), fps_limit);
    started = 1;
    startupDone();
}

// A context that replaces a lost one: the next turns build every object anew.
static void rebuildScene(void) {
    sceneBuildAnew();
    building = 1;
    rebuilding = 1;
}

// One turn of the loop: mouse look, the ticks due, a frame when one is due,
// then the wait for events. Returns 0 once the window is to close.
static int loopTurn(void) {
    if (glfwWindowShouldClose(window)) return 0;
    if (building) {
        startupSlice();
        return 1;
    }
    if (unattendedRun()) return unattendedTurn();
    double now = glfwGetTime();
    LoopTurn turn = loopAdvance(&loop_clock, now, mode);
    sceneTerrainPoll();
    cameraLook();
    for (int i = 0; i < turn.ticks; i++) tick();
    // A frame waits until the last one is done, which only a page's GL lets
    // fall behind; the next turn draws it.
    if (turn.draw && graphicsCaughtUp()) showFrame(now, turn.fraction);
    if (turn.leave_logo) mode = MODE_RUNNING;
    windowWaitEvents(loopWait(&loop_clock, now, glfwGetTime()));
    return 1;
}

// The end of a run that started: pictures saved, an unattended run's report
// given, GLFW closed, then the process, with status 0 unless that report or
// picture failed.
static void finishRun(void) {
    screenshotsFinish();
    int status = unattendedEnd();
    glfwTerminate();
    processExit(status);
}

static const LoopHooks loop_hooks = {loopTurn, finishRun, rebuildScene, inputKeysRelease};

// Start-up, then the loop, which ends the process. Returns only the exit
// status of a failed start-up.
static int run(void) {
    // Should error.log not open, diagnostics are lost and the program goes on.
    logOpen("error.log");
    // What the terrain's files already tell is said before anything opens.
    if (run_options.terrain) {
        char line[TERRAIN_LINE_SIZE];
        if (terrainLoadCheck(run_options.terrain, run_options.splat, line, sizeof(line)) != 0) {
            inputErrorShow(line);
            return 1;
        }
        terrainLoadStart(run_options.terrain, run_options.splat, run_options.terrain_height);
    }
    // Image decoding needs no window: it runs while the window opens.
    graphicsDecodeAhead();
    if (configInit() != 0) return failStartup(STARTUP_CONFIG);
    if (windowInit() != 0) return failStartup(STARTUP_WINDOW);
    random_state = randomNew((uint32_t)(int64_t)(glfwGetTime() * 1048576.0));
    runLoop(&loop_hooks, win_width, win_height);
}

// An option is answered before anything is opened or written.
int main(int argc, char **argv) {
    argv = commandLineUtf8(argc, argv);
    int status = configCommandLine(argc, argv);
    if (status != OPTIONS_RUN) return status;
    processExit(run());
}
