#version 330
// A quad over all of clip space, with texture positions from 0 to 1.

layout(location = 0) in vec2 position;

out vec2 v_texpos;

void main() {
    v_texpos = position * 0.5 + 0.5;
    gl_Position = vec4(position, 0.0, 1.0);
}
