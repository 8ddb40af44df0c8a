#version 330
// OpenGL 3.3 core: the window's framebuffer encodes sRGB by itself, and the
// mipmapped textures carry their half-level sharpening as a texture
// parameter, so both helpers pass their values through.

// The colour to write to the window for a linear colour.
vec4 windowColor(vec3 linear) {
    return vec4(linear, 1.0);
}

// A lookup in a mipmapped material or model texture.
#define textureSharp(s, p) texture(s, p)
