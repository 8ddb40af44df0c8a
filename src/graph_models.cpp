#include "graph_models.h"

#include <epoxy/gl.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "gl_dialect.h"
#include "graph_init.h"
#include "graph_state.h"
#include "knoll_math.h"

// ------------------------------------------------------------ constants ----

enum {
    SIDE = TMODEL_HEIGHT_SIDE,  // 67 grid vertices per column
    COLUMN = SIDE + SIDE - 1,   // 133 vertex slots per column: 67 grid, 66 centre
    QUADS = SIDE - 3,           // 64 drawn quads per side
};

static const float UNIT_TOLERANCE = 1e-3f;

// ---------------------------------------------------------------- state ----

static MModel misc_models[4];
MModel *const MODEL_BARREL = &misc_models[0];
MModel *const MODEL_FERN = &misc_models[1];
MModel *const MODEL_PALM = &misc_models[2];
MModel *const MODEL_CACTUS = &misc_models[3];

static int32_t ebo_terrain_capacity, ebo_terrain_used;
static int32_t vbo_terrain_capacity, vbo_terrain_used;
static TModel *unused_tmodels;

// ----------------------------------------------------------- allocation ----

static void *allocate(size_t bytes) {
    void *p = malloc(bytes);
    if (!p && bytes) {
        fputs("Out of memory\n", stderr);
        abort();
    }
    return p;
}

static void *reallocate(void *old, size_t bytes) {
    void *p = realloc(old, bytes);
    if (!p && bytes) {
        fputs("Out of memory\n", stderr);
        abort();
    }
    return p;
}

// ----------------------------------------------------------- terrain mesh ----

static int gridSlot(int i, int j) { return COLUMN * i + j; }
static int centreSlot(int i, int j) { return COLUMN * i + SIDE + j; }

static void setVertex(TVertex *v, double x, double y, double z, double u, double w) {
    memset(v, 0, sizeof(*v));
    v->position[0] = (float)x;
    v->position[1] = (float)y;
    v->position[2] = (float)z;
    v->texpos[0] = (float)u;
    v->texpos[1] = (float)w;
}

// Adds the unit normal, tangent and bitangent of one triangle to its three
// vertices.
static void triangleCalcTModel(TVertex *vertices, int32_t i0, int32_t i1, int32_t i2) {
    TVertex *v[3] = {&vertices[i0], &vertices[i1], &vertices[i2]};
    Vec3 p0 = a3v3(v[0]->position), p1 = a3v3(v[1]->position), p2 = a3v3(v[2]->position);
    Vec2 t0 = a2v2(v[0]->texpos), t1 = a2v2(v[1]->texpos), t2 = a2v2(v[2]->texpos);

    Vec3 e1 = vec3Subtract(p1, p0), e2 = vec3Subtract(p2, p0);
    Vec3 n = vec3Normalize(vec3CrossProduct(e1, e2));
    Vec2 d1 = vec2Subtract(t1, t0), d2 = vec2Subtract(t2, t0);
    float f = 1.0f / (d1.x * d2.y - d2.x * d1.y);
    Vec3 t = vec3Normalize({(e1.x * d2.y - e2.x * d1.y) * f, (e1.y * d2.y - e2.y * d1.y) * f,
                            (e1.z * d2.y - e2.z * d1.y) * f});
    Vec3 b = vec3Normalize({(e2.x * d1.x - e1.x * d2.x) * f, (e2.y * d1.x - e1.y * d2.x) * f,
                            (e2.z * d1.x - e1.z * d2.x) * f});

    for (int k = 0; k < 3; k++) v3a3(v[k]->normal, vec3Add(a3v3(v[k]->normal), n));
    for (int k = 0; k < 3; k++) v3a3(v[k]->tangent, vec3Add(a3v3(v[k]->tangent), t));
    for (int k = 0; k < 3; k++) v3a3(v[k]->bitangent, vec3Add(a3v3(v[k]->bitangent), b));
}

// Heights in double, each exact in single precision for the built-in map.
static void writeVertices(const uint16_t *h, int32_t zero, double scale, TVertex *vertices) {
    TVertex *v = vertices;
    for (int i = 0; i < SIDE; i++) {
        for (int j = 0; j < SIDE; j++)
            setVertex(v++, (i - 1) * 0.5, (h[i + SIDE * j] - zero) * scale, (j - 1) * 0.5,
                      (i - 1) / 64.0, (j - 1) / 64.0);
        if (i == SIDE - 1) break;
        for (int j = 0; j < SIDE - 1; j++) {
            int64_t sum = (int64_t)h[i + SIDE * j] + h[i + SIDE * (j + 1)] + h[i + 1 + SIDE * j] +
                          h[i + 1 + SIDE * (j + 1)];
            setVertex(v++, (i - 1) * 0.5 + 0.25, (double)(sum - 4 * (int64_t)zero) * scale / 4.0,
                      (j - 1) * 0.5 + 0.25, (i - 1) / 64.0 + 0.0078125, (j - 1) / 64.0 + 0.0078125);
        }
    }
}

static void accumulateFrames(TVertex *vertices) {
    for (int i = 0; i < SIDE - 1; i++) {
        for (int j = 0; j < SIDE - 1; j++) {
            int a = gridSlot(i, j), b = gridSlot(i, j + 1), c = gridSlot(i + 1, j + 1),
                d = gridSlot(i + 1, j), e = centreSlot(i, j);
            triangleCalcTModel(vertices, a, b, e);
            triangleCalcTModel(vertices, b, c, e);
            triangleCalcTModel(vertices, c, d, e);
            triangleCalcTModel(vertices, d, a, e);
        }
    }
}

static void normalizeField(float *field) { v3a3(field, vec3Normalize(a3v3(field))); }

// The normalised sum of one field over a quad's four corners.
static void averageField(TVertex *vertices, int i, int j, size_t field) {
    const float *a = (const float *)((const char *)&vertices[gridSlot(i, j)] + field);
    const float *b = (const float *)((const char *)&vertices[gridSlot(i, j + 1)] + field);
    const float *c = (const float *)((const char *)&vertices[gridSlot(i + 1, j + 1)] + field);
    const float *d = (const float *)((const char *)&vertices[gridSlot(i + 1, j)] + field);
    float *e = (float *)((char *)&vertices[centreSlot(i, j)] + field);
    v3a3(e, vec3Normalize(vec3Add(vec3Add(a3v3(c), a3v3(d)), vec3Add(a3v3(a), a3v3(b)))));
}

static void finishFrames(TVertex *vertices) {
    for (int i = 1; i < SIDE - 1; i++) {
        for (int j = 1; j < SIDE - 1; j++) {
            TVertex *g = &vertices[gridSlot(i, j)];
            normalizeField(g->normal);
            normalizeField(g->tangent);
            normalizeField(g->bitangent);
        }
    }
    for (int i = 1; i <= QUADS; i++) {
        for (int j = 1; j <= QUADS; j++) {
            averageField(vertices, i, j, offsetof(TVertex, normal));
            averageField(vertices, i, j, offsetof(TVertex, tangent));
            averageField(vertices, i, j, offsetof(TVertex, bitangent));
        }
    }
}

// Quads past quads_x or quads_z fold onto their centre vertex: no area, no
// fragment, the same index count.
static void writeIndices(int quads_x, int quads_z, int32_t vbo_offset, uint32_t *indices) {
    uint32_t *out = indices;
    for (int i = 1; i <= QUADS; i++) {
        for (int j = 1; j <= QUADS; j++) {
            const int a = gridSlot(i, j), b = gridSlot(i, j + 1), c = gridSlot(i + 1, j + 1),
                      d = gridSlot(i + 1, j), e = centreSlot(i, j);
            const int fan[12] = {a, b, e, b, c, e, c, d, e, d, a, e};
            int drawn = i <= quads_x && j <= quads_z;
            for (int k = 0; k < 12; k++) *out++ = (uint32_t)((drawn ? fan[k] : e) + vbo_offset);
        }
    }
}

void tmodelBuildTile(const uint16_t *samples, int32_t zero, double scale, int quads_x, int quads_z,
                     int32_t vbo_offset, TVertex *vertices, uint32_t *indices) {
    writeVertices(samples, zero, scale, vertices);
    accumulateFrames(vertices);
    finishFrames(vertices);
    writeIndices(quads_x, quads_z, vbo_offset, indices);
}

void tmodelBuildMesh(const uint8_t *heights, int32_t vbo_offset, TVertex *vertices,
                     uint32_t *indices) {
    uint16_t wide[SIDE * SIDE];
    for (int k = 0; k < SIDE * SIDE; k++) wide[k] = (uint16_t)(heights[k] << 8);
    tmodelBuildTile(wide, 0, 1.0 / 2048.0, QUADS, QUADS, vbo_offset, vertices, indices);
}

// --------------------------------------------------------- terrain pool ----

// Gives buffer, of the kind that target binds, a size of bytes, keeping its
// first used bytes: copied aside and back within GL, since OpenGL ES has no
// glGetBufferSubData to read them. The copy is bound to target first, which
// makes it the same kind of buffer for WebGL, which copies only between
// buffers of one kind. Leaves buffer bound to target.
static void growBuffer(GLenum target, GLuint buffer, GLsizeiptr used, GLsizeiptr bytes) {
    GLuint kept = 0;
    if (used != 0) {
        glGenBuffers(1, &kept);
        glBindBuffer(target, kept);
        glBufferData(target, used, NULL, GL_STREAM_COPY);
        glBindBuffer(GL_COPY_READ_BUFFER, buffer);
        glCopyBufferSubData(GL_COPY_READ_BUFFER, target, 0, 0, used);
    }
    glBindBuffer(target, buffer);
    glBufferData(target, bytes, NULL, GL_STATIC_DRAW);
    if (used == 0) return;
    glBindBuffer(GL_COPY_READ_BUFFER, kept);
    glCopyBufferSubData(GL_COPY_READ_BUFFER, target, 0, 0, used);
    glDeleteBuffers(1, &kept);
}

// Gives both shared buffers room for models models, keeping what they hold.
// Leaves vao_terrain and vbo_terrain bound.
static void growTModelBuffersTo(int32_t models) {
    ebo_terrain_capacity = models * TMODEL_INDICES;
    vbo_terrain_capacity = models * TMODEL_VERTICES;
    useVao(vao_terrain);
    growBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo_terrain, (GLsizeiptr)ebo_terrain_used * 4,
               (GLsizeiptr)ebo_terrain_capacity * 4);
    growBuffer(GL_ARRAY_BUFFER, vbo_terrain, (GLsizeiptr)vbo_terrain_used * sizeof(TVertex),
               (GLsizeiptr)vbo_terrain_capacity * sizeof(TVertex));
}

// Doubles both shared buffers (at least one model).
static void growTModelBuffers(void) {
    int32_t models = ebo_terrain_capacity / TMODEL_INDICES;
    growTModelBuffersTo(models * 2 > 1 ? models * 2 : 1);
}

void graphicsTModelReserve(int models) {
    if (ebo_terrain_capacity < models * TMODEL_INDICES) growTModelBuffersTo(models);
}

TModel *graphicsTModelNew(const uint8_t *heights, const uint8_t *splat) {
    TModel *model = unused_tmodels;
    if (model) {
        unused_tmodels = model->next;
    } else {
        model = (TModel *)allocate(sizeof(TModel));
        if (ebo_terrain_used + TMODEL_INDICES > ebo_terrain_capacity) growTModelBuffers();
        model->ebo_offset = ebo_terrain_used;
        model->vbo_offset = vbo_terrain_used;
        ebo_terrain_used += TMODEL_INDICES;
        vbo_terrain_used += TMODEL_VERTICES;
        glGenTextures(1, &model->splat_tex);
        useTexture(TER_UNIT_SPLAT, GL_TEXTURE_2D, model->splat_tex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    model->next = NULL;
    graphicsTModelUpdate(model, heights, splat);
    return model;
}

void graphicsTModelsForget(void) {
    while (unused_tmodels) {
        TModel *next = unused_tmodels->next;
        free(unused_tmodels);
        unused_tmodels = next;
    }
    ebo_terrain_capacity = ebo_terrain_used = 0;
    vbo_terrain_capacity = vbo_terrain_used = 0;
}

void graphicsTModelFree(TModel *model) {
    model->next = unused_tmodels;
    unused_tmodels = model;
}

void graphicsTModelUpload(TModel *model, const TVertex *vertices, const uint32_t *indices,
                          const uint8_t *splat) {
    if (vertices) {
        useVao(vao_terrain);
        glBindBuffer(GL_ARRAY_BUFFER, vbo_terrain);
        glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, (GLintptr)model->ebo_offset * 4,
                        (GLsizeiptr)TMODEL_INDICES * 4, indices);
        glBufferSubData(GL_ARRAY_BUFFER, (GLintptr)model->vbo_offset * sizeof(TVertex),
                        (GLsizeiptr)TMODEL_VERTICES * sizeof(TVertex), vertices);
    }
    if (splat) {
        // A rebuilt model's texture may already sit on its unit while another
        // unit is active; the upload must reach this texture all the same.
        useTextureForEdit(TER_UNIT_SPLAT, GL_TEXTURE_2D, model->splat_tex);
        TextureFormat format = textureFormat(TEXTURE_INDEX);
        glTexImage2D(GL_TEXTURE_2D, 0, format.internal, TMODEL_SPLAT_SIDE, TMODEL_SPLAT_SIDE, 0,
                     format.format, GL_UNSIGNED_BYTE, splat);
    }
}

void graphicsTModelUpdate(TModel *model, const uint8_t *heights, const uint8_t *splat) {
    uint32_t *indices = NULL;
    TVertex *vertices = NULL;
    if (heights) {
        indices = (uint32_t *)allocate((size_t)TMODEL_INDICES * 4);
        vertices = (TVertex *)allocate((size_t)TMODEL_VERTICES * sizeof(TVertex));
        tmodelBuildMesh(heights, model->vbo_offset, vertices, indices);
    }
    graphicsTModelUpload(model, vertices, indices, splat);
    free(indices);
    free(vertices);
}

// ----------------------------------------------------------- mesh models ----

static uint32_t readU32(const uint8_t *p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

void mmodelPackAppend(MModelPack *pack, MModel *model, const uint8_t *omm) {
    uint32_t v = readU32(omm), n = readU32(omm + 4);
    model->ebo_offset = pack->index_count;
    model->ebo_count = n;
    pack->vertices =
        (TVertex *)reallocate(pack->vertices, (size_t)(pack->vertex_count + v) * sizeof(TVertex));
    pack->indices = (uint32_t *)reallocate(pack->indices, (size_t)(pack->index_count + n) * 4);
    memcpy(pack->vertices + pack->vertex_count, omm + OMM_HEADER_BYTES,
           (size_t)v * sizeof(TVertex));
    uint32_t *indices = pack->indices + pack->index_count;
    memcpy(indices, omm + OMM_HEADER_BYTES + (size_t)v * OMM_VERTEX_BYTES, (size_t)n * 4);
    for (uint32_t k = 0; k < n; k++) indices[k] += pack->vertex_count;
    pack->vertex_count += v;
    pack->index_count += n;
}

void mmodelPackFree(MModelPack *pack) {
    free(pack->vertices);
    free(pack->indices);
    *pack = {};
}

static int isUnit(const float *v) { return fabsf(vec3Length(a3v3(v)) - 1.0f) < UNIT_TOLERANCE; }

// Checks one vertex record; returns the name of what is wrong, or NULL.
static const char *checkVertex(const TVertex *v) {
    const float *f = v->position;
    for (int k = 0; k < 14; k++)
        if (!isfinite(f[k])) return "a non-finite value";
    if (!isUnit(v->normal)) return "a normal that is not unit length";
    if (!isUnit(v->tangent)) return "a tangent that is not unit length";
    if (!isUnit(v->bitangent)) return "a bitangent that is not unit length";
    for (int k = 0; k < 2; k++)
        if (v->texpos[k] < 0.0f || v->texpos[k] > 1.0f) return "a texture position outside 0 to 1";
    return NULL;
}

int mmodelValidate(const uint8_t *data, size_t len, char *msg, size_t msg_size) {
    if (len < OMM_HEADER_BYTES) {
        snprintf(msg, msg_size, "file of %zu bytes is shorter than the 8-byte header", len);
        return 1;
    }
    uint64_t v = readU32(data), n = readU32(data + 4);
    uint64_t expected = OMM_HEADER_BYTES + OMM_VERTEX_BYTES * v + 4 * n;
    if (len != expected) {
        snprintf(msg, msg_size, "length %zu, expected %llu for %llu vertices and %llu indices", len,
                 (unsigned long long)expected, (unsigned long long)v, (unsigned long long)n);
        return 1;
    }
    if (n % 3 != 0) {
        snprintf(msg, msg_size, "index count %llu is not a multiple of 3", (unsigned long long)n);
        return 1;
    }
    float ymin = INFINITY, ymax = -INFINITY;
    for (uint64_t i = 0; i < v; i++) {
        TVertex vertex;
        memcpy(&vertex, data + OMM_HEADER_BYTES + OMM_VERTEX_BYTES * i, sizeof(vertex));
        const char *fault = checkVertex(&vertex);
        if (fault) {
            snprintf(msg, msg_size, "vertex %llu has %s", (unsigned long long)i, fault);
            return 1;
        }
        ymin = fminf(ymin, vertex.position[1]);
        ymax = fmaxf(ymax, vertex.position[1]);
    }
    if (v > 0 && (ymin != 0.0f || ymax != 1.0f)) {
        snprintf(msg, msg_size, "height spans %g to %g instead of 0 to 1", ymin, ymax);
        return 1;
    }
    const uint8_t *indices = data + OMM_HEADER_BYTES + OMM_VERTEX_BYTES * v;
    for (uint64_t i = 0; i < n; i++) {
        uint32_t index = readU32(indices + 4 * i);
        if (index >= v) {
            snprintf(msg, msg_size, "index %llu is %u, not below the vertex count %llu",
                     (unsigned long long)i, index, (unsigned long long)v);
            return 1;
        }
    }
    if (msg_size) msg[0] = '\0';
    return 0;
}
