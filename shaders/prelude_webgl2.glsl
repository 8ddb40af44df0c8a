#version 300 es
// WebGL 2 (OpenGL ES 3.0): every float and sampler at full precision, a
// window framebuffer that never encodes sRGB, so colours are encoded here,
// and no texture parameter for the LOD bias, so the mipmapped lookups ask
// for the half-level sharpening themselves.
precision highp float;
precision highp int;
precision highp sampler2D;
precision highp sampler2DArray;

// The colour to write to the window for a linear colour: sRGB-encoded, as
// the desktop's sRGB framebuffer would store it.
vec4 windowColor(vec3 linear) {
    vec3 c = clamp(linear, 0.0, 1.0);
    vec3 low = c * 12.92;
    vec3 high = 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055;
    return vec4(mix(high, low, lessThanEqual(c, vec3(0.0031308))), 1.0);
}

// A lookup in a mipmapped material or model texture.
#include "material_lod_bias.glsl"
#define textureSharp(s, p) texture(s, p, MATERIAL_LOD_BIAS)
