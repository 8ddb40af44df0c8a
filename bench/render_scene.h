// The running scene as the render tool and the reference-image tests draw it:
// terrain set-up, a fixed camera pose, one frame through drawScene, and the
// same frame with each pass timed. Header-only so both the tool and the test
// executables compile it against knoll_core.
#pragma once

#include <GLFW/glfw3.h>
#include <epoxy/gl.h>
#include <stdint.h>
#include <time.h>

#include <vector>

#include "app.h"
#include "config.h"
#include "graph_init.h"
#include "graph_render.h"
#include "graph_state.h"
#include "measure.h"
#include "screenshot.h"

// ------------------------------------------------------------ constants ----

// A fixed counter value keeps the HUD text, and so the picture, deterministic.
static const double SCENE_FPS = 60.0;

// ---------------------------------------------------------------- types ----

// Where the camera stands and where it looks: yaw about world +Y, then pitch
// about the camera's own +X, as mouse-look composes them.
struct ScenePose {
    Vec3 position;
    float yaw, pitch;
};

// Seconds of each pass of one frame, each closed by glFinish: on the wall
// clock, and as CPU time of all the process's threads (the software
// rasteriser's included), which other load on the machine does not inflate.
struct PassTimes {
    double shadow, blur, main;
    double cpu_shadow, cpu_blur, cpu_main;
};

// The program's start view: the middle of the near edge, eight units up.
static const ScenePose SCENE_START_POSE = {{16.0f, 8.0f, 32.0f}, 0.0f, 0.0f};

// drawScene's marks as PassTimes: finishes GL where the shadow pass, the blur
// and the main pass (terrain, models and HUD text) end, so the clocks around
// each cover its work, and times every pass on the GPU too where the timer
// queries are made (gpuTimerInit). The waits belong to no pass's GPU time.
struct PassClock : PassObserver {
    PassTimes *times;
    double wall, cpu;  // the clocks where the stage being drawn began

    explicit PassClock(PassTimes *out);
    void mark(Pass pass) override;
    // Finishes GL's work and gives the stage since the last lap its times.
    void lap(double *wall_out, double *cpu_out);
};

// ------------------------------------------------------------ functions ----

static inline double sceneClock(void) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

static inline double sceneCpuClock(void) {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

static inline Quat sceneOrientation(float yaw, float pitch) {
    return quatAddRotation(quatRotate({0.0f, 1.0f, 0.0f}, yaw), {1.0f, 0.0f, 0.0f}, pitch);
}

// Builds test_terrain from the embedded maps, once per process.
static inline void sceneTerrainInit(void) {
    if (!test_terrain) terrainInit();
}

// Puts the application into the running mode at pose, with no movement
// between ticks, so any fraction t draws the same picture.
static inline void scenePlace(ScenePose pose) {
    mode = MODE_RUNNING;
    fps_num = SCENE_FPS;
    cam_pos = cam_prev = pose.position;
    cam_ori = sceneOrientation(pose.yaw, pose.pitch);
}

// One logo frame, as the program shows before the scene. It also leaves the
// clear colour black, which the first running frame's moment map is cleared
// with, so a "first frame" does not depend on what was drawn before it.
static inline void sceneLogoFrame(void) {
    mode = MODE_LOGO;
    fps_num = SCENE_FPS;
    drawScene(1.0f);
}

inline PassClock::PassClock(PassTimes *out)
    : times(out), wall(sceneClock()), cpu(sceneCpuClock()) {}

inline void PassClock::mark(Pass pass) {
    if (pass == PASS_BLUR) lap(&times->shadow, &times->cpu_shadow);
    if (pass == PASS_TERRAIN) lap(&times->blur, &times->cpu_blur);
    if (pass == PASS_COUNT) lap(&times->main, &times->cpu_main);
    gpuTimerPass(pass);
}

inline void PassClock::lap(double *wall_out, double *cpu_out) {
    gpuTimerPass(PASS_COUNT);
    glFinish();
    double now = sceneClock(), cpu_now = sceneCpuClock();
    *wall_out = now - wall;
    *cpu_out = cpu_now - cpu;
    wall = now;
    cpu = cpu_now;
}

// The running frame through drawScene with its passes timed (PassClock).
static inline void sceneDrawPasses(PassTimes *times) {
    PassClock clock(times);
    drawScene(1.0f, &clock);
}

// The back buffer of the window, rows from the top, 3 bytes a pixel. Read as
// RGBA, the one format OpenGL ES reads from every framebuffer.
static inline std::vector<uint8_t> sceneReadBack(int width, int height) {
    return frameRowsDown(framebufferRead(width, height));
}
