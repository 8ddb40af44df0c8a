#version 330
// One direction of a separable Gaussian blur (sigma 2, two taps each side)
// over both moments; mulvec picks the direction.

const float PI = 3.14159265359;
const float sigma = 2.0;
const int numpix = 2;

in vec2 v_texpos;

uniform vec2 mulvec;
uniform sampler2D tex_inp;

out vec4 f_color;

void main() {
    // Successive weights a * exp(-i^2 / (2 sigma^2)) by the incremental
    // Gaussian: each step multiplies by y, and y by z.
    vec3 g;
    g.x = 1.0 / (sqrt(2.0 * PI) * sigma);
    g.y = exp(-0.5 / (sigma * sigma));
    g.z = g.y * g.y;

    vec2 mult = mulvec / vec2(textureSize(tex_inp, 0));
    vec2 sum = texture(tex_inp, v_texpos).rg * g.x;
    float coeff = g.x;
    g.xy *= g.yz;
    for (int i = 1; i <= numpix; i++) {
        sum += texture(tex_inp, v_texpos - float(i) * mult).rg * g.x;
        sum += texture(tex_inp, v_texpos + float(i) * mult).rg * g.x;
        coeff += 2.0 * g.x;
        g.xy *= g.yz;
    }
    f_color = vec4(sum / coeff, 0.0, 1.0);
}
