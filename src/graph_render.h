// The render passes: the shadow pass into the moment map with its blur, and
// the main pass into the window with the HUD.
#pragma once

#include "graph_models.h"
#include "knoll_math.h"

// ---------------------------------------------------------- shadow pass ----

// Clears the moment map with the clear colour last set by graphicsDrawClear.
void graphicsShadowClear(void);
void graphicsShadowTModel(const TModel *model, Vec3 position);
void graphicsShadowMModel(const MModel *model, Vec3 position, float scale, float rotation);
// Blurs the moment map in two passes; the result ends in tex_depth.
void graphicsShadowPost(void);

// ------------------------------------------------------------ main pass ----

// Mode 0 clears the window to black, 1 to the sky colour; others keep the
// clear colour in force.
void graphicsDrawClear(int mode);
void graphicsDrawTModel(const TModel *model, Vec3 position);
void graphicsDrawMModel(const MModel *model, Vec3 position, float scale, float rotation);
// One line of printable ASCII with its top-left corner at position; size is
// the glyph height. Both are in HUD units, drawn at the HUD scale to the
// nearest quarter with the line starting on a whole pixel. Other bytes
// neither draw nor advance.
void graphicsDrawHudText(const char *text, Vec2 position, float size);
// The logo at the HUD scale, centred in the framebuffer.
void graphicsDrawHudLogo(void);

// T(position) * Ry(rotation) * S(scale): the model matrix of a placement.
void placementMatrix(Mat4 *out, Vec3 position, float scale, float rotation);
