// Terrain models with their shared buffer pool, the mesh-model records and
// the .omm mesh-model format.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ------------------------------------------------------------ constants ----

enum {
    TMODEL_HEIGHT_SIDE = 67,              // heightmap samples per side
    TMODEL_SPLAT_SIDE = 64,               // splat texels per side
    TMODEL_VERTICES = 67 * 67 + 66 * 66,  // 8845
    TMODEL_INDICES = 64 * 64 * 4 * 3,     // 49152
    OMM_HEADER_BYTES = 8,
    OMM_VERTEX_BYTES = 56,
};

// ---------------------------------------------------------------- types ----

// One surface vertex: the layout of the terrain and of every .omm record.
struct TVertex {
    float position[3];
    float normal[3];
    float tangent[3];
    float bitangent[3];
    float texpos[2];
};
static_assert(sizeof(TVertex) == 56, "TVertex must be 14 packed floats");

struct TModel {
    TModel *next;        // link in the pool of freed models; null while in use
    int32_t ebo_offset;  // first index slot in ebo_terrain
    int32_t vbo_offset;  // first vertex slot in vbo_terrain
    uint32_t splat_tex;  // 64 x 64 R8 material index texture
};

struct MModel {
    uint32_t ebo_offset;  // first index slot in ebo_misc
    uint32_t ebo_count;   // number of indices
    uint32_t alb_tex;
    uint32_t rma_tex;
    uint32_t nrm_tex;
};

// The packed vertices and indices of several .omm files, ready for upload.
struct MModelPack {
    TVertex *vertices;
    uint32_t *indices;
    uint32_t vertex_count;
    uint32_t index_count;
};

// ---------------------------------------------------------------- state ----

extern MModel *const MODEL_BARREL;
extern MModel *const MODEL_FERN;
extern MModel *const MODEL_PALM;
extern MModel *const MODEL_CACTUS;

// ------------------------------------------------------------ functions ----

// Mesh build of one terrain model, without GL: writes TMODEL_VERTICES
// vertices and TMODEL_INDICES indices (rebased by vbo_offset) from a 67 x 67
// heightmap of bytes, each 1/8 unit.
void tmodelBuildMesh(const uint8_t *heights, int32_t vbo_offset, TVertex *vertices,
                     uint32_t *indices);
// The same from 67 x 67 16-bit samples, a value v at (v - zero) * scale
// units. Only the first quads_x x quads_z quads (1 to 64 each) are drawn: the
// rest get triangles of no area, so a tile at a map's edge keeps the model's
// shape. The built-in heightmap widened to v = b << 8 with scale 1/2048 gives
// the byte mesh bit for bit.
void tmodelBuildTile(const uint16_t *samples, int32_t zero, double scale, int quads_x,
                     int quads_z, int32_t vbo_offset, TVertex *vertices, uint32_t *indices);

// Terrain models. Need graphicsInit; leave vao_terrain bound.
TModel *graphicsTModelNew(const uint8_t *heights, const uint8_t *splat);
void graphicsTModelFree(TModel *model);
void graphicsTModelUpdate(TModel *model, const uint8_t *heights, const uint8_t *splat);
// Writes a mesh built for the model's vbo_offset into its slots, and splat
// (64 x 64 material indices) into its texture, where not NULL.
void graphicsTModelUpload(TModel *model, const TVertex *vertices, const uint32_t *indices,
                          const uint8_t *splat);
// Grows the shared buffers once to hold models models, where they hold
// fewer: a caller that knows how many it will keep spares the doublings.
void graphicsTModelReserve(int models);
// Forgets the shared buffers, lost with their context, and frees the records
// of freed models: the next model starts a new pool.
void graphicsTModelsForget(void);

// Appends one .omm file to pack: fills model's ebo_offset and ebo_count and
// rebases the copied indices. The file is trusted (see mmodelValidate).
void mmodelPackAppend(MModelPack *pack, MModel *model, const uint8_t *omm);
void mmodelPackFree(MModelPack *pack);

// Checks an .omm file: length 8 + 56 V + 4 I, I a multiple of 3, indices
// below V, finite values, unit normal/tangent/bitangent, y spanning exactly 0
// to 1 and texture positions within 0 to 1. Returns 0 when sound, else 1 with
// a one-line reason in msg.
int mmodelValidate(const uint8_t *data, size_t len, char *msg, size_t msg_size);
