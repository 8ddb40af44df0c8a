// Physically based lighting shared by the terrain and mesh-model surfaces:
// one directional light (Cook-Torrance with GGX, Smith-GGX visibility and
// Schlick Fresnel, plus Lambert), a variance shadow map and a weak ambient
// term from the pre-integrated BRDF table. Needs ushared, v_worldpos,
// v_lightpos, tex_dpt and tex_brdf declared before it.

const float PI = 3.14159265359;

vec3 fresnelSchlick(vec3 F0, float HdotV) {
    return mix(F0, vec3(1.0), pow(1.0 - HdotV, 5.0));
}

vec3 fresnelSchlickRoughness(vec3 F0, float NdotV, float rgh) {
    return F0 + (max(vec3(1.0 - rgh), F0) - F0) * pow(1.0 - NdotV, 5.0);
}

vec3 lambertianDiffuse(vec3 alb, vec3 F, float mtl) {
    return (1.0 - F) * (1.0 - mtl) * alb / PI;
}

float visibilityGGX(float NdotX, float rgh2) {
    return 1.0 / (NdotX + sqrt(mix(rgh2, 1.0, NdotX * NdotX)));
}

vec3 cookTorranceBRDF(vec3 F, float NdotL, float NdotV, float NdotH, float rgh) {
    float rgh2 = pow(rgh, 2.0);
    float rgh4 = pow(rgh2, 2.0);
    float V = visibilityGGX(NdotL, rgh2) * visibilityGGX(NdotV, rgh2);
    float D = rgh4 / (PI * pow(mix(1.0, rgh4, NdotH * NdotH), 2.0));
    return F * V * D;
}

// Chebyshev's bound on the lit share, with bounds below one half taken as
// full shadow to cut light bleeding.
float chebyshevShadow(vec3 depthpos) {
    vec2 moments = texture(tex_dpt, depthpos.xy).rg;
    if (depthpos.z <= moments.x) return 1.0;
    float variance = max(moments.y - moments.x * moments.x, 1.0 / 32768.0);
    float d = depthpos.z - moments.x;
    float lit = variance / (variance + d * d);
    return clamp(2.0 * lit - 1.0, 0.0, 1.0);
}

// The shadow map covers the light's box only: ground beyond it (a large
// map's box follows the camera) is lit, and shadows fade out over the box's
// outer twelfth, so its edge never shows as a line. The built-in patch lies
// well inside the box.
float skylightShadow() {
    vec3 depthpos = (v_lightpos.xyz / v_lightpos.w) * 0.5 + 0.5;
    vec2 edge = min(depthpos.xy, 1.0 - depthpos.xy);
    float inside = clamp(min(edge.x, edge.y) * 12.0, 0.0, 1.0);
    float shadow = chebyshevShadow(depthpos);
    if (depthpos.z > 1.0) return 1.0;
    return inside < 1.0 ? mix(1.0, shadow, inside) : shadow;
}

// 1 up to 16 units before fardist, fading linearly to 0 at fardist.
float fogFactor() {
    return clamp((fardist - length(campos - v_worldpos)) / 16.0, 0.0, 1.0);
}

// Direct and ambient light on a surface of albedo alb, roughness, metalness
// and occlusion rma, and unit tangent-space normal nrm.
vec3 shadeSurface(vec3 alb, vec3 rma, vec3 nrm) {
    float rgh = rma.x;
    float mtl = rma.y;
    float ao = rma.z;
    vec3 F0 = mix(vec3(0.03), alb, mtl);

    vec3 N = normalize(v_TBN * nrm);
    vec3 V = normalize(campos - v_worldpos);
    vec3 L = normalize(-lightdir);
    vec3 H = normalize(V + L);
    float NdotL = clamp(dot(N, L), 0.0, 1.0);
    float NdotV = clamp(dot(N, V), 0.0, 1.0);
    float NdotH = clamp(dot(N, H), 0.0, 1.0);
    float HdotV = clamp(dot(H, V), 0.0, 1.0);

    vec3 F = fresnelSchlick(F0, HdotV);
    vec3 diff = lambertianDiffuse(alb, F, mtl);
    vec3 spec = cookTorranceBRDF(F, NdotL, NdotV, NdotH, rgh);
    vec3 sky = (diff + spec) * lightcol * NdotL * skylightShadow();

    vec3 Fa = fresnelSchlickRoughness(F0, NdotV, rgh);
    vec3 adiff = 0.03 * (1.0 - Fa) * (1.0 - mtl) * alb * ao;
    vec2 brdf = texture(tex_brdf, vec2(NdotV, rgh)).rg;
    vec3 aspec = 0.01 * (Fa * brdf.x + brdf.y) * ao;
    return adiff + aspec + sky;
}
