// The generated mesh models: sound .omm data, faces and tangent frames that
// agree with the normals and texture, cut-out leaves seen from both sides,
// and textures within the ranges the renderer expects.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "gl_fixture.h"
#include "graph_models.h"
#include "models.h"

// ------------------------------------------------------------ constants ----

enum { BARREL, FERN, PALM, CACTUS };

static const int SIDE = MODELS_TEX_SIDE;

// ---------------------------------------------------------------- types ----

struct V3 {
    double x, y, z;
};

// One model decoded for inspection.
struct Decoded {
    std::vector<TVertex> vertices;
    std::vector<uint32_t> indices;
    ModelAsset asset;
};

// ---------------------------------------------------------------- state ----

static Decoded g_models[MODELS_COUNT];
static bool g_built;

// ------------------------------------------------------------ functions ----

static V3 sub(const float *a, const float *b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
static V3 cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
static double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
static double dotf(V3 a, const float *b) { return a.x * b[0] + a.y * b[1] + a.z * b[2]; }

// Builds every model once for the whole run; each takes a fraction of a second.
static const Decoded &model(int index) {
    if (!g_built) {
        for (int i = 0; i < MODELS_COUNT; i++) {
            Decoded &d = g_models[i];
            modelsBuild(i, &d.asset);
            uint32_t v, n;
            memcpy(&v, d.asset.omm, 4);
            memcpy(&n, d.asset.omm + 4, 4);
            d.vertices.resize(v);
            d.indices.resize(n);
            memcpy(d.vertices.data(), d.asset.omm + OMM_HEADER_BYTES, (size_t)v * OMM_VERTEX_BYTES);
            memcpy(d.indices.data(), d.asset.omm + OMM_HEADER_BYTES + (size_t)v * OMM_VERTEX_BYTES,
                   (size_t)n * 4);
        }
        g_built = true;
    }
    return g_models[index];
}

// True when the texels under a triangle's UV bounding box include cut-out ones.
static bool showsCutOut(const Decoded &d, const TVertex *v[3]) {
    double s0 = 1, s1 = 0, t0 = 1, t1 = 0;
    for (int k = 0; k < 3; k++) {
        s0 = fmin(s0, v[k]->texpos[0]), s1 = fmax(s1, v[k]->texpos[0]);
        t0 = fmin(t0, v[k]->texpos[1]), t1 = fmax(t1, v[k]->texpos[1]);
    }
    // Texels whose centres the box covers, so a region's edge does not reach
    // into its neighbour.
    int x0 = (int)ceil(s0 * SIDE - 0.5), x1 = (int)floor(s1 * SIDE - 0.5);
    int y0 = (int)ceil(t0 * SIDE - 0.5), y1 = (int)floor(t1 * SIDE - 0.5);
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            if (d.asset.alb[((size_t)y * SIDE + x) * 4 + 3] < 128) return true;
    return false;
}

// Key of a triangle's corner positions regardless of their order.
static std::string cornerKey(const TVertex *v[3]) {
    std::vector<std::string> corners;
    for (int k = 0; k < 3; k++) {
        char buf[64];
        snprintf(buf, sizeof buf, "%a,%a,%a", v[k]->position[0], v[k]->position[1],
                 v[k]->position[2]);
        corners.push_back(buf);
    }
    std::sort(corners.begin(), corners.end());
    return corners[0] + ";" + corners[1] + ";" + corners[2];
}

// ---- the mesh of each model ----

class ModelMesh : public ::testing::TestWithParam<int> {};

TEST_P(ModelMesh, IsSoundOmmWithinBudget) {
    const Decoded &d = model(GetParam());
    char msg[256];
    EXPECT_EQ(mmodelValidate(d.asset.omm, d.asset.omm_len, msg, sizeof msg), 0) << msg;
    size_t triangles = d.indices.size() / 3;
    EXPECT_GE(triangles, 100u);
    EXPECT_LE(triangles, 5000u);
    // The model stands on the origin: its footprint is about x = z = 0.
    double cx = 0, cz = 0;
    for (const TVertex &v : d.vertices) cx += v.position[0], cz += v.position[2];
    EXPECT_LT(fabs(cx / d.vertices.size()), 0.2);
    EXPECT_LT(fabs(cz / d.vertices.size()), 0.2);
}

TEST_P(ModelMesh, FacesAndTangentFramesAgreeWithNormalsAndTexture) {
    const Decoded &d = model(GetParam());
    size_t checked = 0, bad_winding = 0, bad_frame = 0, unused = d.vertices.size();
    std::vector<bool> used(d.vertices.size());
    for (size_t i = 0; i < d.indices.size(); i += 3) {
        const TVertex *v[3] = {&d.vertices[d.indices[i]], &d.vertices[d.indices[i + 1]],
                               &d.vertices[d.indices[i + 2]]};
        for (int k = 0; k < 3; k++)
            if (!used[d.indices[i + k]]) used[d.indices[i + k]] = true, unused--;
        V3 e1 = sub(v[1]->position, v[0]->position), e2 = sub(v[2]->position, v[0]->position);
        V3 face = cross(e1, e2);
        if (dot(face, face) < 1e-14) continue;
        checked++;
        V3 avg = {0, 0, 0};
        for (int k = 0; k < 3; k++)
            avg = {avg.x + v[k]->normal[0], avg.y + v[k]->normal[1], avg.z + v[k]->normal[2]};
        bad_winding += dot(face, avg) <= 0.0;

        // Surface directions of increasing s and t from the triangle's UVs.
        double ds1 = v[1]->texpos[0] - v[0]->texpos[0], dt1 = v[1]->texpos[1] - v[0]->texpos[1];
        double ds2 = v[2]->texpos[0] - v[0]->texpos[0], dt2 = v[2]->texpos[1] - v[0]->texpos[1];
        double det = ds1 * dt2 - ds2 * dt1;
        if (fabs(det) < 1e-12) continue;
        V3 ps = {(e1.x * dt2 - e2.x * dt1) / det, (e1.y * dt2 - e2.y * dt1) / det,
                 (e1.z * dt2 - e2.z * dt1) / det};
        V3 pt = {(e2.x * ds1 - e1.x * ds2) / det, (e2.y * ds1 - e1.y * ds2) / det,
                 (e2.z * ds1 - e1.z * ds2) / det};
        for (int k = 0; k < 3; k++)
            bad_frame += dotf(ps, v[k]->tangent) <= 0.0 || dotf(pt, v[k]->bitangent) <= 0.0;
    }
    EXPECT_GT(checked, 0u);
    EXPECT_LE(bad_winding, checked / 200) << "of " << checked << " triangles";
    EXPECT_LE(bad_frame, 3 * checked / 200) << "of " << 3 * checked << " corners";
    // Stray vertices are harmless to draw but mean a builder went wrong.
    EXPECT_LE(unused, d.vertices.size() / 20);
}

TEST_P(ModelMesh, CutOutTrianglesHaveABackFace) {
    const Decoded &d = model(GetParam());
    std::map<std::string, std::vector<V3>> faces;
    std::vector<std::pair<std::string, V3>> leaves;
    for (size_t i = 0; i < d.indices.size(); i += 3) {
        const TVertex *v[3] = {&d.vertices[d.indices[i]], &d.vertices[d.indices[i + 1]],
                               &d.vertices[d.indices[i + 2]]};
        V3 face = cross(sub(v[1]->position, v[0]->position), sub(v[2]->position, v[0]->position));
        std::string key = cornerKey(v);
        faces[key].push_back(face);
        if (showsCutOut(d, v)) leaves.push_back({key, face});
    }
    bool plant = GetParam() == FERN || GetParam() == PALM;
    EXPECT_EQ(!leaves.empty(), plant) << leaves.size() << " triangles show cut-out texels";
    size_t single = 0;
    for (const auto &leaf : leaves) {
        bool back = false;
        for (const V3 &other : faces[leaf.first]) back = back || dot(other, leaf.second) < 0.0;
        single += !back;
    }
    EXPECT_EQ(single, 0u) << "of " << leaves.size() << " cut-out triangles";
}

INSTANTIATE_TEST_SUITE_P(Models, ModelMesh, ::testing::Range(0, (int)MODELS_COUNT),
                         [](const ::testing::TestParamInfo<int> &p) {
                             return std::string(MODELS_NAMES[p.param]);
                         });

// ---- the textures of each model ----

class ModelTextures : public ::testing::TestWithParam<int> {};

TEST_P(ModelTextures, AlphaCutsOutOnlyTheLeaves) {
    const Decoded &d = model(GetParam());
    size_t cut = 0, opaque = 0, n = (size_t)SIDE * SIDE;
    for (size_t i = 0; i < n; i++) {
        unsigned char a = d.asset.alb[i * 4 + 3];
        cut += a < 128;
        opaque += a == 255;
    }
    if (GetParam() == FERN || GetParam() == PALM) {
        EXPECT_GT(cut, n / 10);
        EXPECT_GT(opaque, n / 10);
    } else {
        EXPECT_EQ(opaque, n);
    }
}

TEST_P(ModelTextures, ColoursMaterialsAndNormalsAreInRange) {
    const Decoded &d = model(GetParam());
    size_t n = (size_t)SIDE * SIDE, metallic = 0, bad_normals = 0;
    int lo = 255, hi = 0;
    for (size_t i = 0; i < n; i++) {
        const unsigned char *c = d.asset.alb + i * 4;
        if (c[3] >= 128)
            for (int k = 0; k < 3; k++) lo = std::min(lo, (int)c[k]), hi = std::max(hi, (int)c[k]);
        metallic += d.asset.rma[i * 3 + 1] > 128;
        double x = d.asset.nrm[i * 3] / 127.5 - 1, y = d.asset.nrm[i * 3 + 1] / 127.5 - 1,
               z = d.asset.nrm[i * 3 + 2] / 127.5 - 1;
        double len = sqrt(x * x + y * y + z * z);
        bad_normals += z <= 0.0 || fabs(len - 1.0) > 0.03;
    }
    EXPECT_GT(lo, 5);
    EXPECT_LT(hi, 250);
    EXPECT_EQ(bad_normals, 0u);
    if (GetParam() == BARREL) {
        EXPECT_GT(metallic, n / 20) << "the hoops are iron";
        EXPECT_LT(metallic, n / 2) << "the staves are wood";
    } else {
        EXPECT_EQ(metallic, 0u);
    }
}

// The normal map follows the painted detail: somewhere it tilts clearly
// along each texture axis, rather than being flat.
TEST_P(ModelTextures, NormalMapCarriesDetail) {
    const Decoded &d = model(GetParam());
    size_t n = (size_t)SIDE * SIDE, tilt_x = 0, tilt_y = 0;
    for (size_t i = 0; i < n; i++) {
        tilt_x += abs(d.asset.nrm[i * 3] - 128) > 20;
        tilt_y += abs(d.asset.nrm[i * 3 + 1] - 128) > 20;
    }
    EXPECT_GT(tilt_x, n / 100);
    EXPECT_GT(tilt_y, n / 400);
}

INSTANTIATE_TEST_SUITE_P(Models, ModelTextures, ::testing::Range(0, (int)MODELS_COUNT),
                         [](const ::testing::TestParamInfo<int> &p) {
                             return std::string(MODELS_NAMES[p.param]);
                         });

// ---- output and preview ----

TEST(ModelFiles, WritesEveryFileAndReportsFailure) {
    std::filesystem::path made = makeScratchDir("knoll_models_");
    ASSERT_FALSE(made.empty());
    std::string dir = made.string();
    ASSERT_EQ(assetgenModels(dir.c_str()), 0);
    const char *suffixes[] = {".omm", "_alb.png", "_rma.png", "_nrm.png"};
    for (int i = 0; i < MODELS_COUNT; i++) {
        const char *name = MODELS_NAMES[i];
        for (const char *suffix : suffixes) {
            std::string path = std::string(dir) + "/" + name + suffix;
            struct stat st;
            ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
            if (strcmp(suffix, ".omm") == 0) {
                EXPECT_EQ((size_t)st.st_size, model(i).asset.omm_len);
            }
            EXPECT_GT(st.st_size, 1000) << path;
            unlink(path.c_str());
        }
    }
    rmdir(dir.c_str());
    EXPECT_EQ(assetgenModels("/nonexistent/knoll/dir"), 1);
}

TEST(ModelPreview, DrawsTheModelInTheMiddleOnPlainBackground) {
    const int w = 96, h = 96;
    for (int i = 0; i < MODELS_COUNT; i++) {
        const Decoded &d = model(i);
        std::vector<unsigned char> plain(w * h * 3), textured(w * h * 3);
        modelsDrawPreview(d.asset.omm, d.asset.omm_len, plain.data(), w, h);
        modelsDrawPreviewTextured(d.asset.omm, d.asset.omm_len, d.asset.alb, d.asset.nrm,
                                  textured.data(), w, h);
        const unsigned char *corner = &plain[0];
        size_t covered = 0, cut = 0;
        for (int p = 0; p < w * h; p++) {
            bool bg = memcmp(&plain[p * 3], corner, 3) == 0;
            covered += !bg;
            cut += !bg && memcmp(&textured[p * 3], corner, 3) == 0;
        }
        EXPECT_GT(covered, (size_t)(w * h / 20)) << MODELS_NAMES[i];
        const unsigned char *far_corner = &plain[(w * h - 1) * 3];
        EXPECT_EQ(memcmp(far_corner, corner, 3), 0) << MODELS_NAMES[i] << ": clipped";
        // Texturing removes exactly the cut-out parts of the leaf cards.
        EXPECT_EQ(cut > covered / 20, i == FERN || i == PALM) << MODELS_NAMES[i];
    }
}
