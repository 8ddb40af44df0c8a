// Screen-space quads of the logo and the frame counter: pixel positions
// through the HUD projection.

layout(location = 0) in vec2 position;
layout(location = 4) in vec2 texpos;

uniform mat4 proj;
uniform mat4 model;

out vec2 v_texpos;

void main() {
    v_texpos = texpos;
    gl_Position = proj * model * vec4(position, 0.0, 1.0);
}
