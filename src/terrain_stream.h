// A terrain of any size, cut into tiles of the terrain model's shape and kept
// resident only around the camera: built ahead of its motion (on a worker
// thread where the platform has threads, in slices of the frame where it has
// none), uploaded within a budget a frame, culled against the camera and the
// light, and given back to the pool once left behind. The built-in patch is
// the map of one tile, built once and never culled.
#pragma once

#include <stdint.h>

#include "graph_models.h"
#include "knoll_math.h"
#include "terrain_file.h"

// ------------------------------------------------------------ constants ----

static const float TILE_UNITS = 32.0f;  // world units a tile spans, in x and z
// How far from the camera (and from where its motion takes it) tiles are
// built: the far distance and half a tile more.
static const float STREAM_BUILD_RADIUS = 80.0f;
// Tiles further than this are given back; the gap keeps a camera turning on
// the spot from building the same tiles again and again.
static const float STREAM_KEEP_RADIUS = 96.0f;

// ---------------------------------------------------------------- types ----

struct TerrainTile {
    int32_t tx, tz;    // place in the grid of tiles; the tile starts at (32 tx, 32 tz)
    float ymin, ymax;  // the height of its drawn ground, in units
    TModel *model;     // resident: the built model; NULL otherwise
    uint32_t version;  // counts the builds asked for, so a stale one is dropped
    uint8_t queued;    // a build is asked for and not yet uploaded
};

// What the streaming did, for the benchmark and the tests.
struct TerrainStats {
    int tiles;         // in the whole map
    int resident;      // built and held
    int capacity;      // the most it ever holds at once
    int built_frame;   // tiles that became resident in the last frame
    long built_total;  // since the terrain opened
    long late_total;   // built on the GL thread because a frame needed them
};

// A map cut into tiles, ready to become the terrain.
struct TerrainPlan;

// ------------------------------------------------------------ functions ----

// Cuts map, and splat ((width - 3) x (height - 3) material indices, or NULL
// to choose them from the ground), into tiles, taking both: a pass over
// every sample, fit for a loading thread.
TerrainPlan *terrainPlan(HeightMap *map, uint8_t *splat);
// Makes plan the terrain, closing the one before. The first frame builds
// what it sees.
void terrainOpenPlan(TerrainPlan *plan);
// Frees a plan that is not to be opened.
void terrainPlanFree(TerrainPlan *plan);
// Both at once.
void terrainOpen(HeightMap *map, uint8_t *splat);
// Opens the embedded heightmap and splat map. Returns 0, or 1 after logging
// an image that did not decode.
int terrainOpenBuiltIn(void);
// Stops the building, gives every tile back and frees the map.
void terrainClose(void);
// 1 once a terrain is open.
int terrainIsOpen(void);
// 1 when the terrain is the embedded patch.
int terrainIsBuiltIn(void);
// 1 when the terrain is the map of one tile (the built-in patch): no
// culling, no moving shadow box.
int terrainSingleTile(void);

// The drawn ground's extent in x and z, in units, from the origin.
Vec2 terrainExtent(void);
// The ground's height at (x, z), between samples by their bilinear mix;
// clamped to the map outside it.
float terrainGroundAt(float x, float z);
// The lowest and highest ground, in units.
Vec2 terrainHeightRange(void);
// Where the camera starts: the middle of the edge at the largest z, eight
// units above the lowest ground ahead and two above the highest.
Vec3 terrainStartView(void);
// The material of drawn cell (cx, cz) from the ground's height and slope,
// with a little variety: the same on every platform.
uint8_t terrainCellMaterial(int32_t cx, int32_t cz);

// Builds tile (tx, tz) of the open terrain without GL, as the streaming
// does: TMODEL_VERTICES vertices and TMODEL_INDICES indices for a model at
// vbo_offset, and its 64 x 64 splat texels.
void terrainTileMesh(int32_t tx, int32_t tz, int32_t vbo_offset, TVertex *vertices,
                     uint32_t *indices, uint8_t *splat);

// Once a frame on the GL thread, the camera at position moving at velocity
// (units a second): asks for the tiles around it and ahead, uploads those
// built within the frame's budget and gives back those left behind.
void terrainStreamFrame(Vec3 position, Vec3 velocity);
// The tiles that meet clip (world to clip space) within radius of centre,
// every one resident: a tile not yet built is built now rather than left
// out. The map of one tile is its own answer. Valid until the next call.
int terrainTilesIn(const Mat4 *clip, Vec3 centre, float radius, TerrainTile *const **tiles);
// Tile (tx, tz) of the open terrain.
const TerrainTile *terrainTile(int32_t tx, int32_t tz);
// Where a tile's model is drawn.
Vec3 terrainTilePosition(const TerrainTile *tile);
// Builds every tile the camera at position needs now, on this thread: the
// start-up's first frame shows whole ground.
void terrainBuildAround(Vec3 position);
TerrainStats terrainStats(void);
// With hold set, from the next terrain opened on, no tile is given back and
// the pool grows as needed: a benchmark's baseline of a flight over tiles
// all built before.
void terrainStreamHoldAll(int hold);

// The GL objects are gone with a lost context: every tile is unbuilt.
void terrainForgetModels(void);

// 1 when any corner of the box from lo to hi lies inside clip's volume, or
// the box spans it: 0 only when all eight corners lie beyond one plane.
int boxMeetsClip(const Mat4 *clip, Vec3 lo, Vec3 hi);
