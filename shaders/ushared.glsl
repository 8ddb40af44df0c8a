// The shared uniform block; its layout is queried from GL at start-up.
uniform ushared {
    mat4 proj;
    mat4 view;
    mat4 lightspace;
    vec3 campos;
    vec3 fogcolor;
    vec3 lightdir;
    vec3 lightcol;
    float fardist;
};
