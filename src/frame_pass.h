// The passes of a running frame, in the order drawScene draws them, and the
// marks it gives between them to whoever times or pictures them.
#pragma once

// ------------------------------------------------------------ constants ----

// The passes a running frame is drawn and timed in, in drawing order. The
// grid is no pass of its own: the terrain's program draws it, inside
// PASS_TERRAIN.
enum Pass {
    PASS_SHADOW,   // the moment map: clear, terrain and models from the light
    PASS_BLUR,     // its two blur passes (none with shadow_smooth 0)
    PASS_TERRAIN,  // the window's clear to the sky and the terrain
    PASS_MODELS,   // the five mesh-model placements
    PASS_HUD,      // the text over the scene
    PASS_COUNT     // as a mark: the frame is drawn
};

// ---------------------------------------------------------------- types ----

// Told of each pass just before drawScene draws it, the camera already
// placed, and with PASS_COUNT once the frame is drawn; a logo frame has the
// HUD's two marks only.
struct PassObserver {
    virtual void mark(Pass pass) = 0;

  protected:
    ~PassObserver() = default;
};
