// Where the start-up's images come from, behind one interface: a desktop
// decodes the files embedded in the executable (image_source_embedded.cpp);
// a page embeds only the few the logo screen and the terrain need and has
// the browser download and decode the rest, which it uploads as the
// browser's pictures (image_source_page.cpp). The build picks one.
#pragma once

#include <epoxy/gl.h>
#include <stdint.h>

#include "graph_decode.h"

// ---------------------------------------------------------------- types ----

// One image taken for upload: decoded pixels, or the page's picture.
struct SourceImage {
    uint8_t *pixels;  // channels bytes a pixel, rows from the top; NULL for a picture
    int picture;      // the page's handle of its decoded picture
    int width, height;
};

// ------------------------------------------------------------ functions ----

// Whether image can be taken now without waiting (it has arrived, or is
// known to have failed).
int imageArrived(const DecodeJob &image);

// Takes image for one upload into *out. Returns 0, or 1 after one "Image
// Error" line naming the file when it did not arrive or does not decode.
int imageTake(const DecodeJob &image, SourceImage *out);

// Uploads image into the texture bound to target: level 0 of a
// GL_TEXTURE_2D with internal format internal, or layer layer of a
// GL_TEXTURE_2D_ARRAY allocated before. format is the pixels' format.
void imageUpload(const SourceImage &image, GLenum target, GLint internal, GLenum format, int layer);

// Frees what imageTake held.
void imageRelease(SourceImage *image);
