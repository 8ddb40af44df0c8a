// Mesh models seen from the light, passing the texture position on for the
// alpha cut-out.

layout(location = 0) in vec3 position;
layout(location = 4) in vec2 texpos;

#include "ushared.glsl"

uniform mat4 model;

out vec4 v_lightpos;
out vec2 v_texpos;

void main() {
    v_texpos = texpos;
    v_lightpos = lightspace * model * vec4(position, 1.0);
    gl_Position = v_lightpos;
}
