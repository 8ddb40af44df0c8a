// knoll_stream: what a user's terrain costs. Three measurements, each in a
// window of its own run (bench/terrain.sh runs them all):
//   knoll_stream load FILE     decoding the file alone, against reading,
//                              decoding and building the start view's tiles
//   knoll_stream flight FILE [--held] [--frames N]
//                              the benchmark's crossing at the fast speed,
//                              frame by frame; --held flies it once unmeasured
//                              first and keeps every tile, the baseline
//   knoll_stream start FILE|-  frames at the start view ("-": the built-in)
//   knoll_stream picture FILE OUT.png
//                              the tiles held around a camera flying along -z,
//                              seen from above: those in its view lit in full,
//                              the others dimmed, a barrel where it flies
// at 800 x 600 with aniso_level 0, vsync off. Times are wall-clock, each
// frame finished (glFinish) before the next begins.
#include <GLFW/glfw3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb_image_write.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app.h"
#include "benchmark.h"
#include "config.h"
#include "graph_init.h"
#include "graph_render.h"
#include "graph_state.h"
#include "platform.h"
#include "render_scene.h"
#include "screenshot.h"
#include "terrain_file.h"
#include "terrain_load.h"
#include "terrain_stream.h"

// ------------------------------------------------------------ constants ----

enum { WIDTH = 800, HEIGHT = 600, START_FRAMES = 30 };

// ------------------------------------------------------------ functions ----

// A line of /proc/self/status in megabytes: "VmHWM:" the peak, "VmRSS:" now.
static double statusMegabytes(const char *key) {
    FILE *status = fopen("/proc/self/status", "r");
    char line[256];
    double kb = 0.0;
    while (status && fgets(line, sizeof(line), status))
        if (strncmp(line, key, strlen(key)) == 0) kb = atof(line + strlen(key));
    if (status) fclose(status);
    return kb / 1024.0;
}

static bool startUp(void) {
    vsync = fps_limit = msaa_level = aniso_level = 0;
    shadow_smooth = 1;
    win_width = WIDTH;
    win_height = HEIGHT;
    if (windowInit() != 0 || graphicsInit() != 0) {
        fputs("knoll_stream: no GL 3.3 window\n", stderr);
        return false;
    }
    graphicsViewport(WIDTH, HEIGHT);
    mode = MODE_RUNNING;
    return true;
}

// The whole load as Knoll does it, through the start view's first tiles.
// Returns the seconds, or a negative number after saying why it failed.
static double loadTerrain(const char *path) {
    double t0 = glfwGetTime();
    char line[TERRAIN_LINE_SIZE];
    if (terrainLoadCheck(path, NULL, line, sizeof(line)) != 0) {
        fputs(line, stderr);
        return -1.0;
    }
    terrainLoadStart(path, NULL, 0.0);
    float fraction;
    while (terrainLoadPoll(&fraction) == LOAD_RUNNING) glfwWaitEventsTimeout(0.002);
    if (terrainLoadFinish(line, sizeof(line)) != 0 || terrainInit() != 0) {
        fputs(line, stderr);
        return -1.0;
    }
    glFinish();
    return glfwGetTime() - t0;
}

// Reading the file and decoding it, nothing more.
static double decodeAlone(const char *path) {
    double t0 = glfwGetTime();
    FILE *file;
    uint64_t size;
    MapFormat format;
    MapHeader header;
    char msg[256];
    uint8_t head[MAP_HEAD_BYTES];
    if (mapFormatFromName(path, &format, msg, sizeof(msg)) != 0 ||
        fileOpenRead(path, &file, &size) != 0)
        return -1.0;
    uint8_t *bytes = (uint8_t *)malloc((size_t)size);
    size_t got = fread(bytes, 1, (size_t)size, file);
    fclose(file);
    memcpy(head, bytes, MAP_HEAD_BYTES);
    HeightMap map = {};
    if (got != size ||
        mapProbe(format, size, head, MAP_HEAD_BYTES, 16385, &header, msg, sizeof(msg)) != 0 ||
        mapDecode(&header, bytes, (size_t)size, MAP_DEFAULT_HEIGHT, &map, msg, sizeof(msg)) != 0)
        return -1.0;
    double seconds = glfwGetTime() - t0;
    mapFree(&map);
    return seconds;
}

static int measureLoad(const char *path) {
    double alone = decodeAlone(path), whole = loadTerrain(path);
    if (alone < 0.0 || whole < 0.0) return 1;
    TerrainStats stats = terrainStats();
    printf("load %s: decode alone %.3f s; read, decode and %ld tiles %.3f s (%.2f x + %.3f s); "
           "peak %.0f MB, then %.0f MB\n",
           path, alone, stats.built_total, whole, whole / alone, whole - alone,
           statusMegabytes("VmHWM:"), statusMegabytes("VmRSS:"));
    return 0;
}

// Draws benchmark frame n and finishes it. Returns its seconds.
static double timedFrame(long n) {
    double t0 = glfwGetTime();
    benchmarkFrame(n);
    glfwSwapBuffers(window);
    glFinish();
    return glfwGetTime() - t0;
}

static void printTimes(const char *what, std::vector<double> ms, long built, long late) {
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) { return sorted[(size_t)(q * (double)(sorted.size() - 1))]; };
    printf("%s: %zu frames, p50 %.1f ms, p99 %.1f ms, longest %.1f ms (%.2f x the median); "
           "%ld tiles built, %ld late\n",
           what, sorted.size(), at(0.5), at(0.99), sorted.back(), sorted.back() / at(0.5), built,
           late);
}

static int measureFlight(const char *path, bool held, long frames) {
    terrainStreamHoldAll(held);
    run_options.terrain = path;
    if (loadTerrain(path) < 0.0) return 1;
    if (held)
        for (long n = 0; n < frames; n++) timedFrame(n);
    TerrainStats before = terrainStats();
    std::vector<double> ms;
    for (long n = 0; n < frames; n++) ms.push_back(timedFrame(n) * 1e3);
    TerrainStats after = terrainStats();
    printTimes(held ? "flight, every tile built before" : "flight, streamed", ms,
               after.built_total - before.built_total, after.late_total - before.late_total);
    return 0;
}

// Frames at the start view, each pass finished before the next begins, so
// that the report can say where the time goes.
static int measureStart(const char *path) {
    bool built_in = strcmp(path, "-") == 0;
    if (built_in ? terrainInit() != 0 : loadTerrain(path) < 0.0) return 1;
    std::vector<double> ms;
    PassTimes sum = {};
    for (int n = 0; n < START_FRAMES + 3; n++) {
        double t0 = glfwGetTime();
        PassTimes passes;
        sceneDrawPasses(&passes);
        glfwSwapBuffers(window);
        glFinish();
        if (n < 3) continue;  // three to warm up
        ms.push_back((glfwGetTime() - t0) * 1e3);
        sum.shadow += passes.shadow;
        sum.blur += passes.blur;
        sum.main += passes.main;
    }
    TerrainTile *const *tiles;
    int seen = terrainTilesIn(graphicsCameraClip(), cam_pos, 64.0f, &tiles);
    printTimes(built_in ? "start view, built-in" : "start view", ms, 0, 0);
    printf("  mean shadow %.1f ms, blur %.1f ms, main %.1f ms; %d tiles in view\n",
           sum.shadow * 1e3 / START_FRAMES, sum.blur * 1e3 / START_FRAMES,
           sum.main * 1e3 / START_FRAMES, seen);
    return 0;
}

// The camera of the picture: mid-map, low over the ground, flying along -z
// at the fast speed.
static void pictureCamera(void) {
    Vec2 extent = terrainExtent();
    Vec3 at = {extent.x / 2.0f, 0.0f, extent.y / 2.0f};
    at.y = terrainGroundAt(at.x, at.z) + 8.0f;
    cam_pos = at;
    cam_prev = vec3Add(at, {0.0f, 0.0f, 2.0f});
    cam_ori = {0.0f, 0.0f, 0.0f, 1.0f};
}

// Streams around the camera until the worker has built what it asked for.
static void settle(void) {
    for (int n = 0; n < 60; n++) {
        sceneCamera(1.0f);
        glfwWaitEventsTimeout(0.01);
    }
}

static int drawPicture(const char *path, const char *out) {
    if (loadTerrain(path) < 0.0) return 1;
    pictureCamera();
    settle();
    // The frame as the camera sees it leaves the shadows; its picture is
    // drawn over.
    drawScene(1.0f);
    TerrainTile *const *seen;
    int in_view = terrainTilesIn(graphicsCameraClip(), cam_pos, 64.0f, &seen);
    std::vector<const TerrainTile *> view(seen, seen + in_view);
    // From high above the camera, far enough to see every tile held.
    Quat down = quatRotate({1.0f, 0.0f, 0.0f}, -1.5707963f);
    Vec3 above = {cam_pos.x, cam_pos.y + 260.0f, cam_pos.z - 24.0f};
    graphicsCamera(above, down, 1.0f, 1.0f, 1000.0f);
    graphicsDrawClear(MODE_RUNNING);
    Vec2 extent = terrainExtent();
    for (int32_t tz = 0; tz * TILE_UNITS < extent.y; tz++) {
        for (int32_t tx = 0; tx * TILE_UNITS < extent.x; tx++) {
            const TerrainTile *tile = terrainTile(tx, tz);
            if (!tile->model || tile->queued) continue;
            float light = std::find(view.begin(), view.end(), tile) != view.end() ? 3.5f : 0.8f;
            graphicsLightCol(light, light, light);
            graphicsDrawTModel(tile->model, terrainTilePosition(tile));
        }
    }
    graphicsLightCol(3.5f, 3.5f, 3.5f);
    graphicsDrawMModel(MODEL_BARREL, {cam_pos.x, cam_pos.y - 8.0f, cam_pos.z}, 12.0f, 0.0f);
    std::vector<uint8_t> rgb = frameRowsDown(framebufferRead(WIDTH, HEIGHT));
    TerrainStats stats = terrainStats();
    printf("picture %s: %d tiles held of %d, %d in view\n", out, stats.resident, stats.tiles,
           in_view);
    return stbi_write_png(out, WIDTH, HEIGHT, 3, rgb.data(), WIDTH * 3) ? 0 : 1;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fputs("usage: knoll_stream load FILE | flight FILE [--held] [--frames N] | start FILE|- | "
              "picture FILE OUT.png\n",
              stderr);
        return 2;
    }
    bool held = false;
    long frames = 0;
    for (int i = 3; i < argc; i++) {
        if (strcmp(argv[i], "--held") == 0) held = true;
        if (strcmp(argv[i], "--frames") == 0 && i + 1 < argc) frames = atol(argv[++i]);
    }
    if (!startUp()) return 1;
    std::string what = argv[1];
    if (what == "load") return measureLoad(argv[2]);
    if (what == "start") return measureStart(argv[2]);
    if (what == "picture" && argc > 3) return drawPicture(argv[2], argv[3]);
    if (what == "flight") {
        // One crossing of the map at two units a tick, unless told.
        if (frames <= 0) frames = 400;
        return measureFlight(argv[2], held, frames);
    }
    return 2;
}
