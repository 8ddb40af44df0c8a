// Writes depth and squared depth into the moment map.

in vec4 v_lightpos;

out vec4 f_color;

#include "moments.glsl"

void main() {
    f_color = depthMoments(v_lightpos);
}
