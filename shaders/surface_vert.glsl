// Shared by the terrain and the mesh-model programs: world position, shadow
// map position and the tangent frame in world space.

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec3 tangent;
layout(location = 3) in vec3 bitangent;
layout(location = 4) in vec2 texpos;

#include "ushared.glsl"

uniform mat4 model;

out vec3 v_worldpos;
out vec4 v_lightpos;
out vec2 v_texpos;
out mat3 v_TBN;

void main() {
    vec4 worldpos = model * vec4(position, 1.0);
    v_worldpos = worldpos.xyz;
    v_lightpos = lightspace * worldpos;
    v_texpos = texpos;
    // Model matrices are translation, rotation about y and uniform scale
    // only, so directions need no inverse transpose.
    vec3 T = normalize((model * vec4(tangent, 0.0)).xyz);
    vec3 B = normalize((model * vec4(bitangent, 0.0)).xyz);
    vec3 N = normalize((model * vec4(normal, 0.0)).xyz);
    v_TBN = mat3(T, B, N);
    gl_Position = proj * view * worldpos;
}
