// The desktop's images: every one is embedded in the executable and decoded
// ahead on a worker thread (graph_decode.cpp).
#include "image_source.h"

#include <stb_image.h>

#include "graph_init.h"

// ------------------------------------------------------------ functions ----

int imageArrived(const DecodeJob &image) {
    (void)image;
    return 1;
}

int imageTake(const DecodeJob &image, SourceImage *out) {
    out->picture = 0;
    out->pixels = assetDecode(image.blob, image.channels, &out->width, &out->height);
    return out->pixels ? 0 : 1;
}

void imageUpload(const SourceImage &image, GLenum target, GLint internal, GLenum format, int layer) {
    if (target == GL_TEXTURE_2D_ARRAY)
        glTexSubImage3D(target, 0, 0, 0, layer, image.width, image.height, 1, format,
                        GL_UNSIGNED_BYTE, image.pixels);
    else
        glTexImage2D(target, 0, internal, image.width, image.height, 0, format, GL_UNSIGNED_BYTE,
                     image.pixels);
}

void imageRelease(SourceImage *image) {
    stbi_image_free(image->pixels);
    image->pixels = nullptr;
}
