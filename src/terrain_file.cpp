#include "terrain_file.h"

#include <limits.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb_image.h>

#include "page_boundary.h"

// ------------------------------------------------------------ constants ----

static const uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

enum {
    PNG_IHDR_BYTES = 13,
    PNG_GREY = 0,
    PNG_RGB = 2,
    PNG_PALETTE = 3,
    PNG_GREY_ALPHA = 4,
    PNG_RGBA = 6,
    HGT_VOID = 0,  // -32768 m, once shifted to unsigned
};

// An .hgt's rows are one arc-second of latitude apart (three for SRTM3): a
// nautical mile is one arc-minute.
static const double ARC_SECOND_METRES = 1852.0 / 60.0;

// ---------------------------------------------------------------- types ----

// A file name's ending and the format it stands for.
struct FormatName {
    const char *ending;
    MapFormat format;
};

// What a PNG's signature and header chunk say.
struct PngHead {
    uint32_t width, height;
    int depth, colour;
};

// ------------------------------------------------------------ functions ----

// Writes a reason into msg (NULL when msg_size is 0) and returns 1, so a
// refusal is one statement.
static int refuse(char *msg, size_t msg_size, const char *format, ...) {
    if (msg_size) {
        va_list args;
        va_start(args, format);
        vsnprintf(msg, msg_size, format, args);
        va_end(args);
    }
    return 1;
}

// Empties msg and returns 0: an accepted file leaves no stale reason behind.
static int succeed(char *msg, size_t msg_size) {
    if (msg_size) msg[0] = '\0';
    return 0;
}

// stb keeps its last reason per thread; a build without reason strings has
// none to give.
static const char *stbReason(void) {
    const char *reason = stbi_failure_reason();
    return reason ? reason : "no reason given";
}

// The four bytes at p as PNG stores numbers: most significant first.
static uint32_t readBigEndian32(const uint8_t *p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// c in lower case when it is an ASCII capital; any other byte unchanged.
static char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// Whether a and b are the same text but for the case of ASCII letters, which
// the locale cannot change.
static int sameLetters(const char *a, const char *b) {
    for (; *a && *b; a++, b++)
        if (lowerAscii(*a) != lowerAscii(*b)) return 0;
    return *a == *b;
}

// The largest n with n * n <= v, for any v below 2^63.
static uint64_t squareRoot(uint64_t v) {
    uint64_t n = (uint64_t)sqrt((double)v);
    while (n * n > v) n--;
    while ((n + 1) * (n + 1) <= v) n++;
    return n;
}

// -------------------------------------------------------------- probing ----

// Reads a PNG's signature and header chunk from its first len bytes, of a
// file of size bytes. Returns 0, or 1 with the reason in msg.
static int readPngHead(const uint8_t *head, size_t len, uint64_t size, PngHead *out, char *msg,
                       size_t msg_size) {
    if (size == 0) return refuse(msg, msg_size, "is empty");
    size_t have = (uint64_t)len < size ? len : (size_t)size;
    size_t compared = have < sizeof(PNG_SIGNATURE) ? have : sizeof(PNG_SIGNATURE);
    if (compared == 0 || memcmp(head, PNG_SIGNATURE, compared) != 0)
        return refuse(msg, msg_size, "is not a PNG file");
    if (have < MAP_HEAD_BYTES) return refuse(msg, msg_size, "is cut short");
    const uint8_t *chunk = head + sizeof(PNG_SIGNATURE);
    if (readBigEndian32(chunk) != PNG_IHDR_BYTES || memcmp(chunk + 4, "IHDR", 4) != 0)
        return refuse(msg, msg_size, "is a damaged PNG: it does not start with its header chunk");
    out->width = readBigEndian32(chunk + 8);
    out->height = readBigEndian32(chunk + 12);
    out->depth = chunk[16];
    out->colour = chunk[17];
    return 0;
}

// Whether a PNG holds colour (RGB, palette or RGBA) rather than grey.
static int isColour(const PngHead *png) {
    return png->colour == PNG_RGB || png->colour == PNG_PALETTE || png->colour == PNG_RGBA;
}

// Whether a greyscale PNG's depth is one PNG allows for its colour type.
static int greyDepthExists(const PngHead *png) {
    int d = png->depth;
    if (png->colour == PNG_GREY) return d == 1 || d == 2 || d == 4 || d == 8 || d == 16;
    if (png->colour == PNG_GREY_ALPHA) return d == 8 || d == 16;
    return 0;
}

// Refuses a map of w x h samples with a side beyond MAP_SIDE_MIN to side_max.
static int checkSides(uint64_t w, uint64_t h, int32_t side_max, char *msg, size_t msg_size) {
    if (w > (uint64_t)(int64_t)side_max || h > (uint64_t)(int64_t)side_max || side_max < 0)
        return refuse(msg, msg_size,
                      "is %llu x %llu samples; the largest Knoll takes here is %d a side",
                      (unsigned long long)w, (unsigned long long)h, (int)side_max);
    if (w < MAP_SIDE_MIN || h < MAP_SIDE_MIN)
        return refuse(msg, msg_size, "is %llu x %llu samples; a map needs at least %d a side",
                      (unsigned long long)w, (unsigned long long)h, (int)MAP_SIDE_MIN);
    return 0;
}

// A greyscale PNG's header from its first bytes; colour is refused with what
// to export instead.
static int probePng(uint64_t file_size, const uint8_t *head, size_t head_len, int32_t side_max,
                    MapHeader *out, char *msg, size_t msg_size) {
    PngHead png;
    if (readPngHead(head, head_len, file_size, &png, msg, msg_size)) return 1;
    if (isColour(&png))
        return refuse(msg, msg_size,
                      "is a colour PNG; export the heightmap as greyscale, 16 bits if you can");
    if (!greyDepthExists(&png))
        return refuse(msg, msg_size, "is a damaged PNG: colour type %d with %d bits a sample",
                      png.colour, png.depth);
    if (checkSides(png.width, png.height, side_max, msg, msg_size)) return 1;
    *out = {MAP_PNG, (int32_t)png.width, (int32_t)png.height, png.depth == 16 ? 16 : 8};
    return 0;
}

// A RAW's side from its size alone: 2 n n bytes, n within the limits.
static int probeRaw(uint64_t file_size, int32_t side_max, MapHeader *out, char *msg,
                    size_t msg_size) {
    if (file_size == 0) return refuse(msg, msg_size, "is empty");
    uint64_t n = squareRoot(file_size / 2);
    if (file_size != 2 * n * n)
        return refuse(msg, msg_size,
                      "is %llu bytes, which is not 2 x n x n for a square 16-bit map",
                      (unsigned long long)file_size);
    if (checkSides(n, n, side_max, msg, msg_size)) return 1;
    *out = {MAP_RAW16, (int32_t)n, (int32_t)n, 16};
    return 0;
}

// An .hgt's side from its size alone: one of SRTM's two tile sizes.
static int probeHgt(uint64_t file_size, int32_t side_max, MapHeader *out, char *msg,
                    size_t msg_size) {
    const uint64_t small = 2ull * HGT_SIDE_3 * HGT_SIDE_3, large = 2ull * HGT_SIDE_1 * HGT_SIDE_1;
    if (file_size == 0) return refuse(msg, msg_size, "is empty");
    if (file_size != small && file_size != large)
        return refuse(msg, msg_size,
                      "is %llu bytes; an SRTM .hgt is %llu bytes (%d a side) or %llu (%d a side)",
                      (unsigned long long)file_size, (unsigned long long)small, (int)HGT_SIDE_3,
                      (unsigned long long)large, (int)HGT_SIDE_1);
    int32_t n = file_size == small ? HGT_SIDE_3 : HGT_SIDE_1;
    if (checkSides((uint64_t)n, (uint64_t)n, side_max, msg, msg_size)) return 1;
    *out = {MAP_HGT, n, n, 16};
    return 0;
}

int mapFormatFromName(const char *name, MapFormat *format, char *msg, size_t msg_size) {
#define FORMAT_NAME(ending, format) {ending, format},
    static const FormatName KNOWN[] = {KNOLL_MAP_ENDINGS(FORMAT_NAME)};
#undef FORMAT_NAME
    const char *dot = strrchr(name, '.');
    if (dot && !strpbrk(dot, "/\\")) {
        for (const FormatName &known : KNOWN) {
            if (!sameLetters(dot, known.ending)) continue;
            *format = known.format;
            return succeed(msg, msg_size);
        }
    }
    return refuse(msg, msg_size,
                  "is not a heightmap Knoll reads: give a greyscale .png, a 16-bit .r16/.raw or "
                  "an SRTM .hgt");
}

int mapProbe(MapFormat format, uint64_t file_size, const uint8_t *head, size_t head_len,
             int32_t side_max, MapHeader *out, char *msg, size_t msg_size) {
    int failed;
    switch (format) {
    case MAP_PNG: failed = probePng(file_size, head, head_len, side_max, out, msg, msg_size); break;
    case MAP_RAW16: failed = probeRaw(file_size, side_max, out, msg, msg_size); break;
    case MAP_HGT: failed = probeHgt(file_size, side_max, out, msg, msg_size); break;
    default: failed = refuse(msg, msg_size, "is in no format Knoll knows (%d)", (int)format);
    }
    return failed ? 1 : succeed(msg, msg_size);
}

// ------------------------------------------------------------- decoding ----

// Refuses a PNG of size bytes whose chunks, up to its end chunk, do not all
// lie within it: stb sets memory aside for a chunk's stated length before
// reading it, so one damaged length would otherwise cost gigabytes.
static int pngChunksFit(const uint8_t *png, size_t size, char *msg, size_t msg_size) {
    size_t at = sizeof(PNG_SIGNATURE);
    while (at <= size && size - at >= 12) {
        uint32_t len = readBigEndian32(png + at);
        if (len > size - at - 12)
            return refuse(msg, msg_size,
                          "is a damaged or cut-short PNG: a chunk runs past the end of the file");
        if (memcmp(png + at + 4, "IEND", 4) == 0) return 0;
        at += 12 + (size_t)len;
    }
    return refuse(msg, msg_size, "is a damaged or cut-short PNG: it has no end chunk");
}

// Takes an 8-bit image of count bytes (stb's, freed here) to 16 bits, b as
// b << 8, so that 8-bit and 16-bit exports of one map stand at the same
// heights. NULL when memory runs out.
static uint16_t *widen(uint8_t *bytes, size_t count) {
    uint16_t *samples = (uint16_t *)malloc(count * sizeof(uint16_t));
    if (samples)
        for (size_t i = 0; i < count; i++) samples[i] = (uint16_t)(bytes[i] << 8);
    stbi_image_free(bytes);
    return samples;
}

// Decodes a greyscale PNG that must match header, freeing data as soon as
// stb has read it. stb allocates with malloc, so its samples go to mapFree.
static int decodePng(const MapHeader *header, uint8_t *data, size_t size, HeightMap *out, char *msg,
                     size_t msg_size) {
    if (size > INT_MAX) {
        free(data);
        return refuse(msg, msg_size, "is %zu bytes, more than a PNG heightmap can be", size);
    }
    if (pngChunksFit(data, size, msg, msg_size)) {
        free(data);
        return 1;
    }
    int w = 0, h = 0, comp = 0;
    if (!stbi_info_from_memory(data, (int)size, &w, &h, &comp)) {
        free(data);
        return refuse(msg, msg_size, "is a damaged PNG (%s)", stbReason());
    }
    int bits = stbi_is_16_bit_from_memory(data, (int)size) ? 16 : 8;
    if (w != header->width || h != header->height || comp > 2 || bits != header->bits) {
        free(data);
        return refuse(msg, msg_size, "is not the PNG its first bytes described");
    }
    uint16_t *samples = NULL;
    int out_of_memory = 0;
    if (bits == 16) {
        samples = stbi_load_16_from_memory(data, (int)size, &w, &h, &comp, 1);
        free(data);
    } else {
        uint8_t *bytes = stbi_load_from_memory(data, (int)size, &w, &h, &comp, 1);
        free(data);
        if (bytes) {
            samples = widen(bytes, (size_t)w * (size_t)h);
            out_of_memory = !samples;
        }
    }
    if (out_of_memory) return refuse(msg, msg_size, "needs more memory than is free");
    if (!samples) return refuse(msg, msg_size, "is a damaged or cut-short PNG (%s)", stbReason());
    if (w != header->width || h != header->height) {
        free(samples);
        return refuse(msg, msg_size, "is not the PNG its first bytes described");
    }
    out->samples = samples;
    return 0;
}

// Reads a file of header's samples, two bytes each, into host order in
// place: little-endian unsigned for RAW, big-endian signed metres for .hgt,
// shifted up by 32768.
static int decodeSixteen(const MapHeader *header, uint8_t *data, size_t size, HeightMap *out,
                         char *msg, size_t msg_size) {
    uint64_t count = (uint64_t)header->width * (uint64_t)header->height;
    if ((uint64_t)size != 2 * count) {
        free(data);
        return refuse(msg, msg_size, "is %zu bytes, not the %llu of %d x %d 16-bit samples", size,
                      (unsigned long long)(2 * count), (int)header->width, (int)header->height);
    }
    uint16_t *samples = (uint16_t *)data;
    if (header->format == MAP_HGT) {
        for (size_t i = 0; i < count; i++)
            samples[i] = (uint16_t)((data[2 * i] << 8 | data[2 * i + 1]) ^ 0x8000);
    } else {
        for (size_t i = 0; i < count; i++)
            samples[i] = (uint16_t)(data[2 * i] | data[2 * i + 1] << 8);
    }
    out->samples = samples;
    return 0;
}

// Gives every void the value of its nearest valid sample, counting steps
// along rows and columns: a breadth-first walk out from all valid samples at
// once, in index order, so ties always go the same way. Returns 0, or 1 with
// a reason when there is nothing to fill from or no memory to walk with.
static int fillVoids(uint16_t *v, int32_t w, int32_t h, char *msg, size_t msg_size) {
    size_t count = (size_t)w * (size_t)h, voids = 0;
    for (size_t i = 0; i < count; i++) voids += v[i] == HGT_VOID;
    if (voids == 0) return 0;
    if (voids == count) return refuse(msg, msg_size, "has no valid samples: every one is a void");
    if ((uint64_t)w * (uint64_t)h > UINT32_MAX)
        return refuse(msg, msg_size, "has too many samples to fill its voids");
    // Each sample enters the queue once: a valid one at the start, a void
    // when it is filled.
    uint32_t *queue = (uint32_t *)malloc(count * sizeof(uint32_t));
    if (!queue) return refuse(msg, msg_size, "needs more memory than is free to fill its voids");
    size_t head = 0, tail = 0;
    for (size_t i = 0; i < count; i++)
        if (v[i] != HGT_VOID) queue[tail++] = (uint32_t)i;
    while (head < tail) {
        uint32_t i = queue[head++];
        uint32_t x = i % (uint32_t)w, z = i / (uint32_t)w;
        uint32_t next[4], n = 0;
        if (x > 0) next[n++] = i - 1;
        if (x + 1 < (uint32_t)w) next[n++] = i + 1;
        if (z > 0) next[n++] = i - (uint32_t)w;
        if (z + 1 < (uint32_t)h) next[n++] = i + (uint32_t)w;
        for (uint32_t k = 0; k < n; k++) {
            if (v[next[k]] != HGT_VOID) continue;
            v[next[k]] = v[i];
            queue[tail++] = next[k];
        }
    }
    free(queue);
    return 0;
}

// Sets map's lowest and highest from its samples.
static void findRange(HeightMap *map) {
    size_t count = (size_t)map->width * (size_t)map->height;
    uint16_t lowest = UINT16_MAX, highest = 0;
    for (size_t i = 0; i < count; i++) {
        uint16_t v = map->samples[i];
        if (v < lowest) lowest = v;
        if (v > highest) highest = v;
    }
    map->lowest = lowest;
    map->highest = highest;
}

int mapDecode(const MapHeader *header, uint8_t *data, size_t size, double terrain_height,
              HeightMap *out, char *msg, size_t msg_size) {
    *out = {};
    if (header->width <= 0 || header->height <= 0 ||
        (uint64_t)header->width * (uint64_t)header->height > SIZE_MAX / sizeof(uint16_t)) {
        free(data);
        return refuse(msg, msg_size, "has a header of %d x %d samples, which no map has",
                      (int)header->width, (int)header->height);
    }
    int failed;
    switch (header->format) {
    case MAP_PNG: failed = decodePng(header, data, size, out, msg, msg_size); break;
    case MAP_RAW16:
    case MAP_HGT: failed = decodeSixteen(header, data, size, out, msg, msg_size); break;
    default:
        free(data);
        failed = refuse(msg, msg_size, "is in no format Knoll knows (%d)", (int)header->format);
    }
    if (failed) return 1;
    out->width = header->width;
    out->height = header->height;
    if (header->format == MAP_HGT) {
        if (fillVoids(out->samples, out->width, out->height, msg, msg_size)) {
            mapFree(out);
            return 1;
        }
        int arc_seconds = header->width == HGT_SIDE_3 ? 3 : 1;
        out->zero = 32768;
        out->scale = MAP_SAMPLE_SPACING / (ARC_SECOND_METRES * arc_seconds);
    } else {
        out->zero = 0;
        out->scale = terrain_height / 65536.0;
    }
    findRange(out);
    return succeed(msg, msg_size);
}

// Frees map's samples and empties it, so a second call does nothing.
void mapFree(HeightMap *map) {
    free(map->samples);
    *map = {};
}

// ----------------------------------------------------------- splat maps ----

uint8_t *splatDecode(const uint8_t *png, size_t size, int32_t cells_x, int32_t cells_z, char *msg,
                     size_t msg_size) {
    PngHead head;
    if (readPngHead(png, size, size, &head, msg, msg_size)) return NULL;
    if (isColour(&head)) {
        refuse(msg, msg_size, "is a colour PNG; a splat map is 8-bit greyscale");
        return NULL;
    }
    if (!greyDepthExists(&head) || head.depth != 8) {
        refuse(msg, msg_size, "is a %d-bit PNG; a splat map is 8-bit greyscale", head.depth);
        return NULL;
    }
    if (cells_x <= 0 || cells_z <= 0 || head.width != (uint32_t)cells_x ||
        head.height != (uint32_t)cells_z) {
        refuse(msg, msg_size,
               "is %u x %u cells; this map needs a splat map of %d x %d, three fewer than its "
               "samples a side",
               head.width, head.height, (int)cells_x, (int)cells_z);
        return NULL;
    }
    if (size > INT_MAX) {
        refuse(msg, msg_size, "is %zu bytes, more than a splat map can be", size);
        return NULL;
    }
    if (pngChunksFit(png, size, msg, msg_size)) return NULL;
    int w = 0, h = 0, comp = 0;
    uint8_t *cells = stbi_load_from_memory(png, (int)size, &w, &h, &comp, 1);
    if (!cells) {
        refuse(msg, msg_size, "is a damaged or cut-short PNG (%s)", stbReason());
        return NULL;
    }
    if (w != cells_x || h != cells_z) {
        stbi_image_free(cells);
        refuse(msg, msg_size, "is not the PNG its first bytes described");
        return NULL;
    }
    size_t count = (size_t)w * (size_t)h;
    for (size_t i = 0; i < count; i++) {
        if (cells[i] < MAP_MATERIALS) continue;
        refuse(msg, msg_size, "cell (%d, %d) is %d; materials are 0 to %d", (int)(i % (size_t)w),
               (int)(i / (size_t)w), cells[i], MAP_MATERIALS - 1);
        stbi_image_free(cells);
        return NULL;
    }
    succeed(msg, msg_size);
    return cells;  // stb's malloc, so the caller's free suits it
}
