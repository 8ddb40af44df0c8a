#version 330
// One direction of a separable Gaussian blur (sigma 2, two taps each side)
// over both moments: the centre texel and two linear-filtered samples that
// each read the pair of taps on one side (placed by the vertex stage).

const float PI = 3.14159265359;
const float sigma = 2.0;

in vec2 v_before;
in vec2 v_after;

uniform sampler2D tex_inp;

out vec4 f_color;

void main() {
    // Weights a * exp(-i^2 / (2 sigma^2)) for i = 0, 1, 2 by the incremental
    // Gaussian, normalised by the sum of all five.
    float y = exp(-0.5 / (sigma * sigma));
    float w0 = 1.0 / (sqrt(2.0 * PI) * sigma);
    float w1 = w0 * y;
    float w2 = w1 * y * y * y;
    float coeff = w0 + 2.0 * (w1 + w2);

    // The viewport is the map, so the fragment's pixel is its centre texel.
    vec2 sum = texelFetch(tex_inp, ivec2(gl_FragCoord.xy), 0).rg * w0;
    sum += texture(tex_inp, v_before).rg * (w1 + w2);
    sum += texture(tex_inp, v_after).rg * (w1 + w2);
    f_color = vec4(sum / coeff, 0.0, 1.0);
}
