// Emscripten's GLFW, completed for Knoll's page: the GLFW 3.3 calls Knoll
// makes that it lacks, leaves empty or answers otherwise than a page of
// Knoll's needs, and the one place where Knoll writes into its private state
// (web_glfw.cpp says why, for each Emscripten it was checked on). The
// platform layer (platform_web.cpp) drives them as the canvas changes.
#pragma once

// ------------------------------------------------------------ functions ----

// The swap interval Knoll asked for, which the loop turns at once it runs.
int webGlfwSwapInterval(void);

// The content scale in force (drawing-buffer pixels per CSS pixel); a
// change reaches the window's content-scale callback.
void webGlfwContentScale(float scale);

// GLFW's window takes the canvas's drawing-buffer size as its own, telling
// the window's size and framebuffer-size callbacks.
void webGlfwCanvasResized(void);
