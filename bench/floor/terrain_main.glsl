// Lookup floor of the terrain program: every texture lookup the real one
// makes, at the same places (splat, six array lookups, shadow map, BRDF
// table, grid when shown), and the fog discard, but none of the lighting.
// Their sum is written so that no lookup is optimised away. bench/floor.sh
// puts this main in place of the real one's.
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
