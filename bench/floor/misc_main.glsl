// Lookup floor of the mesh-model program: the real one's lookups (albedo
// with its cut-out, roughness, normal, shadow map, BRDF table) and its fog
// discard, none of its lighting. bench/floor.sh puts this main in place of
// the real one's.
void main() {
    float fog = fogFactor();
    if (fog == 0.0) discard;

    vec2 texpos = wrapInQuad(v_texpos);
    vec4 albedo = texture(tex_alb, texpos);
    if (albedo.a < 0.5) discard;
    vec3 rma = texture(tex_rma, texpos).rgb;
    vec3 nrm = texture(tex_nrm, texpos).rgb;
    vec3 depthpos = (v_lightpos.xyz / v_lightpos.w) * 0.5 + 0.5;
    vec2 moments = texture(tex_dpt, depthpos.xy).rg;
    vec2 brdf = texture(tex_brdf, vec2(nrm.z, rma.x)).rg;
    vec3 color = albedo.rgb + rma + nrm + vec3(moments, brdf.x + brdf.y);
    f_color = vec4(mix(fogcolor, color, fog), 1.0);
}
