// The mipmapped textures' LOD bias: half a level sharper. Read by the C++
// sources (graph_init.cpp, as a texture parameter) and by the prelude of
// WebGL 2 (in its lookups), so this one line is both C and GLSL.
#define MATERIAL_LOD_BIAS (-0.5)
