#include "unattended.h"

#include <GLFW/glfw3.h>
#include <stdlib.h>

#include "app.h"
#include "benchmark.h"
#include "config.h"
#include "screenshot.h"

// ------------------------------------------------------------ constants ----

// The generator's seed for every unattended run: two runs make the same
// choices.
static const uint32_t FIXED_SEED = 0x4b6e6f6c;

// ---------------------------------------------------------------- state ----

static int started;         // the scene runs with the fixed seed
static int pictured;        // the screenshot run has drawn and saved its frame
static int picture_status;  // its outcome
static int reported;

// ------------------------------------------------------------ functions ----

// The scene as it stands when the logo screen ends, with the fixed seed.
static void startScene(void) {
    RandomState *fixed = randomNew(FIXED_SEED);
    *random_state = *fixed;
    free(fixed);
    mode = MODE_RUNNING;
}

// The screenshot run's one frame: draws the start view, saves it under the
// path given and presents it.
static void screenshotRun(void) {
    drawScene(1.0f);
    FramePixels frame = screenshotRead();
    glfwSwapBuffers(window);
    picture_status = screenshotSave(frame, run_options.screenshot);
    pictured = 1;
}

int unattendedRun(void) { return run_options.benchmark_seconds > 0.0 || run_options.screenshot; }

int unattendedTurn(void) {
    if (!started) startScene();
    started = 1;
    if (!run_options.screenshot) return benchmarkTurn();
    if (!pictured) screenshotRun();
    return 0;
}

int unattendedEnd(void) {
    if (reported || !unattendedRun()) return 0;
    reported = 1;
    if (run_options.screenshot) return pictured ? picture_status : 1;
    return benchmarkEnd();
}
