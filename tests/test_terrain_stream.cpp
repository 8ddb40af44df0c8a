// A map of many tiles: seams between tiles, the resident set along a flight,
// the shadow box that follows the camera, and the start view.
#include <math.h>
#include <string.h>

#include <random>
#include <set>
#include <vector>

#include "gl_fixture.h"
#include "terrain_stream.h"

namespace {

const int QUADS = TMODEL_SPLAT_SIDE;

// A random 16-bit map of width x height, every value anywhere in the range.
HeightMap randomMap(int32_t width, int32_t height, unsigned seed) {
    std::mt19937 rng(seed);
    HeightMap m = {width,
                   height,
                   (uint16_t *)malloc((size_t)width * height * 2),
                   0,
                   MAP_DEFAULT_HEIGHT / 65536.0,
                   0,
                   65535};
    for (size_t k = 0; k < (size_t)width * height; k++) m.samples[k] = (uint16_t)rng();
    return m;
}

struct TileMesh {
    std::vector<TVertex> v = std::vector<TVertex>(TMODEL_VERTICES);
    std::vector<uint32_t> i = std::vector<uint32_t>(TMODEL_INDICES);
    std::vector<uint8_t> splat = std::vector<uint8_t>(QUADS * QUADS);
    TileMesh(int tx, int tz) { terrainTileMesh(tx, tz, 0, v.data(), i.data(), splat.data()); }
    const TVertex &grid(int i_, int j) const { return v[(size_t)(133 * i_ + j)]; }
};

// Vertex a of one tile and b of its neighbour, which lies offset units
// further along x or z, are the same vertex bit for bit.
void expectSameVertex(const TVertex &a, const TVertex &b, float dx, float dz) {
    TVertex moved = b;
    moved.position[0] += dx;
    moved.position[2] += dz;
    EXPECT_EQ(memcmp(a.position, moved.position, sizeof(a.position)), 0);
    EXPECT_EQ(memcmp(a.normal, b.normal, 3 * 3 * sizeof(float)), 0)
        << "normal, tangent or bitangent differ at " << a.position[0] << ", " << a.position[2];
}

// The distance from p to a tile's box, in x and z or, with height, in all three.
float distanceTo(const TerrainTile *tile, Vec3 p, bool height = false) {
    Vec3 lo = terrainTilePosition(tile);
    float dx = fmaxf(fmaxf(lo.x - p.x, p.x - lo.x - TILE_UNITS), 0.0f);
    float dz = fmaxf(fmaxf(lo.z - p.z, p.z - lo.z - TILE_UNITS), 0.0f);
    float dy = height ? fmaxf(fmaxf(tile->ymin - p.y, p.y - tile->ymax), 0.0f) : 0.0f;
    return sqrtf(dx * dx + dy * dy + dz * dz);
}

// Within the far distance of the camera at p and in its view.
bool seen(const Mat4 *clip, const TerrainTile *tile, Vec3 p) {
    Vec3 lo = terrainTilePosition(tile);
    lo.y = tile->ymin;
    return distanceTo(tile, p, true) <= 64.0f &&
           boxMeetsClip(clip, lo, {lo.x + TILE_UNITS, tile->ymax, lo.z + TILE_UNITS});
}

GLint terrainIndexBytes(void) {
    GLint bytes = 0;
    useVao(vao_terrain);
    glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &bytes);
    return bytes;
}

}  // namespace

// A map that is no multiple of a tile: neighbours agree on their shared
// edges in position, normal and tangent frame, and the quads past the map's
// edge draw nothing.
TEST(TerrainStream, NeighbouringTilesShareTheirEdgesBitForBit) {
    HeightMap m = randomMap(200, 150, 7);  // 197 x 147 quads: 4 x 3 tiles
    terrainOpen(&m, NULL);
    EXPECT_EQ(terrainStats().tiles, 12);
    for (int tz = 0; tz < 3; tz++) {
        for (int tx = 0; tx < 4; tx++) {
            TileMesh tile(tx, tz);
            if (tx < 3) {
                TileMesh right(tx + 1, tz);
                for (int j = 1; j <= 65; j++)
                    expectSameVertex(tile.grid(65, j), right.grid(1, j), TILE_UNITS, 0.0f);
            }
            if (tz < 2) {
                TileMesh below(tx, tz + 1);
                for (int i = 1; i <= 65; i++)
                    expectSameVertex(tile.grid(i, 65), below.grid(i, 1), 0.0f, TILE_UNITS);
            }
        }
    }
    // The last tile has 197 - 192 = 5 by 147 - 128 = 19 quads: every
    // triangle beyond has no area.
    TileMesh last(3, 2);
    int drawn = 0;
    for (int k = 0; k < TMODEL_INDICES; k += 3)
        drawn += last.i[k] != last.i[k + 1] || last.i[k] != last.i[k + 2];
    EXPECT_EQ(drawn, 5 * 19 * 4);
    terrainClose();
}

// Without a splat map the ground chooses: rock on a cliff, sand on the low
// flat, snow on the high flat; the same cells always get the same.
TEST(TerrainStream, MaterialsFollowHeightAndSlope) {
    HeightMap m = {131, 131, (uint16_t *)calloc(131 * 131, 2), 0, 1.0 / 2048.0, 0, 60000};
    for (int z = 0; z < 131; z++)
        for (int x = 0; x < 131; x++) m.samples[z * 131 + x] = x < 60 ? 0 : x < 62 ? 30000 : 60000;
    terrainOpen(&m, NULL);
    EXPECT_EQ(terrainCellMaterial(10, 10), 4);   // sand
    EXPECT_EQ(terrainCellMaterial(58, 10), 5);   // rock: 14.6 units up in half a unit
    EXPECT_EQ(terrainCellMaterial(100, 10), 7);  // snow
    EXPECT_EQ(terrainCellMaterial(100, 10), terrainCellMaterial(100, 10));
    terrainClose();
}

// The built-in heightmap is the map of one tile, and its start view is the
// built-in one.
TEST(TerrainStream, TheBuiltInPatchIsOneTileWithTheBuiltInStartView) {
    ASSERT_TRUE(graphicsReady());
    ASSERT_EQ(terrainOpenBuiltIn(), 0);
    EXPECT_TRUE(terrainSingleTile());
    Vec3 start = terrainStartView();
    EXPECT_EQ(start.x, 16.0f);
    EXPECT_EQ(start.y, 8.0f);
    EXPECT_EQ(start.z, 32.0f);
    terrainClose();
}

// A box is out of view when it lies wholly behind the camera or beyond the
// far distance, in view when it holds the camera or stands before it.
TEST(TerrainStream, BoxesMeetTheViewOnlyWhereTheyAre) {
    Mat4 proj, view, clip;
    mat4Perspective(&proj, 1.5708f, 4.0f / 3.0f, 0.0625f, 64.0f);
    mat4LookAt(&view, {0, 0, 0}, {0, 0, -1}, {0, 1, 0});
    mat4MultiplyMatrix(&clip, &view, &proj);
    EXPECT_TRUE(boxMeetsClip(&clip, {-1, -1, -1}, {1, 1, 1}));
    EXPECT_TRUE(boxMeetsClip(&clip, {-100, -5, -40}, {100, 5, -30}));    // corners all outside
    EXPECT_FALSE(boxMeetsClip(&clip, {-10, -10, 1}, {10, 10, 30}));      // behind
    EXPECT_FALSE(boxMeetsClip(&clip, {-10, -10, -100}, {10, 10, -65}));  // beyond the far plane
    EXPECT_FALSE(boxMeetsClip(&clip, {40, -1, -10}, {50, 1, -5}));       // off to the right
}

// A flight at the fast speed over a 1025-square map, circling so that it
// passes over far more tiles than the pool holds: in every frame each tile
// that meets the view is drawn and built and no other is drawn; the tiles
// held stay within the pool, which never grows past them, and those left
// behind go back. The shadow box then stands ahead.
TEST(TerrainStream, AFlightDrawsEveryTileInViewFromABoundedResidentSet) {
    ASSERT_TRUE(graphicsReady());
    HeightMap m = randomMap(1025, 1025, 3);
    terrainOpen(&m, NULL);
    TerrainStats stats = terrainStats();
    Vec3 position = {256.0f, 40.0f, 500.0f};
    Quat ori = {0, 0, 0, 1};
    for (int frame = 0; frame < 500; frame++) {
        ori = quatRotate({0.0f, 1.0f, 0.0f}, 0.015f * frame);
        Vec3 step = quatMultiplyVector(ori, {0.0f, -0.05f, -2.0f});
        position = vec3Add(position, step);
        graphicsCamera(position, ori, 1.5708f, 0.0625f, 64.0f);
        terrainStreamFrame(position, vec3Multiply(step, 32.0f));
        TerrainTile *const *tiles;
        int n = terrainTilesIn(graphicsCameraClip(), position, 64.0f, &tiles);
        std::set<const TerrainTile *> drawn(tiles, tiles + n);
        for (int k = 0; k < stats.tiles; k++) {
            const TerrainTile *tile = terrainTile(k % 16, k / 16);
            ASSERT_EQ(seen(graphicsCameraClip(), tile, position), drawn.count(tile) == 1)
                << "frame " << frame << ", tile " << tile->tx << ", " << tile->tz;
            ASSERT_TRUE(!drawn.count(tile) || tile->model);
        }
        ASSERT_LE(terrainStats().resident, stats.capacity);
    }
    EXPECT_EQ(terrainIndexBytes(), stats.capacity * TMODEL_INDICES * 4);
    for (int k = 0; k < stats.tiles; k++) {
        const TerrainTile *tile = terrainTile(k % 16, k / 16);
        EXPECT_TRUE(!tile->model || distanceTo(tile, position) <= STREAM_KEEP_RADIUS + 64.0f);
    }
    EXPECT_GT(terrainStats().built_total, stats.capacity);  // more than the pool holds at once

    // Half the shadow box's width ahead on the ground: the box's centre.
    cam_pos = cam_prev = position;
    cam_ori = ori;
    sceneCamera(1.0f);
    Vec3 ahead = vec3Add(position, vec3Multiply(quatMultiplyVector(ori, {0, 0, -1}), 24.0f));
    ahead.y = terrainGroundAt(ahead.x, ahead.z);
    const Mat4 *light = graphicsLightClip();
    for (int axis = 0; axis < 2; axis++) {
        float c = light->m[0][axis] * ahead.x + light->m[1][axis] * ahead.y +
                  light->m[2][axis] * ahead.z + light->m[3][axis];
        EXPECT_NEAR(c, 0.0f, 2.0f / SHADOW_MAP_SIZE * 2.0f);
    }
    terrainClose();
    graphicsLightCentreReset();
}
