// Shared test support: a hidden GLFW window with a GL 3.3 core context, an
// offscreen check of pixels, and capture of what code writes to stderr.
#pragma once

#include <GLFW/glfw3.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "app.h"
#include "config.h"
#include "graph_init.h"
#include "graph_state.h"

// ---------------------------------------------------------------- types ----

struct Rgb {
    int r, g, b;
};

// ------------------------------------------------------------ functions ----

// Captures everything written to stderr between begin and end.
struct StderrCapture {
    FILE *file = nullptr;
    int saved = -1;
};
void captureBegin(StderrCapture *capture);
std::string captureEnd(StderrCapture *capture);

// Creates the process's one hidden window (width x height) with the context
// current and the settings at their defaults, once; later calls reuse it.
// Returns false when no GL 3.3 core context can be had.
bool glWindowOpen(int width = 800, int height = 600);

// Opens the window and runs graphicsInit once for the whole process, with
// the viewport at the window's size. Fails the calling test on error.
bool graphicsReady(void);

// Reads the colour of window pixel (x, y), y counted from the top, from the
// back buffer of the window (call before swapping).
Rgb readPixel(int x, int y);

// Reads texel (x, y) of a 2D RG32F texture.
void readMoments(GLuint texture, int x, int y, float *m1, float *m2);
