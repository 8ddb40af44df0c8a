// One direction of a separable Gaussian blur (sigma 2, two taps each side)
// over both moments: the centre texel and two linear-filtered samples that
// each read the pair of taps on one side (placed by the vertex stage).

in vec2 v_before;
in vec2 v_after;

uniform sampler2D tex_inp;

out vec4 f_color;

#include "gauss_weights.glsl"

void main() {
    vec3 w = gaussWeights();
    float coeff = w.x + 2.0 * (w.y + w.z);

    // The viewport is the map, so the fragment's pixel is its centre texel.
    vec2 sum = texelFetch(tex_inp, ivec2(gl_FragCoord.xy), 0).rg * w.x;
    sum += texture(tex_inp, v_before).rg * (w.y + w.z);
    sum += texture(tex_inp, v_after).rg * (w.y + w.z);
    f_color = vec4(sum / coeff, 0.0, 1.0);
}
