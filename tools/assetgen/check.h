// The asset catalogue and its checker: every file of assets/ with the pixel
// size and channel count the program loads it with.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ------------------------------------------------------------ constants ----

enum {
    ASSET_COUNT = 46,  // 42 images and 4 mesh models
};

// ---------------------------------------------------------------- types ----

// One catalogue entry. Images: width, height and the channel count requested
// from the decoder. Mesh models (.omm) have all three 0.
struct AssetEntry {
    const char *name;
    int w, h, comp;
};

// ---------------------------------------------------------------- state ----

extern const AssetEntry ASSET_CATALOGUE[ASSET_COUNT];

// ------------------------------------------------------------ functions ----

// The catalogue entry called name, or null.
const AssetEntry *assetFind(const char *name);

// Checks the bytes of the asset called name. Returns 0 when sound, else 1 with
// a one-line reason in msg. Safe on any input, including empty or garbage.
int checkAsset(const char *name, const uint8_t *data, size_t len, char *msg, size_t msg_size);

// Checks every catalogue file in dir; stops at the first fault. Returns 0 when
// all are sound, else 1 with a one-line reason naming the file in msg.
int checkAssetDir(const char *dir, char *msg, size_t msg_size);
