// Decoding the embedded images ahead of their upload: a worker thread decodes
// a known list of images in the order start-up uploads them, some images
// ahead, while the GL thread uploads the ones already decoded. No GL call is
// made off the GL thread.
#pragma once

#include <stdint.h>

#include "graph_init.h"

// ---------------------------------------------------------------- types ----

// One image to decode: the embedded file and the channels asked for.
struct DecodeJob {
    Blob blob;
    int channels;
};

// ------------------------------------------------------------ functions ----

// Starts decoding jobs[0..count) in order on the worker thread; jobs must stay
// valid until decodeAheadStop, which also runs at exit. Does nothing if
// decoding ahead already runs.
void decodeAheadStart(const DecodeJob *jobs, int count);

// The pixels of blob decoded with channels channels, as stbi_load_from_memory
// gives them (free with stbi_image_free; NULL when the image does not
// decode, with the decoder's reason in *reason). Waits for the earliest
// listed job not yet taken that matches; an image that is not listed, or
// not yet begun, is decoded on the calling thread.
uint8_t *decodeAheadTake(Blob blob, int channels, int *width, int *height, const char **reason);

// Ends the worker and frees every decoded image that was not taken.
void decodeAheadStop(void);

// Images asked of decodeAheadTake since the last start that were not listed.
int decodeAheadUnlisted(void);
