// The heightmaps people bring, read into one form: greyscale PNG (8 or 16
// bits), 16-bit RAW and SRTM .hgt tiles; and splat maps of material indices.
// No GL, no files: callers hand over bytes, so the desktop, the page and the
// fuzz target share every check.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ------------------------------------------------------------ constants ----

enum {
    MAP_SIDE_MIN = 67,    // one terrain tile with its ring of samples
    MAP_HEAD_BYTES = 33,  // what mapProbe needs of a file's start: a PNG's IHDR
    MAP_MATERIALS = 8,    // splat values 0 to 7
    HGT_SIDE_3 = 1201,    // SRTM3: 3 arc-seconds a sample
    HGT_SIDE_1 = 3601,    // SRTM1: 1 arc-second a sample
};

// A PNG or RAW's full range of values is this many units high unless told
// (--terrain-height): an 8-bit b is then b / 8 units, a 16-bit v is v / 2048.
static const double MAP_DEFAULT_HEIGHT = 32.0;
// Ground units per sample, in x and z, for every format.
static const double MAP_SAMPLE_SPACING = 0.5;

// ---------------------------------------------------------------- types ----

enum MapFormat { MAP_PNG, MAP_RAW16, MAP_HGT };

// What a file's name, size and first bytes tell, before anything large is
// allocated.
struct MapHeader {
    MapFormat format;
    int32_t width, height;  // samples per row, rows
    int bits;               // 8 or 16 bits a sample as stored
};

// A heightmap in memory: one 16-bit value per sample, row-major (x along a
// row, z down the rows). A value v stands at (v - zero) * scale units.
struct HeightMap {
    int32_t width, height;
    uint16_t *samples;  // width * height values, malloc'd; free with mapFree
    int32_t zero;
    double scale;
    uint16_t lowest, highest;  // the smallest and largest value in samples
};

// ------------------------------------------------------------ functions ----

// The format a file's name ends in: ".png", ".r16" or ".raw", ".hgt", in any
// case. Returns 0, or 1 with the reason in msg.
int mapFormatFromName(const char *name, MapFormat *format, char *msg, size_t msg_size);

// Checks what format, the file's size in bytes and its first head_len bytes
// (MAP_HEAD_BYTES suffice) already tell: a PNG's signature, greyscale and
// size from its header, a RAW's side from its size (2 n n bytes), an .hgt's
// size (1201 or 3601 a side); every side within MAP_SIDE_MIN to side_max.
// Returns 0 with *out filled, or 1 with a reason in msg that names no file.
int mapProbe(MapFormat format, uint64_t file_size, const uint8_t *head, size_t head_len,
             int32_t side_max, MapHeader *out, char *msg, size_t msg_size);

// Decodes a probed file's whole contents into *out. Takes data (malloc'd,
// size bytes) and frees it, or, for RAW and .hgt, turns it into the samples
// in place, so a large file is never held twice. terrain_height is the
// height in units of a PNG's or RAW's full range; an .hgt is in metres, at
// true scale from its sample spacing. An .hgt's voids are filled from the
// nearest valid samples. Returns 0, or 1 with a reason in msg (a damaged or
// truncated file, one that disagrees with its header, an .hgt with no valid
// sample), having freed data.
int mapDecode(const MapHeader *header, uint8_t *data, size_t size, double terrain_height,
              HeightMap *out, char *msg, size_t msg_size);

void mapFree(HeightMap *map);

// Decodes a splat map for cells_x x cells_z drawn cells: an 8-bit greyscale
// PNG of exactly that size whose values are 0 to 7. Returns the cells
// (malloc'd, row-major) or NULL with a reason in msg.
uint8_t *splatDecode(const uint8_t *png, size_t size, int32_t cells_x, int32_t cells_z, char *msg,
                     size_t msg_size);
