// The CPU side of a terrain rebuild: one 67 x 67 heightmap to its mesh.
#include <benchmark/benchmark.h>
#include <math.h>

#include <vector>

#include "graph_models.h"

static void BM_TerrainBuildMesh(benchmark::State &state) {
    // Smooth rolling hills, the kind of map the generator produces.
    std::vector<uint8_t> heights(TMODEL_HEIGHT_SIDE * TMODEL_HEIGHT_SIDE);
    for (int j = 0; j < TMODEL_HEIGHT_SIDE; j++)
        for (int i = 0; i < TMODEL_HEIGHT_SIDE; i++)
            heights[i + TMODEL_HEIGHT_SIDE * j] =
                (uint8_t)(128.0 + 60.0 * sin(i * 0.11) * cos(j * 0.07) +
                          30.0 * sin((i + j) * 0.23));
    std::vector<TVertex> vertices(TMODEL_VERTICES);
    std::vector<uint32_t> indices(TMODEL_INDICES);
    for (auto _ : state) {
        tmodelBuildMesh(heights.data(), 0, vertices.data(), indices.data());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(indices.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TerrainBuildMesh)->Unit(benchmark::kMicrosecond);
