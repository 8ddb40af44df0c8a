// The asset catalogue and its checker.
#include "check.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb_image.h>

#include "graph_models.h"
#include "images.h"

// ------------------------------------------------------------ constants ----

// Largest file the checker reads; the biggest asset is about a megabyte.
static const long MAX_FILE_BYTES = 64L << 20;

// ---------------------------------------------------------------- state ----

#define MATERIAL_ENTRY(n)                                                 \
    {"t" #n "_alb.png", 512, 512, 3}, {"t" #n "_rma.png", 512, 512, 3}, { \
        "t" #n "_nrm.png", 512, 512, 3                                    \
    }
#define MODEL_ENTRY(m)                                                               \
    {m ".omm", 0, 0, 0}, {m "_alb.png", 512, 512, 4}, {m "_rma.png", 512, 512, 3}, { \
        m "_nrm.png", 512, 512, 3                                                    \
    }

const AssetEntry ASSET_CATALOGUE[ASSET_COUNT] = {
    {"font.png", 256, 128, 4},   {"logo.png", 350, 128, 4},
    {"t_grid.png", 512, 512, 4}, {"brdf_lut.png", 512, 512, 3},
    {"height.png", 67, 67, 1},   {"splat.png", 64, 64, 1},
    MATERIAL_ENTRY(0),           MATERIAL_ENTRY(1),
    MATERIAL_ENTRY(2),           MATERIAL_ENTRY(3),
    MATERIAL_ENTRY(4),           MATERIAL_ENTRY(5),
    MATERIAL_ENTRY(6),           MATERIAL_ENTRY(7),
    MODEL_ENTRY("barrel"),       MODEL_ENTRY("fern"),
    MODEL_ENTRY("palm"),         MODEL_ENTRY("cactus"),
};

#undef MATERIAL_ENTRY
#undef MODEL_ENTRY

// ------------------------------------------------------------ functions ----

const AssetEntry *assetFind(const char *name) {
    for (int k = 0; k < ASSET_COUNT; k++)
        if (strcmp(ASSET_CATALOGUE[k].name, name) == 0) return &ASSET_CATALOGUE[k];
    return nullptr;
}

// Checks every byte of a decoded grey image is at most max.
static int checkRange(const char *name, const unsigned char *px, int n, int max, char *msg,
                      size_t msg_size) {
    for (int k = 0; k < n; k++) {
        if (px[k] > max) {
            snprintf(msg, msg_size, "%s: value %d at texel %d exceeds %d", name, px[k], k, max);
            return 1;
        }
    }
    return 0;
}

// Whether a file with file_comp channels gives what a request for comp needs
// without losing anything: grey stays grey, colour stays colour, and alpha is
// present where it is read.
static int layoutMatches(int comp, int file_comp) {
    if (comp == 4) return file_comp == 4 || file_comp == 2;
    return file_comp == comp;
}

// Checks a PNG against its entry: decodes, 8-bit, size, channel layout and
// the value ranges the heightmap and splat map must keep.
static int checkImage(const AssetEntry *e, const uint8_t *data, size_t len, char *msg,
                      size_t msg_size) {
    if (len > (size_t)MAX_FILE_BYTES) {
        snprintf(msg, msg_size, "%s: file too large (%zu bytes)", e->name, len);
        return 1;
    }
    int w = 0, h = 0, file_comp = 0;
    if (len == 0 || !stbi_info_from_memory(data, (int)len, &w, &h, &file_comp)) {
        snprintf(msg, msg_size, "%s: not a readable image", e->name);
        return 1;
    }
    if (w != e->w || h != e->h) {
        snprintf(msg, msg_size, "%s: size %d x %d, expected %d x %d", e->name, w, h, e->w, e->h);
        return 1;
    }
    if (!layoutMatches(e->comp, file_comp)) {
        snprintf(msg, msg_size, "%s: %d channels, expected %d", e->name, file_comp, e->comp);
        return 1;
    }
    if (stbi_is_16_bit_from_memory(data, (int)len)) {
        snprintf(msg, msg_size, "%s: 16-bit samples, expected 8-bit", e->name);
        return 1;
    }
    int dw = 0, dh = 0, dc = 0;
    unsigned char *px = stbi_load_from_memory(data, (int)len, &dw, &dh, &dc, e->comp);
    if (!px) {
        snprintf(msg, msg_size, "%s: decode failed (%s)", e->name, stbi_failure_reason());
        return 1;
    }
    int rc = 0;
    if (strcmp(e->name, "height.png") == 0)
        rc = checkRange(e->name, px, w * h, HEIGHT_MAX, msg, msg_size);
    else if (strcmp(e->name, "splat.png") == 0)
        rc = checkRange(e->name, px, w * h, MATERIAL_COUNT - 1, msg, msg_size);
    else if (strcmp(e->name, "logo.png") == 0) {
        // The logo screen does not blend: every texel must be opaque.
        for (int k = 0; k < w * h && !rc; k++)
            if (px[k * 4 + 3] != 255) {
                snprintf(msg, msg_size, "%s: texel %d is not opaque", e->name, k);
                rc = 1;
            }
    }
    stbi_image_free(px);
    return rc;
}

int checkAsset(const char *name, const uint8_t *data, size_t len, char *msg, size_t msg_size) {
    const AssetEntry *e = assetFind(name);
    if (!e) {
        snprintf(msg, msg_size, "%s: not in the asset catalogue", name);
        return 1;
    }
    if (e->comp == 0) {
        char why[256];
        if (mmodelValidate(data, len, why, sizeof why) != 0) {
            snprintf(msg, msg_size, "%s: %s", name, why);
            return 1;
        }
        return 0;
    }
    return checkImage(e, data, len, msg, msg_size);
}

// Reads a whole file, up to MAX_FILE_BYTES; null with *len 0 on failure.
static uint8_t *loadFile(const char *path, size_t *len) {
    *len = 0;
    FILE *f = fopen(path, "rb");
    if (!f) return nullptr;
    uint8_t *data = nullptr;
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
    if (size >= 0 && size <= MAX_FILE_BYTES && fseek(f, 0, SEEK_SET) == 0) {
        data = (uint8_t *)malloc(size > 0 ? (size_t)size : 1);
        if (data && fread(data, 1, (size_t)size, f) == (size_t)size) {
            *len = (size_t)size;
        } else {
            free(data);
            data = nullptr;
        }
    }
    fclose(f);
    return data;
}

int checkAssetDir(const char *dir, char *msg, size_t msg_size) {
    char path[4096];
    for (int k = 0; k < ASSET_COUNT; k++) {
        const char *name = ASSET_CATALOGUE[k].name;
        snprintf(path, sizeof path, "%s/%s", dir, name);
        size_t len = 0;
        uint8_t *data = loadFile(path, &len);
        if (!data) {
            snprintf(msg, msg_size, "%s: cannot read %s", name, path);
            return 1;
        }
        int rc = checkAsset(name, data, len, msg, msg_size);
        free(data);
        if (rc) return 1;
    }
    if (msg_size) msg[0] = '\0';
    return 0;
}
