#include "terrain_load.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "page_boundary.h"
#include "platform.h"
#include "terrain_file.h"
#include "terrain_stream.h"

// ------------------------------------------------------------ constants ----

enum {
    DESKTOP_SIDE_MAX = 16385,
    READ_PIECE = 1 << 22,  // bytes read between two reports of progress
    REASON_SIZE = 400,
};

// What each stage counts for in the progress shown, which only goes forward:
// reading a PNG is quick beside decoding it, a RAW's reading is the whole.
static const float PNG_READ_SHARE = 0.35f, RAW_READ_SHARE = 0.85f, DECODED = 0.9f;

// ---------------------------------------------------------------- types ----

struct Load {
    std::string path, splat_path;
    double height;
    MapHeader header;
    std::atomic<int> state{LOAD_IDLE};
    std::atomic<float> fraction{0.0f};
    std::atomic<const char *> stage{""};  // what the loader does now, in words
    TerrainPlan *plan;
    std::string fault;  // the line of a failed load
    int deferred;       // turns to wait before loading on the loop's own thread
};

// ---------------------------------------------------------------- state ----

// Never destroyed: a loader still reading when the user leaves must not
// meet its state torn down by the exit.
static Load &load = *new Load;

// ------------------------------------------------------------ functions ----

int32_t terrainSideLimit(void) {
    return workerThreads() ? DESKTOP_SIDE_MAX : PAGE_TERRAIN_SIDE_MAX;
}

static std::string faultLine(const std::string &path, const char *reason) {
    return "Terrain Error: " + path + ": " + reason + "\n";
}

static void putLine(const std::string &text, char *line, size_t size) {
    snprintf(line, size, "%s", text.c_str());
}

// Why a file did not open, in a user's words.
static const char *openFault(int error) {
    if (error == EISDIR) return "is a folder, not a file";
    if (error == ENOENT) return "no such file";
    if (error == EINVAL) return "is not a regular file";
    return strerror(error);
}

// Opens path and reads its first bytes. Returns 0, or 1 with the reason.
static int readHead(const char *path, uint8_t *head, size_t *head_len, uint64_t *size,
                    char *reason) {
    FILE *file;
    int error = fileOpenRead(path, &file, size);
    if (error) {
        snprintf(reason, REASON_SIZE, "%s", openFault(error));
        return 1;
    }
    *head_len = fread(head, 1, MAP_HEAD_BYTES, file);
    int failed = ferror(file);
    fclose(file);
    if (failed) snprintf(reason, REASON_SIZE, "cannot be read");
    return failed;
}

int terrainLoadCheck(const char *path, const char *splat_path, char *line, size_t size) {
    char reason[REASON_SIZE];
    uint8_t head[MAP_HEAD_BYTES];
    size_t head_len = 0;
    uint64_t file_size = 0;
    MapFormat format;
    if (mapFormatFromName(path, &format, reason, sizeof(reason)) != 0 ||
        readHead(path, head, &head_len, &file_size, reason) != 0 ||
        mapProbe(format, file_size, head, head_len, terrainSideLimit(), &load.header, reason,
                 sizeof(reason)) != 0) {
        putLine(faultLine(path, reason), line, size);
        return 1;
    }
    if (splat_path && readHead(splat_path, head, &head_len, &file_size, reason) != 0) {
        putLine(faultLine(splat_path, reason), line, size);
        return 1;
    }
    return 0;
}

// Reads a whole file into memory it allocates, stepping the progress from
// `from` to `to`. Returns the bytes (free them), or NULL with the reason.
static uint8_t *readWhole(const std::string &path, size_t *size, float from, float to,
                          char *reason) {
    FILE *file;
    uint64_t length = 0;
    int error = fileOpenRead(path.c_str(), &file, &length);
    if (error) {
        snprintf(reason, REASON_SIZE, "%s", openFault(error));
        return NULL;
    }
    uint8_t *bytes = (uint8_t *)malloc(length ? (size_t)length : 1);
    size_t done = 0;
    while (bytes && done < length) {
        size_t piece =
            fread(bytes + done, 1, (size_t)std::min<uint64_t>(READ_PIECE, length - done), file);
        if (piece == 0) break;
        done += piece;
        load.fraction = from + (to - from) * (float)done / (float)length;
    }
    fclose(file);
    if (!bytes || done != length) {
        snprintf(reason, REASON_SIZE,
                 bytes ? "was cut short while it was read" : "does not fit in memory");
        free(bytes);
        return NULL;
    }
    *size = (size_t)length;
    return bytes;
}

// The splat map's cells, or NULL with the reason.
static uint8_t *readSplat(const HeightMap &map, char *reason) {
    size_t size;
    uint8_t *png = readWhole(load.splat_path, &size, DECODED, DECODED, reason);
    if (!png) return NULL;
    uint8_t *cells = splatDecode(png, size, map.width - 3, map.height - 3, reason, REASON_SIZE);
    free(png);
    return cells;
}

// The loader's whole job; its outcome in load.state.
static void loadFiles(void) {
    char reason[REASON_SIZE];
    float read_share = load.header.format == MAP_PNG ? PNG_READ_SHARE : RAW_READ_SHARE;
    size_t size;
    load.stage = "Reading terrain";
    uint8_t *bytes = readWhole(load.path, &size, 0.0f, read_share, reason);
    load.stage = "Decoding terrain";
    HeightMap map = {};
    double height = load.height > 0.0 ? load.height : MAP_DEFAULT_HEIGHT;
    if (!bytes || mapDecode(&load.header, bytes, size, height, &map, reason, sizeof(reason)) != 0) {
        load.fault = faultLine(load.path, reason);
        load.state = LOAD_FAILED;
        return;
    }
    load.fraction = DECODED;
    uint8_t *cells = NULL;
    if (!load.splat_path.empty() && !(cells = readSplat(map, reason))) {
        mapFree(&map);
        load.fault = faultLine(load.splat_path, reason);
        load.state = LOAD_FAILED;
        return;
    }
    load.stage = "Cutting terrain into tiles";
    load.plan = terrainPlan(&map, cells);
    load.fraction = 1.0f;
    load.state = LOAD_DONE;
}

void terrainLoadStart(const char *path, const char *splat_path, double height) {
    load.path = path;
    load.splat_path = splat_path ? splat_path : "";
    load.height = height;
    load.fraction = 0.0f;
    load.stage = "Reading terrain";
    load.state = LOAD_RUNNING;
    load.deferred = 0;
    if (workerThreads())
        std::thread(loadFiles).detach();
    else
        load.deferred = 2;
}

// Without threads the load runs in one turn of the loop: the second poll's,
// so that the turn before has shown the logo or the progress.
const char *terrainLoadStage(void) { return load.stage; }

TerrainLoadState terrainLoadPoll(float *fraction) {
    if (load.deferred > 0 && --load.deferred == 0) loadFiles();
    *fraction = load.fraction;
    return (TerrainLoadState)load.state.load();
}

int terrainLoadFinish(char *line, size_t size) {
    if (load.state != LOAD_DONE) {
        putLine(load.fault, line, size);
        load.state = LOAD_IDLE;
        return 1;
    }
    terrainOpenPlan(load.plan);
    load.plan = NULL;
    load.state = LOAD_IDLE;
    Vec2 range = terrainHeightRange();
    int tiles = terrainStats().tiles;
    char summary[TERRAIN_LINE_SIZE];
    snprintf(summary, sizeof(summary),
             "Terrain: %s, %d x %d samples, heights %.2f to %.2f units, %d tile%s\n",
             load.path.c_str(), (int)load.header.width, (int)load.header.height, range.x, range.y,
             tiles, tiles == 1 ? "" : "s");
    fputs(summary, stdout);
    fflush(stdout);
    terrainOpened(summary);
    return 0;
}
