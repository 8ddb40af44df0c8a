// Shared test support: a hidden GLFW window with the GL dialect's context, an
// offscreen check of pixels, capture of what code writes to stderr, and
// scratch folders.
#pragma once

#include <GLFW/glfw3.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app.h"
#include "config.h"
#include "gl_dialect.h"
#include "graph_init.h"
#include "graph_state.h"
#include "platform.h"

// ---------------------------------------------------------------- types ----

struct Rgb {
    int r, g, b;
};

// One texel of a moment map: mean depth and mean squared depth.
struct Moments {
    float m1, m2;
};

// ------------------------------------------------------------ functions ----

// Captures everything written to stderr between begin and end.
struct StderrCapture {
    FILE *file = nullptr;
    int saved = -1;
};
void captureBegin(StderrCapture *capture);
std::string captureEnd(StderrCapture *capture);

// A new, empty folder under the system's temporary folder, named prefix and
// a random number; empty when none could be made.
std::filesystem::path makeScratchDir(const char *prefix);

// Creates the process's one hidden window (width x height) with the GL
// dialect's context (glContextHints) current and the settings at their
// defaults, once; later calls reuse it. Returns false when no such context
// can be had.
bool glWindowOpen(int width = 800, int height = 600);

// Opens the window and runs graphicsInit once for the whole process, with
// the viewport at the window's size. Fails the calling test on error.
bool graphicsReady(void);

// Reads the colour of window pixel (x, y), y counted from the top, from the
// back buffer of the window (call before swapping).
Rgb readPixel(int x, int y);

// glGetBufferSubData and glGetTexImage (level 0, from (x, y)), which ES lacks.
void readBuffer(GLenum target, GLintptr offset, GLsizeiptr size, void *out);
void readTextureRect(GLuint texture, int x, int y, int w, int h, GLenum format, GLenum type,
                     void *out);

// Reads texel (x, y) of a 2D RG32F texture.
void readMoments(GLuint texture, int x, int y, float *m1, float *m2);
// A w x h rectangle of such a texture, row by row from (x, y).
std::vector<Moments> readMomentRect(GLuint texture, int x, int y, int w, int h);

// Expects the three components of v within eps of (ex, ey, ez).
#define EXPECT_VEC3_NEAR(v, ex, ey, ez, eps) \
    do {                                     \
        Vec3 v_ = (v);                       \
        EXPECT_NEAR(v_.x, (ex), (eps));      \
        EXPECT_NEAR(v_.y, (ey), (eps));      \
        EXPECT_NEAR(v_.z, (ez), (eps));      \
    } while (0)
