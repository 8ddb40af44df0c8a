// The terrain: the mesh built from a 67 x 67 heightmap, and the pool of
// models sharing ebo_terrain / vbo_terrain.
#include <math.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "gl_fixture.h"
#include "graph_models.h"

namespace {

const int SIDE = TMODEL_HEIGHT_SIDE;
const int SPLAT_TEXELS = TMODEL_SPLAT_SIDE * TMODEL_SPLAT_SIDE;

// Sample (i, j) of the heightmap: i along x, j along z, rows of j.
uint8_t &height(std::vector<uint8_t> &h, int i, int j) { return h[(size_t)(i + SIDE * j)]; }

int gridSlot(int i, int j) { return 133 * i + j; }
int centreSlot(int i, int j) { return 133 * i + 67 + j; }

struct Mesh {
    std::vector<TVertex> vertices = std::vector<TVertex>(TMODEL_VERTICES);
    std::vector<uint32_t> indices = std::vector<uint32_t>(TMODEL_INDICES);
    Mesh(const std::vector<uint8_t> &heights, int32_t offset = 0) {
        tmodelBuildMesh(heights.data(), offset, vertices.data(), indices.data());
    }
    std::set<uint32_t> referenced() const { return {indices.begin(), indices.end()}; }
};

std::vector<uint8_t> randomHeights(unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> h(SIDE * SIDE);
    for (uint8_t &v : h) v = (uint8_t)(rng() & 0xFF);
    return h;
}

std::vector<uint8_t> randomSplat(unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> s(SPLAT_TEXELS);
    for (uint8_t &v : s) v = (uint8_t)(rng() % 8);
    return s;
}

void expectVec3(const float *v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

// --------------------------------------------------------- GL read-back ----

// Set once any case here touches the pool, which is process-wide state.
bool pool_touched;

TModel *newModel(const uint8_t *heights, const uint8_t *splat) {
    pool_touched = true;
    return graphicsTModelNew(heights, splat);
}

GLint bufferSize(GLenum target) {
    GLint size = 0;
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    return size;
}

// Both shared buffers hold exactly n models' worth.
void expectPoolOf(int n) {
    useVao(vao_terrain);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_terrain);
    EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER), n * TMODEL_INDICES * 4);
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER), n * TMODEL_VERTICES * (GLint)sizeof(TVertex));
}

// True when the pool holds exactly this mesh at the model's slots.
bool poolHolds(const TModel *model, const Mesh &mesh) {
    useVao(vao_terrain);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_terrain);
    std::vector<uint32_t> indices(TMODEL_INDICES);
    std::vector<TVertex> vertices(TMODEL_VERTICES);
    glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, (GLintptr)model->ebo_offset * 4, TMODEL_INDICES * 4,
                       indices.data());
    glGetBufferSubData(GL_ARRAY_BUFFER, (GLintptr)model->vbo_offset * sizeof(TVertex),
                       TMODEL_VERTICES * sizeof(TVertex), vertices.data());
    return indices == mesh.indices &&
           memcmp(vertices.data(), mesh.vertices.data(), vertices.size() * sizeof(TVertex)) == 0;
}

std::vector<uint8_t> splatTexels(const TModel *model) {
    std::vector<uint8_t> out(SPLAT_TEXELS);
    useTextureForEdit(0, GL_TEXTURE_2D, model->splat_tex);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, out.data());
    return out;
}

}  // namespace

// ----------------------------------------------------------- mesh build ----

TEST(TerrainMesh, FlatAndFullMaps) {
    Mesh flat(std::vector<uint8_t>(SIDE * SIDE, 100));
    for (uint32_t k : flat.referenced()) {
        SCOPED_TRACE(k);
        expectVec3(flat.vertices[k].normal, 0, 1, 0);
        expectVec3(flat.vertices[k].tangent, 1, 0, 0);
        expectVec3(flat.vertices[k].bitangent, 0, 0, 1);
    }
    Mesh full(std::vector<uint8_t>(SIDE * SIDE, 255));
    for (int k = 0; k < TMODEL_VERTICES; k++) EXPECT_EQ(full.vertices[k].position[1], 31.875f) << k;
}

TEST(TerrainMesh, IndexLayout) {
    std::vector<uint8_t> h = randomHeights(1);
    Mesh mesh(h);
    EXPECT_EQ(std::vector<uint32_t>(mesh.indices.begin(), mesh.indices.begin() + 12),
              (std::vector<uint32_t>{134, 135, 201, 135, 268, 201, 268, 267, 201, 267, 134, 201}));
    EXPECT_EQ(mesh.indices.back(), 8643u);
    EXPECT_EQ(*std::max_element(mesh.indices.begin(), mesh.indices.end()), 8710u);
    // The border ring (column and row 0 and 66) only shapes normals.
    for (uint32_t k : mesh.referenced()) {
        int i = (int)k / 133, j = (int)k % 133;
        if (j >= 67) j -= 67;
        EXPECT_TRUE(i >= 1 && i <= 65 && j >= 1 && j <= 65) << k;
    }

    Mesh shifted(h, 8845);
    for (size_t k = 0; k < mesh.indices.size(); k++)
        ASSERT_EQ(shifted.indices[k], mesh.indices[k] + 8845) << k;
    EXPECT_EQ(memcmp(shifted.vertices.data(), mesh.vertices.data(),
                     mesh.vertices.size() * sizeof(TVertex)),
              0);
}

TEST(TerrainMesh, VertexPositions) {
    std::vector<uint8_t> h = randomHeights(2);
    Mesh mesh(h);
    const TVertex &g11 = mesh.vertices[gridSlot(1, 1)];
    expectVec3(g11.position, 0, height(h, 1, 1) / 8.0f, 0, 0);
    EXPECT_EQ(g11.texpos[0], 0.0f);
    EXPECT_EQ(g11.texpos[1], 0.0f);
    const TVertex &g65 = mesh.vertices[gridSlot(65, 65)];
    expectVec3(g65.position, 32, height(h, 65, 65) / 8.0f, 32, 0);
    EXPECT_EQ(g65.texpos[0], 1.0f);
    EXPECT_EQ(g65.texpos[1], 1.0f);

    const TVertex &m11 = mesh.vertices[centreSlot(1, 1)];
    float mean = (height(h, 1, 1) + height(h, 1, 2) + height(h, 2, 1) + height(h, 2, 2)) / 32.0f;
    expectVec3(m11.position, 0.25f, mean, 0.25f, 0);
    EXPECT_EQ(m11.texpos[0], 0.0078125f);
    EXPECT_EQ(m11.texpos[1], 0.0078125f);

    // i and j play different roles: an asymmetric sample tells them apart.
    for (auto [i, j] : {std::pair{3, 40}, std::pair{40, 3}, std::pair{0, 66}, std::pair{66, 0}}) {
        const TVertex &g = mesh.vertices[gridSlot(i, j)];
        expectVec3(g.position, (i - 1) * 0.5f, height(h, i, j) / 8.0f, (j - 1) * 0.5f, 0);
        EXPECT_FLOAT_EQ(g.texpos[0], (i - 1) / 64.0f);
        EXPECT_FLOAT_EQ(g.texpos[1], (j - 1) / 64.0f);
    }
}

TEST(TerrainMesh, FramesAndWinding) {
    std::vector<uint8_t> h = randomHeights(3);
    Mesh mesh(h);
    for (size_t k = 0; k < mesh.indices.size(); k += 3) {
        const float *p0 = mesh.vertices[mesh.indices[k]].position;
        const float *p1 = mesh.vertices[mesh.indices[k + 1]].position;
        const float *p2 = mesh.vertices[mesh.indices[k + 2]].position;
        // y of (p1 - p0) x (p2 - p0)
        float y = (p1[2] - p0[2]) * (p2[0] - p0[0]) - (p1[0] - p0[0]) * (p2[2] - p0[2]);
        ASSERT_GT(y, 0.0f) << "triangle " << k / 3 << " is clockwise seen from above";
    }
    for (uint32_t k : mesh.referenced()) {
        const TVertex &v = mesh.vertices[k];
        EXPECT_NEAR(vec3Length(a3v3(v.normal)), 1.0f, 1e-5) << k;
        EXPECT_NEAR(vec3Length(a3v3(v.tangent)), 1.0f, 1e-5) << k;
        EXPECT_NEAR(vec3Length(a3v3(v.bitangent)), 1.0f, 1e-5) << k;
        EXPECT_GT(v.normal[1], 0.0f) << k;
    }

    // Raising a border sample tilts the drawn column next to it, and nothing
    // is drawn from the border itself.
    std::vector<uint8_t> raised = h;
    height(raised, 0, 30) = (uint8_t)(height(h, 0, 30) < 128 ? 255 : 0);
    Mesh bumped(raised);
    EXPECT_EQ(bumped.indices, mesh.indices);
    float moved = 0.0f;
    for (int j = 29; j <= 31; j++) {
        const float *a = mesh.vertices[gridSlot(1, j)].normal;
        const float *b = bumped.vertices[gridSlot(1, j)].normal;
        moved = std::max(moved, fabsf(a[0] - b[0]) + fabsf(a[1] - b[1]) + fabsf(a[2] - b[2]));
    }
    EXPECT_GT(moved, 1e-3f);
    EXPECT_EQ(
        memcmp(mesh.vertices[gridSlot(5, 30)].normal, bumped.vertices[gridSlot(5, 30)].normal, 12),
        0);
}

// ------------------------------------------------------------- GL pool ----

TEST(TerrainPool, GrowsByDoublingAndKeepsContents) {
    ASSERT_TRUE(graphicsReady());
    if (pool_touched) GTEST_SKIP() << "needs a process whose pool is still empty";
    std::vector<uint8_t> h1 = randomHeights(11), h2 = randomHeights(12), h3 = randomHeights(13);
    std::vector<uint8_t> s1 = randomSplat(11);

    TModel *a = newModel(h1.data(), s1.data());
    EXPECT_EQ(a->ebo_offset, 0);
    EXPECT_EQ(a->vbo_offset, 0);
    expectPoolOf(1);
    EXPECT_TRUE(poolHolds(a, Mesh(h1, 0)));

    TModel *b = newModel(h2.data(), s1.data());
    EXPECT_EQ(b->ebo_offset, TMODEL_INDICES);
    EXPECT_EQ(b->vbo_offset, TMODEL_VERTICES);
    expectPoolOf(2);
    EXPECT_TRUE(poolHolds(a, Mesh(h1, 0))) << "growth lost the first model";
    EXPECT_TRUE(poolHolds(b, Mesh(h2, TMODEL_VERTICES)));

    TModel *c = newModel(h3.data(), s1.data());
    EXPECT_EQ(c->ebo_offset, 2 * TMODEL_INDICES);
    expectPoolOf(4);
    EXPECT_TRUE(poolHolds(a, Mesh(h1, 0)));
    EXPECT_TRUE(poolHolds(b, Mesh(h2, TMODEL_VERTICES)));
    EXPECT_TRUE(poolHolds(c, Mesh(h3, 2 * TMODEL_VERTICES)));

    // A fresh record without data still takes slots and a texture.
    TModel *d = newModel(nullptr, nullptr);
    EXPECT_EQ(d->ebo_offset, 3 * TMODEL_INDICES);
    EXPECT_EQ(d->vbo_offset, 3 * TMODEL_VERTICES);
    EXPECT_TRUE(glIsTexture(d->splat_tex));
    EXPECT_NE(d->splat_tex, c->splat_tex);
    expectPoolOf(4);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    for (TModel *m : {a, b, c, d}) graphicsTModelFree(m);  // the pool keeps the records
}

TEST(TerrainPool, FreedRecordsComeBack) {
    ASSERT_TRUE(graphicsReady());
    if (pool_touched) GTEST_SKIP() << "needs a process whose pool is still empty";
    std::vector<uint8_t> h1 = randomHeights(21), h2 = randomHeights(22), h3 = randomHeights(23);
    std::vector<uint8_t> s1 = randomSplat(21), s2 = randomSplat(22);
    TModel *a = newModel(h1.data(), s1.data());
    TModel *b = newModel(h2.data(), s2.data());
    const TModel a_was = *a, b_was = *b;

    graphicsTModelFree(a);
    TModel *again = newModel(h3.data(), s2.data());
    EXPECT_EQ(again, a);
    EXPECT_EQ(again->ebo_offset, a_was.ebo_offset);
    EXPECT_EQ(again->vbo_offset, a_was.vbo_offset);
    EXPECT_EQ(again->splat_tex, a_was.splat_tex);
    EXPECT_EQ(again->next, nullptr);
    EXPECT_TRUE(poolHolds(again, Mesh(h3, a_was.vbo_offset)));
    EXPECT_EQ(splatTexels(again), s2);
    EXPECT_TRUE(poolHolds(b, Mesh(h2, b_was.vbo_offset)));
    expectPoolOf(2);

    graphicsTModelFree(a);
    graphicsTModelFree(b);
    EXPECT_EQ(newModel(nullptr, nullptr), b);
    // Taken back without data, the record keeps what it held.
    EXPECT_TRUE(poolHolds(b, Mesh(h2, b_was.vbo_offset)));
    EXPECT_EQ(splatTexels(b), s2);
    EXPECT_EQ(newModel(nullptr, nullptr), a);
    EXPECT_TRUE(poolHolds(a, Mesh(h3, a_was.vbo_offset)));
    expectPoolOf(2);
    graphicsTModelFree(a);
    graphicsTModelFree(b);
}

TEST(TerrainPool, SplatTexture) {
    ASSERT_TRUE(graphicsReady());
    std::vector<uint8_t> h = randomHeights(31), s1 = randomSplat(31), s2 = randomSplat(32),
                         s3 = randomSplat(33);
    TModel *a = newModel(h.data(), s1.data());
    TModel *b = newModel(h.data(), s2.data());
    for (const TModel *m : {a, b}) {
        useTextureForEdit(0, GL_TEXTURE_2D, m->splat_tex);
        GLint value = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &value);
        EXPECT_EQ(value, TMODEL_SPLAT_SIDE);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &value);
        EXPECT_EQ(value, TMODEL_SPLAT_SIDE);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE, &value);
        EXPECT_EQ(value, 8);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_GREEN_SIZE, &value);
        EXPECT_EQ(value, 0);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
        EXPECT_EQ(value, GL_NEAREST);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
        EXPECT_EQ(value, GL_NEAREST);
    }
    EXPECT_EQ(splatTexels(a), s1);
    EXPECT_EQ(splatTexels(b), s2);

    // b's texture is the one cached on unit 0; with unit 3 active, its
    // update must still land in it and leave unit 3 alone.
    GLuint other;
    glGenTextures(1, &other);
    useTexture(0, GL_TEXTURE_2D, b->splat_tex);
    useTexture(3, GL_TEXTURE_2D, other);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, 2, 2, 0, GL_RED, GL_UNSIGNED_BYTE, s1.data());
    graphicsTModelUpdate(b, nullptr, s3.data());
    EXPECT_EQ(splatTexels(b), s3);
    EXPECT_EQ(splatTexels(a), s1);
    useTextureForEdit(3, GL_TEXTURE_2D, other);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 2);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    graphicsTModelFree(a);
    graphicsTModelFree(b);
}
