// A page's images: the logo screen's and the terrain's few are embedded and
// decoded here; the rest the page downloads beside knoll.wasm and the
// browser decodes (web/knoll-loader.js), each as a picture with its pixels
// as stored (no premultiplied alpha, no colour conversion), which WebGL
// uploads straight from the browser's decoded copy. A picture is handed over
// once and closed after its upload.
#include "image_source.h"

#include <emscripten.h>
#include <stdio.h>
#include <string.h>

#include <stb_image.h>

#include "graph_init.h"

// ------------------------------------------------------------ constants ----

enum { REASON_SIZE = 256 };

// ------------------------------------------------------------- the page ----

// clang-format off
// Module.knollPicture(name) is undefined while the picture is on its way,
// then {bitmap} or {error}; it hands each over once.
EM_JS(int, pagePictureArrived, (const char *name), {
    var hook = Module["knollPicture"];
    return !hook || hook(UTF8ToString(name), false) !== undefined ? 1 : 0;
});

// Takes the picture of name: a handle above 0 with its size, or 0 with what
// failed, naming the file, into reason (size bytes).
EM_JS(int, pagePictureTake, (const char *name, int *width, int *height, char *reason, int size), {
    var hook = Module["knollPicture"];
    name = UTF8ToString(name);
    var picture = hook ? hook(name, true) : {error: name + ": the page gives no pictures"};
    if (!picture || !picture.bitmap) {
        stringToUTF8(picture ? picture.error : name + " has not arrived", reason, size);
        return 0;
    }
    var taken = Module["knollTaken"] = Module["knollTaken"] || [null];
    taken.push(picture.bitmap);
    HEAP32[width >> 2] = picture.bitmap.width;
    HEAP32[height >> 2] = picture.bitmap.height;
    return taken.length - 1;
});

EM_JS(void, pagePictureUpload, (int picture, GLenum target, GLint internal, GLenum format,
                                int layer, int width, int height), {
    var bitmap = Module["knollTaken"][picture];
    if (target == 0x8C1A)  // TEXTURE_2D_ARRAY
        GLctx.texSubImage3D(target, 0, 0, 0, layer, width, height, 1, format, 0x1401, bitmap);
    else
        GLctx.texImage2D(target, 0, internal, width, height, 0, format, 0x1401, bitmap);
});

EM_JS(void, pagePictureRelease, (int picture), {
    var taken = Module["knollTaken"];
    taken[picture].close();
    taken[picture] = null;
});
// clang-format on

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
