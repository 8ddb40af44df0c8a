// mapgen: writes a deterministic heightmap of rolling hills, for the tests
// and benchmarks, which cannot download real ones. The format follows OUT's
// ending; the same arguments always give the same bytes.
//
//   mapgen OUT SIDE [--height ROWS] [--seed N] [--bits 8|16] [--voids PERCENT]
//
// SIDE is the samples a row, ROWS the rows (SIDE unless told), N the seed (1
// unless told).
//   OUT.png         greyscale, 16 bits unless --bits 8; ROWS may differ from SIDE
//   OUT.r16/.raw    unsigned 16-bit little-endian, square
//   OUT.hgt         SRTM: SIDE 1201 or 3601, signed 16-bit big-endian metres,
//                   PERCENT of the samples voids (-32768) in round patches
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb_image_write.h>

#include "random.h"
#include "terrain_file.h"

// stb_image_write compiles its zlib compressor in but does not declare it.
STBIWDEF unsigned char *stbi_zlib_compress(unsigned char *data, int data_len, int *out_len,
                                           int quality);

// ------------------------------------------------------------ constants ----

enum {
    SIDE_LIMIT = 32768,
    OCTAVES = 7,
    // The first octave's lattice spacing, in samples, lies between these: hills
    // a few hundred units across on a large map, still hills on a small one.
    SHORTEST_FIRST_WAVE = 64,
    LONGEST_WAVE = 1024,
    ZLIB_QUALITY = 8,  // stb's own default for PNGs
    HGT_VOID_METRES = -32768,
};

// An .hgt's samples span these heights, in metres.
static const int HGT_LOW_METRES = 80, HGT_SPAN_METRES = 2400;

static const uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// ---------------------------------------------------------------- types ----

struct Options {
    const char *out;
    MapFormat format;
    int32_t width, height;
    uint32_t seed;
    int bits;
    double voids;  // percent of an .hgt's samples
};

// One octave of value noise: random values on a square lattice, blended with
// a smoothstep. Pure integer arithmetic, so every machine writes the same map.
struct Octave {
    int32_t wave;       // lattice spacing in samples
    int32_t amplitude;  // lattice values lie within +- amplitude
    int32_t *cell;      // per column: its lattice cell
    int32_t *blend;     // per column: its smoothed position in the cell, 0 to 65536
    int32_t *column;    // per lattice column: the values blended down to this row
};

// The noise field over the whole map, evaluated a row at a time.
struct Field {
    int32_t width;
    uint32_t seed;
    Octave octaves[OCTAVES];
    int octave_count;
    int32_t lowest, highest;  // of the whole map, for stretching it over 0 to 65535
};

// ---------------------------------------------------------------- state ----

static uint32_t crc_table[256];

// ------------------------------------------------------------ functions ----

// malloc that ends the program when memory runs out: a tool has nothing to
// fall back on.
static void *allocate(size_t bytes) {
    void *p = malloc(bytes);
    if (!p && bytes) {
        fputs("mapgen: out of memory\n", stderr);
        exit(1);
    }
    return p;
}

// Says how to call mapgen; returns the exit status for a wrong call.
static int usage(void) {
    fputs(
        "usage: mapgen OUT SIDE [--height ROWS] [--seed N] [--bits 8|16] [--voids PERCENT]\n"
        "OUT ends in .png, .r16, .raw or .hgt\n",
        stderr);
    return 2;
}

// Reads a whole decimal number within lo to hi; 0 on any other text.
static int readInteger(const char *text, long long lo, long long hi, long long *value) {
    char *end;
    long long v = strtoll(text, &end, 10);
    if (end == text || *end || v < lo || v > hi) return 0;
    *value = v;
    return 1;
}

// Fills options from the command line; returns 0, or 1 having said why not.
static int readOptions(int argc, char **argv, Options *o) {
    if (argc < 3) return 1;
    char msg[256];
    long long v;
    *o = {argv[1], MAP_PNG, 0, 0, 1, 16, 0.0};
    if (mapFormatFromName(o->out, &o->format, msg, sizeof(msg))) {
        fprintf(stderr, "mapgen: %s %s\n", o->out, msg);
        return 1;
    }
    if (!readInteger(argv[2], 1, SIDE_LIMIT, &v)) {
        fprintf(stderr, "mapgen: SIDE must be 1 to %d, not %s\n", SIDE_LIMIT, argv[2]);
        return 1;
    }
    o->width = o->height = (int32_t)v;
    for (int i = 3; i < argc; i += 2) {
        const char *name = argv[i], *value = i + 1 < argc ? argv[i + 1] : NULL;
        int ok = value != NULL;
        if (ok && strcmp(name, "--height") == 0) {
            ok = readInteger(value, 1, SIDE_LIMIT, &v);
            o->height = (int32_t)v;
        } else if (ok && strcmp(name, "--seed") == 0) {
            ok = readInteger(value, 0, UINT32_MAX, &v);
            o->seed = (uint32_t)v;
        } else if (ok && strcmp(name, "--bits") == 0) {
            ok = readInteger(value, 8, 16, &v) && (v == 8 || v == 16);
            o->bits = (int)v;
        } else if (ok && strcmp(name, "--voids") == 0) {
            char *end;
            o->voids = strtod(value, &end);
            ok = end != value && !*end && o->voids >= 0.0 && o->voids <= 100.0;
        } else {
            ok = 0;
        }
        if (!ok) {
            fprintf(stderr, "mapgen: cannot use %s %s\n", name, value ? value : "(nothing)");
            return 1;
        }
    }
    const char *fault = NULL;
    if (o->format != MAP_PNG && o->height != o->width) fault = "a .r16, .raw or .hgt is square";
    if (o->format != MAP_PNG && o->bits != 16) fault = "a .r16, .raw or .hgt has 16 bits";
    if (o->format == MAP_HGT && o->width != HGT_SIDE_3 && o->width != HGT_SIDE_1)
        fault = "an .hgt is 1201 or 3601 a side";
    if (o->format != MAP_HGT && o->voids > 0.0) fault = "only an .hgt has voids";
    if (fault) fprintf(stderr, "mapgen: %s\n", fault);
    return fault != NULL;
}

// ----------------------------------------------------------------- noise ----

// A well-mixed 32-bit hash of a lattice point (Chris Wellons' lowbias32).
static uint32_t hashPoint(uint32_t seed, int octave, int32_t x, int32_t z) {
    uint32_t h = seed ^ (uint32_t)octave * 0x9e3779b9u;
    h ^= (uint32_t)x * 0x85ebca6bu;
    h = (h ^ (h >> 16)) * 0x7feb352du;
    h ^= (uint32_t)z * 0xc2b2ae35u;
    h = (h ^ (h >> 15)) * 0x846ca68bu;
    return h ^ (h >> 16);
}

// The lattice value at (x, z) of octave k, within +- amplitude.
static int32_t latticeValue(const Field *f, int k, int32_t x, int32_t z) {
    int64_t a = f->octaves[k].amplitude;
    return (int32_t)((int64_t)(hashPoint(f->seed, k, x, z) >> 16) * (2 * a + 1) / 65536 - a);
}

// 3t^2 - 2t^3 for t in 0 to 65536, in the same fixed point.
static int32_t smooth(int64_t t) { return (int32_t)(t * t * (3 * 65536 - 2 * t) >> 32); }

// a to b by s, 0 to 65536.
static int64_t blend(int64_t a, int64_t b, int64_t s) { return a + (((b - a) * s) >> 16); }

// Sets up the octaves for a map of width x height, the longest waves about
// a quarter of its longer side.
static void fieldInit(Field *f, int32_t width, int32_t height, uint32_t seed) {
    *f = {};
    f->width = width;
    f->seed = seed;
    int32_t wave = (width > height ? width : height) / 4;
    wave = wave < SHORTEST_FIRST_WAVE ? SHORTEST_FIRST_WAVE
           : wave > LONGEST_WAVE      ? LONGEST_WAVE
                                      : wave;
    int32_t amplitude = 1 << 15;
    for (int k = 0; k < OCTAVES && wave >= 4; k++, wave /= 2, amplitude /= 2) {
        Octave *o = &f->octaves[f->octave_count++];
        o->wave = wave;
        o->amplitude = amplitude;
        o->cell = (int32_t *)allocate((size_t)width * sizeof(int32_t));
        o->blend = (int32_t *)allocate((size_t)width * sizeof(int32_t));
        o->column = (int32_t *)allocate(((size_t)width / wave + 2) * sizeof(int32_t));
        for (int32_t x = 0; x < width; x++) {
            o->cell[x] = x / wave;
            o->blend[x] = smooth((int64_t)(x % wave) * 65536 / wave);
        }
    }
}

// Frees what fieldInit set up.
static void fieldFree(Field *f) {
    for (int k = 0; k < f->octave_count; k++) {
        free(f->octaves[k].cell);
        free(f->octaves[k].blend);
        free(f->octaves[k].column);
    }
}

// The unstretched noise of row z.
static void fieldRow(Field *f, int32_t z, int32_t *out) {
    for (int32_t x = 0; x < f->width; x++) out[x] = 0;
    for (int k = 0; k < f->octave_count; k++) {
        Octave *o = &f->octaves[k];
        int32_t cz = z / o->wave, sz = smooth((int64_t)(z % o->wave) * 65536 / o->wave);
        int32_t columns = f->width / o->wave + 2;
        for (int32_t cx = 0; cx < columns; cx++)
            o->column[cx] =
                (int32_t)blend(latticeValue(f, k, cx, cz), latticeValue(f, k, cx, cz + 1), sz);
        for (int32_t x = 0; x < f->width; x++) {
            int32_t cx = o->cell[x];
            out[x] += (int32_t)blend(o->column[cx], o->column[cx + 1], o->blend[x]);
        }
    }
}

// Finds the field's range over all rows, so the map spans 0 to 65535.
static void fieldMeasure(Field *f, int32_t height) {
    int32_t *row = (int32_t *)allocate((size_t)f->width * sizeof(int32_t));
    f->lowest = INT32_MAX;
    f->highest = INT32_MIN;
    for (int32_t z = 0; z < height; z++) {
        fieldRow(f, z, row);
        for (int32_t x = 0; x < f->width; x++) {
            if (row[x] < f->lowest) f->lowest = row[x];
            if (row[x] > f->highest) f->highest = row[x];
        }
    }
    free(row);
}

// Row z as 16-bit heights, stretched so the whole map spans 0 to 65535.
static void heightRow(Field *f, int32_t z, int32_t *scratch, uint16_t *out) {
    fieldRow(f, z, scratch);
    int64_t span = (int64_t)f->highest - f->lowest;
    for (int32_t x = 0; x < f->width; x++)
        out[x] = span ? (uint16_t)(((int64_t)scratch[x] - f->lowest) * 65535 / span) : 0;
}

// ---------------------------------------------------------------- files ----

// Fills the table of PNG's CRC-32 (polynomial 0xedb88320, reflected).
static void crcInit(void) {
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
        crc_table[n] = c;
    }
}

// crc carried on over len bytes at p; start from 0xffffffff, end with ~.
static uint32_t crcAdd(uint32_t crc, const uint8_t *p, size_t len) {
    for (size_t i = 0; i < len; i++) crc = crc_table[(crc ^ p[i]) & 0xff] ^ (crc >> 8);
    return crc;
}

// v into four bytes at p, most significant first, as PNG stores numbers.
static void putBigEndian32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

// Writes one PNG chunk: length, type, data and the CRC of type and data.
static int writeChunk(FILE *file, const char *type, const uint8_t *data, uint32_t len) {
    uint8_t head[8], tail[4];
    putBigEndian32(head, len);
    memcpy(head + 4, type, 4);
    uint32_t crc = crcAdd(0xffffffffu, head + 4, 4);
    putBigEndian32(tail, crcAdd(crc, data, len) ^ 0xffffffffu);
    return fwrite(head, 1, 8, file) == 8 && fwrite(data, 1, len, file) == len &&
           fwrite(tail, 1, 4, file) == 4;
}

// Closes file and says when writing path failed; returns the exit status.
static int finish(FILE *file, int ok, const char *path) {
    if (fclose(file) != 0) ok = 0;
    if (!ok) fprintf(stderr, "mapgen: cannot write %s\n", path);
    return ok ? 0 : 1;
}

// A 16-bit greyscale PNG, assembled here since stb writes only 8 bits: every
// row big-endian under PNG's Up filter (each byte less the one above it),
// which leaves smooth ground mostly small numbers that deflate well, as a
// terrain tool's export would; the whole image one zlib stream in one IDAT.
static int writePng16(const Options *o, Field *f) {
    uint64_t stride = 1 + 2 * (uint64_t)o->width, bytes = stride * (uint64_t)o->height;
    if (bytes > INT_MAX) {
        fprintf(stderr, "mapgen: %d x %d is too large for a 16-bit PNG\n", o->width, o->height);
        return 1;
    }
    uint8_t *raw = (uint8_t *)allocate((size_t)bytes);
    int32_t *scratch = (int32_t *)allocate((size_t)o->width * sizeof(int32_t));
    uint16_t *row = (uint16_t *)allocate((size_t)o->width * sizeof(uint16_t));
    uint16_t *above = (uint16_t *)calloc((size_t)o->width, sizeof(uint16_t));
    for (int32_t z = 0; z < o->height; z++) {
        uint8_t *p = raw + stride * (uint64_t)z;
        heightRow(f, z, scratch, row);
        *p++ = 2;  // Up
        for (int32_t x = 0; x < o->width; x++) {
            *p++ = (uint8_t)((row[x] >> 8) - (above[x] >> 8));
            *p++ = (uint8_t)(row[x] - above[x]);
        }
        memcpy(above, row, (size_t)o->width * sizeof(uint16_t));
    }
    free(scratch);
    free(row);
    free(above);
    int zlib_len = 0;
    uint8_t *zlib = stbi_zlib_compress(raw, (int)bytes, &zlib_len, ZLIB_QUALITY);
    free(raw);
    if (!zlib) {
        fputs("mapgen: out of memory\n", stderr);
        return 1;
    }
    uint8_t ihdr[13] = {0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0};  // 16-bit grey, no interlace
    putBigEndian32(ihdr, (uint32_t)o->width);
    putBigEndian32(ihdr + 4, (uint32_t)o->height);
    FILE *file = fopen(o->out, "wb");
    if (!file) {
        free(zlib);
        fprintf(stderr, "mapgen: cannot open %s\n", o->out);
        return 1;
    }
    crcInit();
    int ok = fwrite(PNG_SIGNATURE, 1, 8, file) == 8 && writeChunk(file, "IHDR", ihdr, 13) &&
             writeChunk(file, "IDAT", zlib, (uint32_t)zlib_len) &&
             writeChunk(file, "IEND", NULL, 0);
    free(zlib);
    return finish(file, ok, o->out);
}

// An 8-bit greyscale PNG through stb, each height's top byte.
static int writePng8(const Options *o, Field *f) {
    uint8_t *pixels = (uint8_t *)allocate((size_t)o->width * (size_t)o->height);
    int32_t *scratch = (int32_t *)allocate((size_t)o->width * sizeof(int32_t));
    uint16_t *row = (uint16_t *)allocate((size_t)o->width * sizeof(uint16_t));
    for (int32_t z = 0; z < o->height; z++) {
        heightRow(f, z, scratch, row);
        for (int32_t x = 0; x < o->width; x++)
            pixels[(size_t)z * (size_t)o->width + (size_t)x] = (uint8_t)(row[x] >> 8);
    }
    free(scratch);
    free(row);
    int ok = stbi_write_png(o->out, o->width, o->height, 1, pixels, o->width);
    free(pixels);
    if (!ok) fprintf(stderr, "mapgen: cannot write %s\n", o->out);
    return ok ? 0 : 1;
}

// Row by row, unsigned little-endian: nothing held but one row.
static int writeRaw(const Options *o, Field *f) {
    FILE *file = fopen(o->out, "wb");
    if (!file) {
        fprintf(stderr, "mapgen: cannot open %s\n", o->out);
        return 1;
    }
    int32_t *scratch = (int32_t *)allocate((size_t)o->width * sizeof(int32_t));
    uint16_t *row = (uint16_t *)allocate((size_t)o->width * sizeof(uint16_t));
    uint8_t *bytes = (uint8_t *)allocate((size_t)o->width * 2);
    int ok = 1;
    for (int32_t z = 0; ok && z < o->height; z++) {
        heightRow(f, z, scratch, row);
        for (int32_t x = 0; x < o->width; x++) {
            bytes[2 * x] = (uint8_t)row[x];
            bytes[2 * x + 1] = (uint8_t)(row[x] >> 8);
        }
        ok = fwrite(bytes, 1, (size_t)o->width * 2, file) == (size_t)o->width * 2;
    }
    free(scratch);
    free(row);
    free(bytes);
    return finish(file, ok, o->out);
}

// Voids round patches into metres until at least percent of them are voids.
static void punchVoids(int16_t *metres, int32_t side, double percent, uint32_t seed) {
    uint64_t count = (uint64_t)side * (uint64_t)side, target = (uint64_t)(percent / 100.0 * count);
    uint64_t voids = 0;
    if (target >= count) {
        for (uint64_t i = 0; i < count; i++) metres[i] = HGT_VOID_METRES;
        return;
    }
    RandomState *random = randomNew(seed ^ 0x5eed5eedu);
    int32_t largest = side / 80 + 1;
    while (voids < target) {
        int32_t cx = (int32_t)(randomInt(random) % (uint32_t)side);
        int32_t cz = (int32_t)(randomInt(random) % (uint32_t)side);
        int32_t r = 1 + (int32_t)(randomInt(random) % (uint32_t)largest);
        for (int32_t z = cz - r; z <= cz + r; z++)
            for (int32_t x = cx - r; x <= cx + r; x++) {
                if (x < 0 || z < 0 || x >= side || z >= side) continue;
                if ((x - cx) * (x - cx) + (z - cz) * (z - cz) > r * r) continue;
                int16_t *m = &metres[(size_t)z * (size_t)side + (size_t)x];
                if (*m == HGT_VOID_METRES) continue;
                *m = HGT_VOID_METRES;
                voids++;
            }
    }
    free(random);
}

// Signed big-endian metres, held whole so the voids can be placed.
static int writeHgt(const Options *o, Field *f) {
    size_t count = (size_t)o->width * (size_t)o->height;
    int16_t *metres = (int16_t *)allocate(count * sizeof(int16_t));
    int32_t *scratch = (int32_t *)allocate((size_t)o->width * sizeof(int32_t));
    uint16_t *row = (uint16_t *)allocate((size_t)o->width * sizeof(uint16_t));
    for (int32_t z = 0; z < o->height; z++) {
        heightRow(f, z, scratch, row);
        for (int32_t x = 0; x < o->width; x++)
            metres[(size_t)z * (size_t)o->width + (size_t)x] =
                (int16_t)(HGT_LOW_METRES + (int32_t)row[x] * HGT_SPAN_METRES / 65535);
    }
    free(scratch);
    free(row);
    punchVoids(metres, o->width, o->voids, o->seed);
    uint8_t *bytes = (uint8_t *)allocate(count * 2);
    for (size_t i = 0; i < count; i++) {
        uint16_t v = (uint16_t)metres[i];
        bytes[2 * i] = (uint8_t)(v >> 8);
        bytes[2 * i + 1] = (uint8_t)v;
    }
    free(metres);
    FILE *file = fopen(o->out, "wb");
    if (!file) {
        free(bytes);
        fprintf(stderr, "mapgen: cannot open %s\n", o->out);
        return 1;
    }
    int ok = fwrite(bytes, 1, count * 2, file) == count * 2;
    free(bytes);
    return finish(file, ok, o->out);
}

// Measures the field once, then writes it in OUT's format.
int main(int argc, char **argv) {
    Options o;
    if (readOptions(argc, argv, &o)) return usage();
    Field field;
    fieldInit(&field, o.width, o.height, o.seed);
    fieldMeasure(&field, o.height);
    int status;
    if (o.format == MAP_RAW16)
        status = writeRaw(&o, &field);
    else if (o.format == MAP_HGT)
        status = writeHgt(&o, &field);
    else if (o.bits == 8)
        status = writePng8(&o, &field);
    else
        status = writePng16(&o, &field);
    fieldFree(&field);
    return status;
}
