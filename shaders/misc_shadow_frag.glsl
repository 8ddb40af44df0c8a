// Moments of the mesh models; cut-out texels cast no shadow.

in vec4 v_lightpos;
in vec2 v_texpos;

uniform sampler2D tex_alb;

out vec4 f_color;

#include "moments.glsl"
#include "quad_wrap.glsl"

void main() {
    if (textureSharp(tex_alb, wrapInQuad(v_texpos)).a < 0.5) discard;
    f_color = depthMoments(v_lightpos);
}
