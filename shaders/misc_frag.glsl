// Mesh-model surface: plain 2D maps with an alpha cut-out, the shared
// lighting and distance fog.

in vec3 v_worldpos;
in vec4 v_lightpos;
in vec2 v_texpos;
in mat3 v_TBN;

#include "ushared.glsl"

uniform sampler2D tex_alb;
uniform sampler2D tex_rma;
uniform sampler2D tex_nrm;
uniform sampler2D tex_dpt;
uniform sampler2D tex_brdf;

out vec4 f_color;

#include "lighting.glsl"
#include "quad_wrap.glsl"

void main() {
    float fog = fogFactor();
    if (fog == 0.0) discard;

    vec2 texpos = wrapInQuad(v_texpos);
    vec4 albedo = textureSharp(tex_alb, texpos);
    if (albedo.a < 0.5) discard;
    vec3 rma = textureSharp(tex_rma, texpos).rgb;
    vec3 nrm = normalize(textureSharp(tex_nrm, texpos).rgb * 2.0 - 1.0);
    vec3 color = shadeSurface(albedo.rgb, rma, nrm);
    f_color = windowColor(mix(fogcolor, color, fog));
}
