// A quad over all of clip space, with texture positions from 0 to 1, and the
// two outer sample positions of one direction of the Gaussian blur (sigma 2,
// two taps each side); mulvec picks the direction.

layout(location = 0) in vec2 position;

uniform vec2 mulvec;
uniform sampler2D tex_inp;

out vec2 v_before;
out vec2 v_after;

#include "gauss_weights.glsl"

void main() {
    // The taps one and two texels away are read by one linear-filtered sample
    // between them, at 1 + w2 / (w1 + w2) texels, where the filter weighs
    // them w1 : w2.
    vec3 w = gaussWeights();
    vec2 step = (1.0 + w.z / (w.y + w.z)) * mulvec / vec2(textureSize(tex_inp, 0));
    vec2 texpos = position * 0.5 + 0.5;
    v_before = texpos - step;
    v_after = texpos + step;
    gl_Position = vec4(position, 0.0, 1.0);
}
