#version 330
// Lookup floor of the terrain program: every texture lookup the real one
// makes, at the same places (splat, six array lookups, shadow map, BRDF
// table), and the fog discard, but none of the lighting. Their sum is
// written so that no lookup is optimised away. Used by bench/floor.sh only.

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

vec3 tile(sampler2DArray samp, vec2 near, vec2 far, float lay) {
    vec3 full = texture(samp, vec3(near, lay)).rgb;
    vec3 quarter = texture(samp, vec3(far, lay)).rgb;
    return mix(full, quarter, min(mod(lay, 4.0), 0.25));
}

void main() {
    float fog = fogFactor();
    if (fog == 0.0) discard;

    float spl = floor(texture(tex_spl, v_texpos).r * 255.0 + 0.5);
    vec2 tpos = v_texpos * 16.0;
    vec2 near = wrapInQuad(tpos), far = wrapInQuad(tpos / 4.0);
    vec3 rma = tile(tex_rma, near, far, spl);
    vec3 alb = tile(tex_alb, near, far, spl);
    vec3 nrm = tile(tex_nrm, near, far, spl);
    vec3 depthpos = (v_lightpos.xyz / v_lightpos.w) * 0.5 + 0.5;
    vec2 moments = texture(tex_dpt, depthpos.xy).rg;
    vec2 brdf = texture(tex_brdf, vec2(nrm.z, rma.x)).rg;
    vec3 color = alb + rma + nrm + vec3(moments, brdf.x + brdf.y);
    if (showgrid) color += texture(tex_grd, tpos).rgb;
    f_color = vec4(mix(fogcolor, color, fog), 1.0);
}
