// The benchmark of the command line: it flies a fixed path with every frame
// measured and reports a score.
#pragma once

#include "knoll_math.h"

// ------------------------------------------------------------ constants ----

// The benchmark's path repeats every this many ticks (4 s of simulation).
enum { BENCHMARK_PATH_TICKS = 128 };

// ---------------------------------------------------------------- types ----

// What the benchmark shows at one tick.
struct BenchmarkView {
    Vec3 position;
    Quat orientation;
    Vec3 light_dir;
    int grid;
};

// ------------------------------------------------------------ functions ----

// One turn of the benchmark's run, in the running scene: the untimed first
// frame, then a frame a turn until the run's time is up, then the wait for
// the last frames' GPU times. Returns 0 once the run is done.
int benchmarkTurn(void);

// The report of the frames drawn (should the window have closed early, of
// those) on its way to the user, and the CSV. Needs the GL context. Returns
// the exit status: 0, or 1 when the report or the CSV could not be written.
int benchmarkEnd(void);

// The benchmark's view at tick: the camera on its path, the light turning,
// the grid on for a stretch; over a user's terrain, a straight flight across
// it and back at the fast speed. Depends on the tick and the terrain alone.
BenchmarkView benchmarkView(long tick);

// Draws the benchmark's running frame for tick into the back buffer through
// drawScene, each pass timed where GL has timer queries (gpuTimerInit), with
// the tick as the HUD's text: nothing drawn depends on the clock.
void benchmarkFrame(long tick);
