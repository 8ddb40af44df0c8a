// The parts of stb that Knoll, its tests and its tools use, for the Windows
// build: Debian ships them compiled only for its own systems (libstb), so
// the Windows build compiles the same headers into this one unit.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>
#include <stb_truetype.h>
