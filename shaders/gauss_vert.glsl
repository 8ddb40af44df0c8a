#version 330
// A quad over all of clip space, with texture positions from 0 to 1, and the
// two outer sample positions of one direction of the Gaussian blur (sigma 2,
// two taps each side); mulvec picks the direction.

layout(location = 0) in vec2 position;

const float PI = 3.14159265359;
const float sigma = 2.0;

uniform vec2 mulvec;
uniform sampler2D tex_inp;

out vec2 v_texpos;
out vec2 v_before;
out vec2 v_after;

void main() {
    // The taps one and two texels away, weighed a * exp(-i^2 / (2 sigma^2))
    // (the incremental Gaussian: each step multiplies by y, and y by z), are
    // read by one linear-filtered sample between them, at 1 + w2 / (w1 + w2)
    // texels, where the filter weighs them w1 : w2.
    float y = exp(-0.5 / (sigma * sigma));
    float w1 = y / (sqrt(2.0 * PI) * sigma);
    float w2 = w1 * y * y * y;
    vec2 step = (1.0 + w2 / (w1 + w2)) * mulvec / vec2(textureSize(tex_inp, 0));
    v_texpos = position * 0.5 + 0.5;
    v_before = v_texpos - step;
    v_after = v_texpos + step;
    gl_Position = vec4(position, 0.0, 1.0);
}
