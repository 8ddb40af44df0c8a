// A page's images: the logo screen's and the terrain's few are embedded and
// decoded here; the rest the page downloads beside knoll.wasm and the
// browser decodes (web/knoll-loader.js), each as a picture with its pixels
// as stored (no premultiplied alpha, no colour conversion), which WebGL
// uploads straight from the browser's decoded copy. A picture is handed over
// once and closed after its upload (page_bridge.cpp).
#include "image_source.h"

#include <stdio.h>

#include <stb_image.h>

#include "graph_init.h"
#include "page_bridge.h"

// ------------------------------------------------------------ constants ----

enum { REASON_SIZE = 256 };

// ------------------------------------------------------------ functions ----

// A file the page downloads is embedded empty.
static int fromPage(const DecodeJob &image) { return image.blob.size == 0; }

int imageArrived(const DecodeJob &image) {
    return fromPage(image) ? pagePictureArrived(image.blob.name) : 1;
}

int imageTake(const DecodeJob &image, SourceImage *out) {
    *out = {};
    if (!fromPage(image)) {
        out->pixels = assetDecode(image.blob, image.channels, &out->width, &out->height);
        return out->pixels ? 0 : 1;
    }
    char reason[REASON_SIZE];
    out->picture = pagePictureTake(image.blob.name, &out->width, &out->height, reason, REASON_SIZE);
    if (out->picture) return 0;
    fprintf(stderr, "Image Error: %s\n", reason);
    return 1;
}

void imageUpload(const SourceImage &image, GLenum target, GLint internal, GLenum format, int layer) {
    if (image.picture) {
        pagePictureUpload(image.picture, target, internal, format, layer, image.width,
                          image.height);
    } else if (target == GL_TEXTURE_2D_ARRAY) {
        glTexSubImage3D(target, 0, 0, 0, layer, image.width, image.height, 1, format,
                        GL_UNSIGNED_BYTE, image.pixels);
    } else {
        glTexImage2D(target, 0, internal, image.width, image.height, 0, format, GL_UNSIGNED_BYTE,
                     image.pixels);
    }
}

void imageRelease(SourceImage *image) {
    if (image->picture) pagePictureRelease(image->picture);
    stbi_image_free(image->pixels);
    *image = {};
}
