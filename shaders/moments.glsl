// The first two moments of light-space depth, mapped to 0 to 1 as the
// surfaces' shadow lookup maps its receivers.
vec4 depthMoments(vec4 lightpos) {
    float depth = (lightpos.z / lightpos.w) * 0.5 + 0.5;
    return vec4(depth, depth * depth, 0.0, 0.0);
}
