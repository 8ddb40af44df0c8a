#include "terrain_stream.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <stb_image.h>

#include "graph_init.h"
#include "platform.h"

// ------------------------------------------------------------ constants ----

enum {
    TILE_QUADS = TMODEL_SPLAT_SIDE,     // drawn quads a side
    TILE_SAMPLES = TMODEL_HEIGHT_SIDE,  // samples a side, with the ring
    // The most tiles held at once: every tile within STREAM_KEEP_RADIUS of a
    // second's flight at the fast speed, with room to spare.
    MAX_RESIDENT = 96,
    // Builds asked of the worker at once: enough to keep it busy, few enough
    // that a turn of the camera reorders them soon.
    MAX_QUEUED = 8,
};

// How far ahead of its motion the camera's tiles are built: at the fast
// speed a second is two tiles, which the worker builds in a fraction of it.
static const float LOOKAHEAD_SECONDS = 1.0f;
// A frame's time for uploading built tiles on the GL thread (at least one
// goes each frame), and where there is no worker, for building them.
static const double UPLOAD_BUDGET_MS = 2.0;
static const double BUILD_BUDGET_MS = 4.0;
// The built-in's heights: a byte b stands b / 8 units high, b << 8 with this
// scale.
static const double BUILT_IN_SCALE = 1.0 / 2048.0;

// ---------------------------------------------------------------- types ----

struct TileBuild {
    int tile;
    uint32_t version;
    int32_t vbo_offset;
    std::vector<TVertex> vertices;
    std::vector<uint32_t> indices;
    std::vector<uint8_t> splat;
};

// The worker's side: builds waiting, begun and done, under one lock.
struct BuildQueue {
    std::mutex lock;
    std::condition_variable wake;
    std::vector<TileBuild> waiting;  // nearest last
    std::vector<TileBuild> done;
    int busy = 0;
    bool stopping = false;
};

// A rectangle of tiles, first to last in x and z, within the map.
struct TileSpan {
    int32_t x0, x1, z0, z1;
};

// A map cut into tiles.
struct TerrainPlan {
    HeightMap map;
    uint8_t *cells;  // the splat map's cells, or NULL for the ground's rules
    int32_t tiles_x, tiles_z;
    std::vector<TerrainTile> tiles;
};

// ---------------------------------------------------------------- state ----

// The open terrain's plan, its parts by their short names.
static TerrainPlan open_plan;
static HeightMap &map = open_plan.map;
static uint8_t *&cells = open_plan.cells;
static int32_t &tiles_x = open_plan.tiles_x, &tiles_z = open_plan.tiles_z;
static std::vector<TerrainTile> &tiles = open_plan.tiles;
static std::vector<int> resident;         // indices into tiles of the built ones
static std::vector<int> asked;            // and of those whose build is on its way
static std::vector<TerrainTile *> drawn;  // terrainTilesIn's answer
static TerrainStats stats;
static BuildQueue queue;
static std::thread worker;
static int reserved;  // the pool has room for the most tiles held at once
static int built_in;  // the terrain is the embedded patch
static int hold_all;  // a benchmark's baseline: every tile once built stays

// ------------------------------------------------------------- the map ----

static int32_t clampIndex(int32_t v, int32_t n) { return v < 0 ? 0 : v >= n ? n - 1 : v; }

static uint16_t sampleOf(const HeightMap &m, int32_t x, int32_t z) {
    return m.samples[(size_t)clampIndex(z, m.height) * (size_t)m.width +
                     (size_t)clampIndex(x, m.width)];
}

static uint16_t sampleAt(int32_t x, int32_t z) { return sampleOf(map, x, z); }

static double unitsOf(double value) { return (value - map.zero) * map.scale; }

Vec2 terrainExtent(void) {
    return {(float)((map.width - 3) * MAP_SAMPLE_SPACING),
            (float)((map.height - 3) * MAP_SAMPLE_SPACING)};
}

Vec2 terrainHeightRange(void) { return {(float)unitsOf(map.lowest), (float)unitsOf(map.highest)}; }

// Drawn x = 0 is sample 1: the first sample is the ring that shapes the edge.
float terrainGroundAt(float x, float z) {
    double sx = x / MAP_SAMPLE_SPACING + 1.0, sz = z / MAP_SAMPLE_SPACING + 1.0;
    sx = fmin(fmax(sx, 0.0), map.width - 1.0);
    sz = fmin(fmax(sz, 0.0), map.height - 1.0);
    int32_t ix = (int32_t)sx, iz = (int32_t)sz;
    double fx = sx - ix, fz = sz - iz;
    double top = sampleAt(ix, iz) * (1.0 - fx) + sampleAt(ix + 1, iz) * fx;
    double bottom = sampleAt(ix, iz + 1) * (1.0 - fx) + sampleAt(ix + 1, iz + 1) * fx;
    return (float)unitsOf(top * (1.0 - fz) + bottom * fz);
}

Vec3 terrainStartView(void) {
    Vec2 extent = terrainExtent();
    // The ground within the far distance ahead: the drawn samples across
    // the middle 64 units and up to 64 units in from the edge.
    int32_t x0 = (int32_t)((extent.x / 2.0 - 32.0) / MAP_SAMPLE_SPACING) + 1;
    int32_t x1 = (int32_t)((extent.x / 2.0 + 32.0) / MAP_SAMPLE_SPACING) + 1;
    int32_t z1 = map.height - 2, z0 = z1 - (int32_t)(64.0 / MAP_SAMPLE_SPACING);
    uint16_t low = UINT16_MAX, high = 0;
    for (int32_t z = std::max(z0, 1); z <= z1; z++) {
        for (int32_t x = std::max(x0, 1); x <= std::min(x1, map.width - 2); x++) {
            uint16_t v = sampleAt(x, z);
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    double y = fmax(unitsOf(low) + 8.0, unitsOf(high) + 2.0);
    return {extent.x / 2.0f, (float)y, extent.y};
}

// A smooth pattern of 0 to 255 over the cells, 16 cells a period, in
// integers so that every platform picks the same.
static int cellVariety(int32_t cx, int32_t cz) {
    auto lattice = [](uint32_t x, uint32_t z) {
        uint32_t h = x * 0x9E3779B1u ^ z * 0x85EBCA77u;
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        h ^= h >> 12;
        return (int)(h & 255u);
    };
    uint32_t gx = (uint32_t)cx >> 4, gz = (uint32_t)cz >> 4;
    int fx = cx & 15, fz = cz & 15;
    int top = lattice(gx, gz) * (16 - fx) + lattice(gx + 1, gz) * fx;
    int bottom = lattice(gx, gz + 1) * (16 - fx) + lattice(gx + 1, gz + 1) * fx;
    return (top * (16 - fz) + bottom * fz) >> 8;
}

// Materials of the built-in palette: grass, dry grass, moss, mud, sand, rock,
// gravel, snow.
enum { GRASS, DRY_GRASS, MOSS, MUD, SAND, ROCK, GRAVEL, SNOW };

uint8_t terrainCellMaterial(int32_t cx, int32_t cz) {
    // Cell c lies between samples c + 1 and c + 2.
    double h00 = sampleAt(cx + 1, cz + 1), h10 = sampleAt(cx + 2, cz + 1);
    double h01 = sampleAt(cx + 1, cz + 2), h11 = sampleAt(cx + 2, cz + 2);
    double gx = ((h10 + h11) - (h00 + h01)) * 0.5 * map.scale / MAP_SAMPLE_SPACING;
    double gz = ((h01 + h11) - (h00 + h10)) * 0.5 * map.scale / MAP_SAMPLE_SPACING;
    double slope2 = gx * gx + gz * gz;  // the squared rise per unit across the cell
    double range = (double)map.highest - map.lowest;
    double t = range > 0.0 ? ((h00 + h10 + h01 + h11) / 4.0 - map.lowest) / range : 0.0;
    if (slope2 > 1.44) return ROCK;
    if (slope2 > 0.36) return GRAVEL;
    if (t > 0.78 && slope2 < 0.12) return SNOW;
    if (t < 0.06) return SAND;
    int n = cellVariety(cx, cz);
    if (t < 0.2) return n < 100 ? MUD : n < 180 ? MOSS : GRASS;
    if (t < 0.55) return n < 40 ? MOSS : n < 200 ? GRASS : DRY_GRASS;
    return n < 120 ? DRY_GRASS : n < 220 ? GRASS : GRAVEL;
}

// ------------------------------------------------------------ the tiles ----

static int32_t tileQuads(int32_t t, int32_t samples) {
    return std::min<int32_t>(TILE_QUADS, samples - 3 - t * TILE_QUADS);
}

// The lowest and highest drawn ground of a tile of m: its grid vertices,
// between which the centre vertices lie.
static void tileHeights(const HeightMap &m, TerrainTile *tile) {
    uint16_t low = UINT16_MAX, high = 0;
    int32_t x0 = tile->tx * TILE_QUADS + 1, z0 = tile->tz * TILE_QUADS + 1;
    int32_t x1 = x0 + tileQuads(tile->tx, m.width), z1 = z0 + tileQuads(tile->tz, m.height);
    for (int32_t z = z0; z <= z1; z++) {
        const uint16_t *row = m.samples + (size_t)z * (size_t)m.width;
        for (int32_t x = x0; x <= x1; x++) {
            low = std::min(low, row[x]);
            high = std::max(high, row[x]);
        }
    }
    tile->ymin = (float)((low - m.zero) * m.scale);
    tile->ymax = (float)((high - m.zero) * m.scale);
}

void terrainTileMesh(int32_t tx, int32_t tz, int32_t vbo_offset, TVertex *vertices,
                     uint32_t *indices, uint8_t *splat) {
    uint16_t samples[TILE_SAMPLES * TILE_SAMPLES];
    int32_t x0 = tx * TILE_QUADS, z0 = tz * TILE_QUADS;
    for (int j = 0; j < TILE_SAMPLES; j++)
        for (int i = 0; i < TILE_SAMPLES; i++)
            samples[i + TILE_SAMPLES * j] = sampleAt(x0 + i, z0 + j);
    tmodelBuildTile(samples, map.zero, map.scale, tileQuads(tx, map.width),
                    tileQuads(tz, map.height), vbo_offset, vertices, indices);
    int32_t cells_x = map.width - 3, cells_z = map.height - 3;
    memset(splat, 0, TILE_QUADS * TILE_QUADS);
    for (int j = 0; j < TILE_QUADS && z0 + j < cells_z; j++) {
        for (int i = 0; i < TILE_QUADS && x0 + i < cells_x; i++) {
            int32_t cx = x0 + i, cz = z0 + j;
            splat[i + TILE_QUADS * j] = cells ? cells[(size_t)cz * (size_t)cells_x + (size_t)cx]
                                              : terrainCellMaterial(cx, cz);
        }
    }
}

// A build's mesh and splat, from the map alone: safe off the GL thread.
static void buildTile(TileBuild *build) {
    const TerrainTile &tile = tiles[(size_t)build->tile];
    build->vertices.resize(TMODEL_VERTICES);
    build->indices.resize(TMODEL_INDICES);
    build->splat.resize(TILE_QUADS * TILE_QUADS);
    terrainTileMesh(tile.tx, tile.tz, build->vbo_offset, build->vertices.data(),
                    build->indices.data(), build->splat.data());
}

const TerrainTile *terrainTile(int32_t tx, int32_t tz) {
    return &tiles[(size_t)(tz * tiles_x + tx)];
}

Vec3 terrainTilePosition(const TerrainTile *tile) {
    return {tile->tx * TILE_UNITS, 0.0f, tile->tz * TILE_UNITS};
}

// The distance in x and z from p to a tile's square.
static float tileDistance(const TerrainTile &tile, Vec2 p) {
    float x0 = tile.tx * TILE_UNITS, z0 = tile.tz * TILE_UNITS;
    float dx = fmaxf(fmaxf(x0 - p.x, p.x - (x0 + TILE_UNITS)), 0.0f);
    float dz = fmaxf(fmaxf(z0 - p.y, p.y - (z0 + TILE_UNITS)), 0.0f);
    return sqrtf(dx * dx + dz * dz);
}

// The distance from a tile's square to the camera's path from a to b,
// sampled a tile apart: near enough for a radius of several tiles.
static float pathDistance(const TerrainTile &tile, Vec2 a, Vec2 b) {
    float length = sqrtf((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y));
    int steps = (int)(length / TILE_UNITS) + 1;
    float best = tileDistance(tile, a);
    for (int s = 1; s <= steps; s++) {
        float u = (float)s / (float)steps;
        best = fminf(best, tileDistance(tile, {a.x + (b.x - a.x) * u, a.y + (b.y - a.y) * u}));
    }
    return best;
}

// The tiles, within the map, that may lie within reach of the segment from
// a to b in x and z.
static TileSpan tilesNear(Vec2 a, Vec2 b, float reach) {
    TileSpan span = {(int32_t)floorf((fminf(a.x, b.x) - reach) / TILE_UNITS),
                     (int32_t)floorf((fmaxf(a.x, b.x) + reach) / TILE_UNITS),
                     (int32_t)floorf((fminf(a.y, b.y) - reach) / TILE_UNITS),
                     (int32_t)floorf((fmaxf(a.y, b.y) + reach) / TILE_UNITS)};
    span.x0 = std::max(span.x0, 0);
    span.z0 = std::max(span.z0, 0);
    span.x1 = std::min(span.x1, tiles_x - 1);
    span.z1 = std::min(span.z1, tiles_z - 1);
    return span;
}

// ----------------------------------------------------------- the worker ----

static void workerLoop(void) {
    std::unique_lock<std::mutex> hold(queue.lock);
    for (;;) {
        queue.wake.wait(hold, [] { return queue.stopping || !queue.waiting.empty(); });
        if (queue.stopping) return;
        TileBuild build = std::move(queue.waiting.back());
        queue.waiting.pop_back();
        queue.busy++;
        hold.unlock();
        buildTile(&build);
        hold.lock();
        queue.busy--;
        queue.done.push_back(std::move(build));
        queue.wake.notify_all();
    }
}

// Ends the worker once its build in hand is done; what waits is dropped.
static void workerStop(void) {
    if (!worker.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.stopping = true;
    }
    queue.wake.notify_all();
    worker.join();
    queue.waiting.clear();
    queue.done.clear();
    queue.stopping = false;
}

// The worker ends before the exit tears down what it reads.
static void workerStart(void) {
    static int stop_at_exit;
    if (!stop_at_exit) atexit(workerStop);
    stop_at_exit = 1;
    worker = std::thread(workerLoop);
}

static double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// ----------------------------------------------------------- residency ----

static void forget(std::vector<int> *list, int index) {
    list->erase(std::remove(list->begin(), list->end(), index), list->end());
}

static void makeResident(TileBuild *build) {
    TerrainTile &tile = tiles[(size_t)build->tile];
    graphicsTModelUpload(tile.model, build->vertices.data(), build->indices.data(),
                         build->splat.data());
    if (tile.queued) forget(&asked, build->tile);
    tile.queued = 0;
    resident.push_back(build->tile);
    stats.built_frame++;
    stats.built_total++;
}

// Gives a tile's model back, built or on its way: a build still coming for
// it is stale and dropped when it arrives.
static void evict(int index) {
    TerrainTile &tile = tiles[(size_t)index];
    graphicsTModelFree(tile.model);
    forget(tile.queued ? &asked : &resident, index);
    tile.model = NULL;
    tile.queued = 0;
    tile.version++;
}

// A model from the pool for a tile, unless the pool is at its most.
static int takeModel(TerrainTile *tile) {
    if ((int)(resident.size() + asked.size()) >= stats.capacity) return 0;
    tile->model = graphicsTModelNew(NULL, NULL);
    return 1;
}

// Builds a tile on this thread now, dropping any build of it on its way.
static void buildNow(int index) {
    TerrainTile &tile = tiles[(size_t)index];
    if (tile.model && !tile.queued) return;
    if (!tile.model) tile.model = graphicsTModelNew(NULL, NULL);
    tile.version++;
    TileBuild build = {index, tile.version, tile.model->vbo_offset, {}, {}, {}};
    buildTile(&build);
    makeResident(&build);
}

// Takes the builds that are done, uploading within the frame's budget; a
// build of a tile given back meanwhile frees nothing, its model went then.
static void uploadDone(void) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        TileBuild build;
        {
            std::lock_guard<std::mutex> hold(queue.lock);
            if (queue.done.empty()) return;
            build = std::move(queue.done.back());
            queue.done.pop_back();
        }
        TerrainTile &tile = tiles[(size_t)build.tile];
        if (build.version != tile.version || !tile.queued) continue;
        makeResident(&build);
        if (millisecondsSince(start) > UPLOAD_BUDGET_MS) return;
    }
}

// Where there is no worker: builds the nearest waiting tiles within the
// frame's budget, one at least.
static void buildSlice(void) {
    auto start = std::chrono::steady_clock::now();
    while (!queue.waiting.empty()) {
        TileBuild build = std::move(queue.waiting.back());
        queue.waiting.pop_back();
        buildTile(&build);
        queue.done.push_back(std::move(build));
        if (millisecondsSince(start) > BUILD_BUDGET_MS) break;
    }
}

// Gives back the tiles held far from the camera's path, built or asked for.
static void evictFar(Vec2 a, Vec2 b) {
    if (hold_all) return;
    std::vector<int> far;
    for (const std::vector<int> *list : {&resident, &asked})
        for (int index : *list)
            if (pathDistance(tiles[(size_t)index], a, b) > STREAM_KEEP_RADIUS) far.push_back(index);
    if (far.empty()) return;
    for (int index : far) evict(index);
    // Their builds not yet begun need not be.
    std::lock_guard<std::mutex> hold(queue.lock);
    auto stale = [](const TileBuild &w) { return w.version != tiles[(size_t)w.tile].version; };
    queue.waiting.erase(std::remove_if(queue.waiting.begin(), queue.waiting.end(), stale),
                        queue.waiting.end());
}

// The tiles within reach of the camera's path that are neither built nor
// asked for, nearest first.
static std::vector<int> missingTiles(Vec2 a, Vec2 b) {
    float reach = STREAM_BUILD_RADIUS;
    TileSpan span = tilesNear(a, b, reach);
    std::vector<std::pair<float, int>> found;
    for (int32_t tz = span.z0; tz <= span.z1; tz++) {
        for (int32_t tx = span.x0; tx <= span.x1; tx++) {
            int index = tz * tiles_x + tx;
            const TerrainTile &tile = tiles[(size_t)index];
            if (tile.model || tile.queued) continue;
            float d = pathDistance(tile, a, b);
            if (d <= reach) found.push_back({tileDistance(tile, a), index});
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<int> order;
    for (auto &f : found) order.push_back(f.second);
    return order;
}

// Asks for the missing tiles, the nearest first, as far as the queue and the
// pool allow; the waiting list keeps the nearest last, where the worker takes.
static void askFor(const std::vector<int> &order) {
    std::lock_guard<std::mutex> hold(queue.lock);
    for (int index : order) {
        if ((int)queue.waiting.size() + queue.busy >= MAX_QUEUED) break;
        TerrainTile &tile = tiles[(size_t)index];
        if (!takeModel(&tile)) break;
        tile.queued = 1;
        tile.version++;
        asked.push_back(index);
        queue.waiting.insert(queue.waiting.begin(),
                             TileBuild{index, tile.version, tile.model->vbo_offset, {}, {}, {}});
    }
    queue.wake.notify_all();
}

void terrainStreamFrame(Vec3 position, Vec3 velocity) {
    stats.built_frame = 0;
    if (terrainSingleTile()) return;
    if (!reserved) graphicsTModelReserve(std::min<int>(stats.capacity, MAX_RESIDENT));
    reserved = 1;
    Vec2 a = {position.x, position.z};
    Vec2 b = {a.x + velocity.x * LOOKAHEAD_SECONDS, a.y + velocity.z * LOOKAHEAD_SECONDS};
    evictFar(a, b);
    uploadDone();
    askFor(missingTiles(a, b));
    if (!worker.joinable()) buildSlice();
}

void terrainBuildAround(Vec3 position) {
    Vec2 a = {position.x, position.z};
    for (int index : missingTiles(a, a))
        if (tileDistance(tiles[(size_t)index], a) <= STREAM_BUILD_RADIUS - TILE_UNITS / 2.0f)
            buildNow(index);
}

// ------------------------------------------------------------ culling ----

int boxMeetsClip(const Mat4 *clip, Vec3 lo, Vec3 hi) {
    int outside[6] = {0, 0, 0, 0, 0, 0};
    for (int k = 0; k < 8; k++) {
        Vec3 p = {k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z};
        float c[4];
        for (int r = 0; r < 4; r++)
            c[r] = clip->m[0][r] * p.x + clip->m[1][r] * p.y + clip->m[2][r] * p.z + clip->m[3][r];
        for (int axis = 0; axis < 3; axis++) {
            outside[2 * axis] += c[axis] < -c[3];
            outside[2 * axis + 1] += c[axis] > c[3];
        }
    }
    for (int plane = 0; plane < 6; plane++)
        if (outside[plane] == 8) return 0;
    return 1;
}

// The distance from p to a tile's box, its ground's heights included.
static float boxDistance(const TerrainTile &tile, Vec3 p) {
    float dy = fmaxf(fmaxf(tile.ymin - p.y, p.y - tile.ymax), 0.0f);
    float d = tileDistance(tile, {p.x, p.z});
    return sqrtf(d * d + dy * dy);
}

int terrainTilesIn(const Mat4 *clip, Vec3 centre, float radius, TerrainTile *const **out) {
    drawn.clear();
    if (terrainSingleTile()) {
        if (!tiles[0].model) buildNow(0);
        drawn.push_back(&tiles[0]);
    } else {
        Vec2 at = {centre.x, centre.z};
        TileSpan span = tilesNear(at, at, radius);
        for (int32_t tz = span.z0; tz <= span.z1; tz++) {
            for (int32_t tx = span.x0; tx <= span.x1; tx++) {
                TerrainTile &tile = tiles[(size_t)(tz * tiles_x + tx)];
                Vec3 lo = terrainTilePosition(&tile);
                lo.y = tile.ymin;
                Vec3 hi = {lo.x + TILE_UNITS, tile.ymax, lo.z + TILE_UNITS};
                if (boxDistance(tile, centre) > radius || !boxMeetsClip(clip, lo, hi)) continue;
                if (!tile.model || tile.queued) {
                    buildNow(tz * tiles_x + tx);
                    stats.late_total++;
                }
                drawn.push_back(&tile);
            }
        }
    }
    *out = drawn.data();
    return (int)drawn.size();
}

// -------------------------------------------------------- open, close ----

TerrainPlan *terrainPlan(HeightMap *taken, uint8_t *splat) {
    TerrainPlan *plan = new TerrainPlan{*taken, splat, 0, 0, {}};
    *taken = HeightMap{};
    const HeightMap &m = plan->map;
    plan->tiles_x = (m.width - 3 + TILE_QUADS - 1) / TILE_QUADS;
    plan->tiles_z = (m.height - 3 + TILE_QUADS - 1) / TILE_QUADS;
    plan->tiles.assign((size_t)plan->tiles_x * (size_t)plan->tiles_z, TerrainTile{});
    for (int32_t tz = 0; tz < plan->tiles_z; tz++) {
        for (int32_t tx = 0; tx < plan->tiles_x; tx++) {
            TerrainTile &tile = plan->tiles[(size_t)(tz * plan->tiles_x + tx)];
            tile.tx = tx;
            tile.tz = tz;
            tileHeights(m, &tile);
        }
    }
    return plan;
}

void terrainPlanFree(TerrainPlan *plan) {
    if (!plan) return;
    mapFree(&plan->map);
    free(plan->cells);
    delete plan;
}

void terrainOpenPlan(TerrainPlan *plan) {
    terrainClose();
    map = plan->map;
    cells = plan->cells;
    tiles_x = plan->tiles_x;
    tiles_z = plan->tiles_z;
    tiles.swap(plan->tiles);
    delete plan;
    built_in = 0;
    stats = TerrainStats{};
    stats.tiles = (int)tiles.size();
    stats.capacity = hold_all ? stats.tiles : std::min<int>(MAX_RESIDENT, stats.tiles);
    reserved = 0;
    if (!terrainSingleTile() && workerThreads()) workerStart();
}

void terrainOpen(HeightMap *taken, uint8_t *splat) { terrainOpenPlan(terrainPlan(taken, splat)); }

int terrainOpenBuiltIn(void) {
    int w, h, sw, sh;
    uint8_t *heights = assetDecode(assetHeightmap(), 1, &w, &h);
    uint8_t *splat = assetDecode(assetSplatmap(), 1, &sw, &sh);
    int failed = !heights || !splat;
    if (!failed) {
        HeightMap patch = {w, h, (uint16_t *)malloc((size_t)w * h * 2), 0, BUILT_IN_SCALE, 0, 0};
        patch.lowest = UINT16_MAX;
        for (int k = 0; k < w * h; k++) {
            uint16_t v = (uint16_t)(heights[k] << 8);
            patch.samples[k] = v;
            patch.lowest = std::min(patch.lowest, v);
            patch.highest = std::max(patch.highest, v);
        }
        uint8_t *cells_copy = (uint8_t *)malloc((size_t)sw * sh);
        memcpy(cells_copy, splat, (size_t)sw * sh);
        terrainOpen(&patch, cells_copy);
        built_in = 1;
    }
    stbi_image_free(heights);
    stbi_image_free(splat);
    return failed;
}

void terrainForgetModels(void) {
    workerStop();
    for (TerrainTile &tile : tiles) {
        if (tile.model) graphicsTModelFree(tile.model);
        tile.model = NULL;
        tile.queued = 0;
        tile.version++;
    }
    resident.clear();
    asked.clear();
    reserved = 0;
    if (!terrainSingleTile() && workerThreads() && !tiles.empty()) workerStart();
}

void terrainClose(void) {
    workerStop();
    for (TerrainTile &tile : tiles)
        if (tile.model) graphicsTModelFree(tile.model);
    resident.clear();
    asked.clear();
    std::vector<TerrainTile>().swap(tiles);
    drawn.clear();
    mapFree(&map);
    free(cells);
    cells = NULL;
    tiles_x = tiles_z = 0;
}

int terrainIsOpen(void) { return !tiles.empty(); }

int terrainSingleTile(void) { return tiles.size() == 1; }

int terrainIsBuiltIn(void) { return built_in; }

void terrainStreamHoldAll(int hold) { hold_all = hold; }

TerrainStats terrainStats(void) {
    stats.resident = (int)resident.size();
    return stats;
}
