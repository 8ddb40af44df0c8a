// The unattended runs of the command line: the benchmark, which flies a
// fixed path with every frame measured and reports a score, and the
// screenshot run, which saves the start view and ends.
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

// 1 when the command line asked for a benchmark or a screenshot run.
int unattendedRun(void);

// One turn of the loop in an unattended run, once the start-up is complete:
// a benchmark frame, or the screenshot. Returns 0 once the run is done.
int unattendedTurn(void);

// Ends an unattended run: a benchmark's report (of the frames drawn, should
// the window have closed early) and its CSV. Needs the GL context. Returns
// the exit status: 0, or 1 when the report, the CSV or the picture could not
// be written.
int unattendedEnd(void);

// The benchmark's view at tick: the camera on its path, the light turning,
// the grid on for a stretch; over a user's terrain, a straight flight across
// it and back at the fast speed. Depends on the tick and the terrain alone.
BenchmarkView benchmarkView(long tick);

// Draws the benchmark's frame for tick into the back buffer, each pass
// timed where GL has timer queries (gpuTimerInit), with the tick as the
// HUD's text: nothing drawn depends on the clock.
void benchmarkFrame(long tick);
