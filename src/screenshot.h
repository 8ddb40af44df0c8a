// Screenshots: the window's frame as drawn (the HUD included: the picture is
// what the window shows), at the framebuffer's size, right side up, with
// the sRGB bytes the window holds, saved as a PNG.
#pragma once

#include <stdint.h>
#include <time.h>

#include <string>
#include <vector>

// ---------------------------------------------------------------- types ----

// A frame read back from the window: RGBA, rows from the bottom as GL keeps
// them.
struct FramePixels {
    int width, height;
    std::vector<uint8_t> rgba;
};

// ------------------------------------------------------------ functions ----

// Asks for the next frame drawn to be saved (F12, P, the page's button).
void screenshotRequest(void);

// With a screenshot asked for: reads the frame just drawn, before it is
// presented, and saves it under screenshotName, encoding it beside the loop
// where threads are allowed.
// error.log gets one line naming the file, or why it was not written.
void screenshotCapture(void);

// The next picture's path for the local time now: pictureFolder's
// knoll-YYYYMMDD-HHMMSS.png, with "-2" and on for another picture of that
// second or a name already taken (a desktop never overwrites one).
std::string screenshotName(time_t now);

// Waits for the pictures still being encoded; before the process ends.
void screenshotsFinish(void);

// Reads the window's back buffer, its lower-left width x height pixels.
FramePixels framebufferRead(int width, int height);
// Reads the window's back buffer, the whole viewport.
FramePixels screenshotRead(void);
// The frame as RGB, rows from the top: what a picture file holds.
std::vector<uint8_t> frameRowsDown(const FramePixels &frame);

// The picture as PNG bytes: RGB, rows from the top; empty when encoding
// failed.
std::vector<uint8_t> screenshotEncode(const FramePixels &frame);

// Encodes frame and saves it under path, logging the outcome. Returns 0, or
// 1 when nothing was saved.
int screenshotSave(const FramePixels &frame, const char *path);
