#include "benchmark.h"

#include <GLFW/glfw3.h>
#include <epoxy/gl.h>
#include <math.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "app.h"
#include "config.h"
#include "gl_dialect.h"
#include "graph_state.h"
#include "measure.h"
#include "platform.h"
#include "screenshot.h"
#include "terrain_stream.h"

// ------------------------------------------------------------ constants ----

static const Vec3 LIGHT_COLOR = {3.5f, 3.5f, 3.5f};
// The grid shows over this stretch of the path, the low flight by the models.
static const long GRID_FROM = 40, GRID_TO = 88;
// Turns spent waiting for the last frames' GPU times after the run; a page
// hands them over only between its animation frames.
static const int DRAIN_TURNS = 60;
// Over a user's terrain: the fast flight's speed, units a tick, the height
// kept above the ground below and ahead, and the downward look.
static const float CROSSING_STEP = 2.0f;
static const float CROSSING_CLEARANCE = 6.0f;
static const float CROSSING_LOOK_AHEAD = 16.0f;
static const float CROSSING_PITCH = -0.25f;

// ---------------------------------------------------------------- types ----

// A point of the path: where the camera is at a tick and where it looks.
struct PathKey {
    Vec3 position;
    float yaw, pitch;
};

enum RunPhase { PHASE_START, PHASE_FRAMES, PHASE_DRAIN, PHASE_DONE };

// Times each pass of every frame on the GPU, where GL has timer queries.
struct GpuTimerMarks : PassObserver {
    void mark(Pass pass) override { gpuTimerPass(pass); }
};

// ------------------------------------------------------------- the path ----

// The path's points, BENCHMARK_PATH_TICKS / 4 ticks apart, closing on the
// first: the start view; low over the hill towards the models; by the
// cactus and the barrel with their shadows; low past the palm; then back up.
// Each point stays at least one unit above the ground.
// clang-format off
static const PathKey path[4] = {
    {{16.0f, 8.0f, 32.0f}, 0.0f, 0.0f},
    {{13.0f, 6.0f, 21.0f}, 0.35f, -0.35f},
    {{10.5f, 5.5f, 11.0f}, 0.6f, -0.4f},
    {{19.0f, 3.0f, 12.0f}, -0.35f, -0.15f},
};
// clang-format on
enum { PATH_KEYS = sizeof(path) / sizeof(path[0]), KEY_TICKS = BENCHMARK_PATH_TICKS / PATH_KEYS };

// ---------------------------------------------------------------- state ----

static RunPhase phase = PHASE_START;
static std::vector<FrameSample> samples;
static double frame_start;  // clock value when the frame being drawn began
static double run_seconds;  // the frames' times so far
static int drain_turns;
static GpuTimerMarks timer_marks;

// ------------------------------------------------------------ functions ----

// Catmull-Rom through four values, at u in [0, 1] between b and c.
static float spline(float a, float b, float c, float d, float u) {
    float u2 = u * u, u3 = u2 * u;
    return 0.5f * (2.0f * b + (c - a) * u + (2.0f * a - 5.0f * b + 4.0f * c - d) * u2 +
                   (3.0f * b - a - 3.0f * c + d) * u3);
}

static BenchmarkView builtInView(long tick) {
    long t = tick % BENCHMARK_PATH_TICKS;
    int k = (int)(t / KEY_TICKS);
    float u = (float)(t % KEY_TICKS) / (float)KEY_TICKS;
    const PathKey &a = path[(k + PATH_KEYS - 1) % PATH_KEYS], &b = path[k],
                  &c = path[(k + 1) % PATH_KEYS], &d = path[(k + 2) % PATH_KEYS];
    BenchmarkView v;
    v.position = {spline(a.position.x, b.position.x, c.position.x, d.position.x, u),
                  spline(a.position.y, b.position.y, c.position.y, d.position.y, u),
                  spline(a.position.z, b.position.z, c.position.z, d.position.z, u)};
    float yaw = spline(a.yaw, b.yaw, c.yaw, d.yaw, u);
    float pitch = spline(a.pitch, b.pitch, c.pitch, d.pitch, u);
    v.orientation = quatAddRotation(quatRotate({0.0f, 1.0f, 0.0f}, yaw), {1.0f, 0.0f, 0.0f}, pitch);
    // The light swings a quarter turn either way about the vertical and
    // back, from the start-up's light, once a lap.
    float angle = (float)(PI / 2.0 * sin(2.0 * PI * (double)t / BENCHMARK_PATH_TICKS));
    v.light_dir = {sinf(angle), -1.0f, -cosf(angle)};
    v.grid = t >= GRID_FROM && t < GRID_TO;
    return v;
}

// Across the map through its centre along -z from the start view's edge at
// the fast speed, and back along +z, low over the ground below and ahead.
static BenchmarkView crossingView(long tick) {
    Vec2 extent = terrainExtent();
    double lap = 2.0 * extent.y, s = fmod((double)tick * CROSSING_STEP, lap > 0.0 ? lap : 1.0);
    int back = s >= extent.y;
    float z = (float)(back ? s - extent.y : extent.y - s), x = extent.x / 2.0f;
    float ahead = back ? CROSSING_LOOK_AHEAD : -CROSSING_LOOK_AHEAD;
    float ground = fmaxf(terrainGroundAt(x, z), terrainGroundAt(x, z + ahead));
    BenchmarkView v;
    v.position = {x, ground + CROSSING_CLEARANCE, z};
    v.orientation = quatAddRotation(quatRotate({0.0f, 1.0f, 0.0f}, back ? (float)PI : 0.0f),
                                    {1.0f, 0.0f, 0.0f}, CROSSING_PITCH);
    v.light_dir = builtInView(tick).light_dir;  // the built-in path's swing
    v.grid = 0;
    return v;
}

BenchmarkView benchmarkView(long tick) {
    return run_options.terrain ? crossingView(tick) : builtInView(tick);
}

void benchmarkFrame(long tick) {
    BenchmarkView v = benchmarkView(tick);
    // The tick before tells a streamed terrain where the camera is heading.
    cam_prev = run_options.terrain && tick > 0 ? benchmarkView(tick - 1).position : v.position;
    cam_pos = v.position;
    cam_ori = v.orientation;
    graphicsLightDir(v.light_dir);
    graphicsLightCol(LIGHT_COLOR.x, LIGHT_COLOR.y, LIGHT_COLOR.z);
    graphicsTerrainGrid(v.grid);
    mode = MODE_RUNNING;
    char text[32];
    snprintf(text, sizeof(text), "Tick %ld", tick);
    drawScene(1.0f, &timer_marks, text);
}

// ------------------------------------------------------------- the runs ----

// Draws and presents the next benchmark frame, closing the last one's time.
static void benchmarkStep(double now) {
    if (!samples.empty()) {
        samples.back().cpu_ms = (now - frame_start) * 1e3;
        run_seconds += now - frame_start;
    }
    if (run_seconds >= run_options.benchmark_seconds) {
        phase = PHASE_DRAIN;
        return;
    }
    frame_start = now;
    long n = (long)samples.size();
    samples.push_back({n, n, 0.0, {}, 0});
    benchmarkFrame(n);
    samples.back().tiles_built = terrainStats().built_frame;
    screenshotCapture();
    gpuTimerFrameEnd(&samples, (size_t)n);
    glfwSwapBuffers(window);
    graphicsCheckErrors("Draw End");
}

int benchmarkTurn(void) {
    switch (phase) {
    case PHASE_START:
        // A frame to warm up, untimed and uncounted: the driver readies its
        // programs for the scene's state on first use.
        benchmarkFrame(0);
        glfwSwapBuffers(window);
        glFinish();
        gpuTimerInit();
        phase = PHASE_FRAMES;
        break;
    // One frame per turn, one tick per frame, whatever the clock says.
    case PHASE_FRAMES: benchmarkStep(glfwGetTime()); break;
    case PHASE_DRAIN:
        if (gpuTimerCollect(0) == 0 || ++drain_turns >= DRAIN_TURNS) {
            phase = PHASE_DONE;
            return 0;
        }
        break;
    case PHASE_DONE: return 0;
    }
    glfwPollEvents();
    return 1;
}

int benchmarkEnd(void) {
    // A window closed early leaves the frame being drawn without its time.
    if (!samples.empty() && phase == PHASE_FRAMES) samples.pop_back();
    gpuTimerCollect(0);
    RunSummary summary = runSummary(samples);
    RunSetting setting = {(const char *)glGetString(GL_RENDERER),
                          (const char *)glGetString(GL_VERSION),
                          view_wid,
                          view_hei,
                          msaa_level,
                          aniso_level,
                          shadow_smooth,
                          gpuTimerAvailable() ? NULL : gpuTimerMissing(),
                          !terrainSingleTile()};
    std::string report = runReport(summary, setting);
    if (run_seconds < run_options.benchmark_seconds)
        report = "The window was closed: the run stopped early.\n" + report;
    std::string csv = runCsv(samples);
    int status = 0;
    if (run_options.results && fileReplace(run_options.results, csv.c_str(), csv.size()) != 0) {
        fprintf(stderr, "Benchmark Error: the results could not be written to %s\n",
                run_options.results);
        status = 1;
    }
    return reportShow(report.c_str(), csv.c_str()) || status;
}
