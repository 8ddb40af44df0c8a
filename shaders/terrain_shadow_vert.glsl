// Terrain seen from the light, for the moment map.

layout(location = 0) in vec3 position;

#include "ushared.glsl"

uniform mat4 model;

out vec4 v_lightpos;

void main() {
    v_lightpos = lightspace * model * vec4(position, 1.0);
    gl_Position = v_lightpos;
}
