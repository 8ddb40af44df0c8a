// Measuring frames: the passes of a running frame timed on the GPU with timer
// queries, the frames' times on the CPU, and what a run of them comes to:
// percentiles, frames per second, each pass's share, a report a person reads
// and a CSV a script reads. knoll --benchmark and the render tool
// (bench/render.cpp) both measure with it.
#pragma once

#include <string>
#include <vector>

#include "frame_pass.h"

// ------------------------------------------------------------ constants ----

extern const char *const pass_names[PASS_COUNT];

// ---------------------------------------------------------------- types ----

// One measured frame: its number, the tick it shows, its time on the CPU's
// clock (from its start to the next frame's start, milliseconds), each
// pass's GPU time in milliseconds, negative where none was measured, and the
// terrain tiles that became resident in it.
struct FrameSample {
    long frame;
    long tick;
    double cpu_ms;
    double pass_ms[PASS_COUNT];
    int tiles_built;
};

// What a run of frames comes to.
struct RunSummary {
    long frames;
    double seconds;                 // the frames' times together
    double mean_fps;                // frames / seconds
    double min_fps;                 // frames in the slowest whole second (or the mean when shorter)
    double p50_ms, p95_ms, p99_ms;  // frame-time percentiles, nearest rank
    double worst_ms;
    int gpu_measured;  // 1 when the pass columns hold GPU times
    double pass_mean_ms[PASS_COUNT];
    double pass_share[PASS_COUNT];  // of the mean frame time, 0 to 1
    long tiles_built;               // terrain tiles made resident during the run
};

// What a report names besides the figures.
struct RunSetting {
    const char *renderer, *version;  // GL's renderer and version strings
    int width, height;               // the framebuffer's size in pixels
    int msaa_level, aniso_level, shadow_smooth;
    const char *gpu_note;  // why no pass was timed, or NULL
    int streamed;          // the terrain was streamed: its tiles are reported
};

// ------------------------------------------------------------ functions ----

// The value below which share q of sorted values lie (nearest rank); 0 for
// none.
double quantile(const std::vector<double> &sorted, double q);

// Sums up samples; the pass figures count only the frames whose passes were
// all measured.
RunSummary runSummary(const std::vector<FrameSample> &samples);

// The score: frames drawn per second over the run, whole.
long runScore(const RunSummary &summary);

// The report a person reads at a glance, ending in the line "Knoll score: N".
std::string runReport(const RunSummary &summary, const RunSetting &setting);

// One line a frame after a header: frame, tick, cpu_ms, one column per pass
// in GPU milliseconds (empty where not measured) and tiles_built.
std::string runCsv(const std::vector<FrameSample> &samples);

// Makes the timer queries where GL offers them; call once per GL context.
// Returns 1 when passes will be timed, else 0.
int gpuTimerInit(void);

// Whether gpuTimerInit found timer queries.
int gpuTimerAvailable(void);

// Whether the passes of the frame about to be drawn are timed (every
// frame unless told): on llvmpipe each query makes the rasteriser visit every
// tile, yet timing every frame took no more CPU time than timing none.
void gpuTimerFrameBegin(int timed);

// Starts timing pass of the frame being drawn, ending the pass before it;
// PASS_COUNT ends it and starts none. The marks of drawScene, as they come.
void gpuTimerPass(Pass pass);

// Ends the frame's last pass and files its queries under samples[index],
// whose pass_ms are filled in once GL has the results, a few frames later.
// A frame whose results are not in when its queries are needed again (a GL
// some frames behind) stays unmeasured: reading never stalls a frame.
void gpuTimerFrameEnd(std::vector<FrameSample> *samples, size_t index);

// Fills in the pass times of earlier frames whose results are ready; with
// wait set, waits for them (never in a browser page, whose results come in
// only between its tasks). Returns how many frames still wait for results.
int gpuTimerCollect(int wait);
