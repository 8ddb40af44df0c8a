// Hard-edged HUD texels: no blending, so a texel is drawn opaque or not at all.

in vec2 v_texpos;

uniform sampler2D tex;

out vec4 f_color;

void main() {
    vec4 col = texture(tex, v_texpos);
    if (col.a < 0.5) discard;
    f_color = windowColor(col.rgb);
}
