// The running scene as the render tool and the reference-image tests draw it:
// terrain set-up, a fixed camera pose, one frame through drawScene, and the
// same frame split pass by pass for timing. Header-only so both the tool and
// the test executables compile it against knoll_core.
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

// The running frame drawn in the application's order, finishing GL after each
// pass so the CPU clock around a pass covers its work, and each pass timed
// on the GPU too where the timer queries are made (gpuTimerInit). The HUD
// text counts towards the main pass.
static inline void sceneDrawPasses(PassTimes *times) {
    double t0 = sceneClock(), c0 = sceneCpuClock();
    sceneCamera(1.0f);
    gpuTimerPass(PASS_SHADOW);
    sceneShadowCasters();
    glFinish();
    double t1 = sceneClock(), c1 = sceneCpuClock();
    gpuTimerPass(PASS_BLUR);
    if (shadow_smooth) graphicsShadowPost();
    glFinish();
    double t2 = sceneClock(), c2 = sceneCpuClock();
    gpuTimerPass(PASS_TERRAIN);
    sceneMainTerrain();
    gpuTimerPass(PASS_MODELS);
    sceneMainModels();
    gpuTimerPass(PASS_HUD);
    sceneHudText();
    gpuTimerPassEnd();
    glFinish();
    double t3 = sceneClock(), c3 = sceneCpuClock();
    times->shadow = t1 - t0;
    times->blur = t2 - t1;
    times->main = t3 - t2;
    times->cpu_shadow = c1 - c0;
    times->cpu_blur = c2 - c1;
    times->cpu_main = c3 - c2;
}

// The back buffer of the window, rows from the top, 3 bytes a pixel. Read as
// RGBA, the one format OpenGL ES reads from every framebuffer.
static inline std::vector<uint8_t> sceneReadBack(int width, int height) {
    return frameRowsDown(framebufferRead(width, height));
}
