// Terrain surface: a material per splat texel from the texture arrays, the
// shared lighting, the optional grid and distance fog.

in vec3 v_worldpos;
in vec4 v_lightpos;
in vec2 v_texpos;
in mat3 v_TBN;

#include "ushared.glsl"

uniform bool showgrid;
uniform sampler2D tex_spl;
uniform sampler2D tex_grd;
uniform sampler2DArray tex_alb;
uniform sampler2DArray tex_rma;
uniform sampler2DArray tex_nrm;
uniform sampler2D tex_dpt;
uniform sampler2D tex_brdf;

out vec4 f_color;

#include "lighting.glsl"
#include "quad_wrap.glsl"

// Mixes in a quarter-frequency sample (far) on most layers of the
// full-frequency one (near) to hide the tiling.
vec3 tile(sampler2DArray samp, vec2 near, vec2 far, float lay) {
    vec3 full = textureSharp(samp, vec3(near, lay)).rgb;
    vec3 quarter = textureSharp(samp, vec3(far, lay)).rgb;
    return mix(full, quarter, min(mod(lay, 4.0), 0.25));
}

void main() {
    float fog = fogFactor();
    if (fog == 0.0) discard;

    // The layer as a whole number, so that the array lookup and the tiling
    // weight agree on it whatever the unorm conversion's last bit.
    float spl = floor(texture(tex_spl, v_texpos).r * 255.0 + 0.5);
    vec2 tpos = v_texpos * 16.0;
    vec2 near = wrapInQuad(tpos), far = wrapInQuad(tpos / 4.0);
    vec3 rma = tile(tex_rma, near, far, spl);
    vec3 alb = tile(tex_alb, near, far, spl);
    vec3 nrm = normalize(tile(tex_nrm, near, far, spl) * 2.0 - 1.0);
    vec3 color = shadeSurface(alb, rma, nrm);

    if (showgrid) {
        vec4 grid = texture(tex_grd, tpos);
        color = mix(color, grid.rgb, grid.a);
    }
    f_color = windowColor(mix(fogcolor, color, fog));
}
