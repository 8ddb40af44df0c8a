// Heightmap and splat map files: each format's heights in units, an .hgt's
// voids filled, and the files refused, in words a user can act on.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <stb_image_write.h>

#include <string>
#include <vector>

#include "terrain_file.h"

STBIWDEF unsigned char *stbi_zlib_compress(unsigned char *data, int len, int *out_len, int q);

namespace {

using Bytes = std::vector<uint8_t>;

void putBig(Bytes *b, uint32_t v, int bytes) {
    for (int k = bytes - 1; k >= 0; k--) b->push_back((uint8_t)(v >> (8 * k)));
}

void chunk(Bytes *png, const char *type, const Bytes &data) {
    putBig(png, (uint32_t)data.size(), 4);
    png->insert(png->end(), type, type + 4);
    png->insert(png->end(), data.begin(), data.end());
    uint32_t crc = 0xffffffffu;
    for (size_t i = png->size() - data.size() - 4; i < png->size(); i++)
        for (int k = 0, b = (*png)[i]; k < 8; k++, b >>= 1)
            crc = (crc ^ b) & 1 ? 0xedb88320u ^ (crc >> 1) : crc >> 1;
    putBig(png, ~crc, 4);
}

// A PNG of w x h with samples of depth bits (8 or 16), unfiltered; with no
// samples, only its signature and header chunk.
Bytes png(uint32_t w, uint32_t h, int depth, int colour, const std::vector<uint16_t> &samples) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}, ihdr, raw;
    putBig(&ihdr, w, 4);
    putBig(&ihdr, h, 4);
    ihdr.insert(ihdr.end(), {(uint8_t)depth, (uint8_t)colour, 0, 0, 0});
    chunk(&out, "IHDR", ihdr);
    if (samples.empty()) return out;
    for (size_t i = 0; i < samples.size(); i++) {
        if (i % w == 0) raw.push_back(0);
        putBig(&raw, samples[i], depth / 8);
    }
    int len = 0;
    uint8_t *zlib = stbi_zlib_compress(raw.data(), (int)raw.size(), &len, 8);
    chunk(&out, "IDAT", Bytes(zlib, zlib + len));
    free(zlib);
    chunk(&out, "IEND", {});
    return out;
}

// Probes and decodes bytes, side_max 16385; the reason for a refusal, or "".
std::string load(MapFormat format, const Bytes &bytes, HeightMap *map, double height = 32.0) {
    MapHeader header;
    char msg[256];
    if (mapProbe(format, bytes.size(), bytes.data(), bytes.size(), 16385, &header, msg, 256))
        return msg;
    uint8_t *data = (uint8_t *)memcpy(malloc(bytes.size()), bytes.data(), bytes.size());
    return mapDecode(&header, data, bytes.size(), height, map, msg, 256) ? msg : "";
}

double unitsAt(const HeightMap &m, int x, int z) {
    return (m.samples[(size_t)z * m.width + x] - m.zero) * m.scale;
}

// An .hgt of 1201 a side: metres from f, big-endian signed.
template <typename F>
Bytes hgt(F f) {
    Bytes b;
    for (int z = 0; z < HGT_SIDE_3; z++)
        for (int x = 0; x < HGT_SIDE_3; x++) putBig(&b, (uint16_t)(int16_t)f(x, z), 2);
    return b;
}

}  // namespace

TEST(TerrainFile, EachFormatGivesItsHeightsInUnits) {
    std::vector<uint16_t> values(70 * 68), bytes(67 * 67);
    for (size_t i = 0; i < values.size(); i++) values[i] = (uint16_t)(i * 977);
    values[69 + 70 * 67] = 3 * 2048;  // the last sample: 3 units at the default height
    HeightMap m = {};
    ASSERT_EQ(load(MAP_PNG, png(70, 68, 16, 0, values), &m), "");
    ASSERT_TRUE(m.width == 70 && m.height == 68);
    EXPECT_EQ(memcmp(m.samples, values.data(), values.size() * 2), 0);
    EXPECT_EQ(unitsAt(m, 69, 67), 3.0);
    mapFree(&m);

    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = (uint16_t)(i % 251);
    ASSERT_EQ(load(MAP_PNG, png(67, 67, 8, 0, bytes), &m, 64.0), "");
    EXPECT_EQ(m.samples[5], 5 << 8);
    EXPECT_EQ(unitsAt(m, 8, 0), 2.0) << "8 of 8 bits is 1 unit at height 32, 2 at 64";
    EXPECT_TRUE(m.lowest == 0 && m.highest == 250 << 8);
    mapFree(&m);

    Bytes raw;
    for (int i = 0; i < 67 * 67; i++) raw.insert(raw.end(), {(uint8_t)i, (uint8_t)(i >> 8)});
    ASSERT_EQ(load(MAP_RAW16, raw, &m), "");
    EXPECT_EQ(m.samples[4000], 4000);
    EXPECT_EQ(unitsAt(m, 4096 % 67, 4096 / 67), 2.0);
    mapFree(&m);

    ASSERT_EQ(load(MAP_HGT, hgt([](int x, int z) { return x - z; }), &m), "");
    EXPECT_TRUE(m.lowest == 32768 - 1200 && m.highest == 32768 + 1200);
    EXPECT_DOUBLE_EQ(unitsAt(m, 1000, 100), 900 * 0.5 / (3 * 1852.0 / 60));
    mapFree(&m);
}

TEST(TerrainFile, SrtmVoidsTakeTheNearestValidHeight) {
    auto isVoid = [](int x, int z) {
        return (x >= 600 && x < 620 && z >= 300 && z < 330) || (x < 5 && z < 3) || z == 1200;
    };
    auto metres = [](int x, int z) { return 100 + x + 2 * z; };
    Bytes file = hgt([&](int x, int z) { return isVoid(x, z) ? -32768 : metres(x, z); });
    HeightMap m = {};
    ASSERT_EQ(load(MAP_HGT, file, &m), "");
    for (int z = 0; z < 1201; z++) {
        for (int x = 0; x < 1201; x++) {
            if (!isVoid(x, z)) continue;
            int got = m.samples[z * 1201 + x] - 32768, best = 1 << 30;
            bool nearest = false;
            for (int dz = -16; dz <= 16; dz++)
                for (int dx = -16; dx <= 16; dx++) {
                    int sx = x + dx, sz = z + dz, d = abs(dx) + abs(dz);
                    if (sx < 0 || sz < 0 || sx > 1200 || sz > 1200 || isVoid(sx, sz) || d > best)
                        continue;
                    nearest = (d == best && nearest) || got == metres(sx, sz);
                    best = d;
                }
            ASSERT_TRUE(nearest) << "void (" << x << ", " << z << ") became " << got << " m";
        }
    }
    mapFree(&m);
}

TEST(TerrainFile, NamesAndSizesTellTheFormatAndSides) {
    MapFormat f = MAP_PNG;
    MapHeader header;
    char msg[256];
    const char *names[] = {"a.PNG", "dir.x/b.R16", "c.raw", "d.HgT", "e.tif", "f.png/g", "png"};
    const int want[] = {MAP_PNG, MAP_RAW16, MAP_RAW16, MAP_HGT, -1, -1, -1};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(mapFormatFromName(names[i], &f, msg, 256) ? -1 : (int)f, want[i]) << names[i];
    for (int32_t n : {67, 1000, 16385}) {
        ASSERT_EQ(mapProbe(MAP_RAW16, 2ull * n * n, nullptr, 0, 16385, &header, msg, 256), 0);
        EXPECT_TRUE(header.width == n && header.height == n) << n;
    }
}

TEST(TerrainFile, RefusesWhatItCannotUseAndSaysWhy) {
    Bytes good = png(80, 80, 16, 0, std::vector<uint16_t>(80 * 80, 1000)), bad_zlib = good;
    bad_zlib[41] ^= 0xff;  // the first byte of the image data
    const struct {
        MapFormat format;
        Bytes bytes;
        const char *says;
    } cases[] = {
        {MAP_PNG, {}, "is empty"},
        {MAP_RAW16, {}, "is empty"},
        {MAP_PNG, Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, "is not a PNG file"},
        {MAP_PNG, Bytes(good.begin(), good.begin() + 20), "is cut short"},
        {MAP_PNG, Bytes(good.begin(), good.begin() + 50), "a chunk runs past the end of the file"},
        {MAP_PNG, Bytes(good.begin(), good.end() - 12), "cut-short PNG: it has no end chunk"},
        {MAP_PNG, bad_zlib, "is a damaged or cut-short PNG (bad zlib header)"},
        {MAP_PNG, png(80, 80, 8, 2, {}), "is a colour PNG; export the heightmap as greyscale"},
        {MAP_PNG, png(80, 66, 16, 0, {}), "is 80 x 66 samples; a map needs at least 67 a side"},
        {MAP_PNG, png(100000, 100000, 16, 0, {}), "the largest Knoll takes here is 16385 a side"},
        {MAP_RAW16, Bytes(12345), "is 12345 bytes, which is not 2 x n x n"},
        {MAP_RAW16, Bytes(2 * 66 * 66), "is 66 x 66 samples; a map needs at least 67"},
        {MAP_HGT, Bytes(2 * 1201 * 1201 - 2), "an SRTM .hgt is 2884802 bytes (1201 a side) or"},
        {MAP_HGT, hgt([](int, int) { return -32768; }),
         "has no valid samples: every one is a void"},
    };
    for (const auto &c : cases) {
        HeightMap m = {};
        EXPECT_NE(load(c.format, c.bytes, &m).find(c.says), std::string::npos) << c.says;
        EXPECT_EQ(m.samples, nullptr);
    }
}

TEST(TerrainFile, SplatMapsAreMaterialIndicesOfTheCellsSize) {
    std::vector<uint16_t> cells(64 * 64);
    for (size_t i = 0; i < cells.size(); i++) cells[i] = (uint16_t)(i % 8);
    Bytes good = png(64, 64, 8, 0, cells);
    cells[12 + 64 * 40] = 9;
    const std::pair<Bytes, const char *> cases[] = {
        {good, ""},
        {png(64, 64, 8, 0, cells), "cell (12, 40) is 9; materials are 0 to 7"},
        {png(100, 100, 8, 0, {}), "is 100 x 100 cells; this map needs a splat map of 64 x 64"},
        {png(64, 64, 16, 0, {}), "is a 16-bit PNG; a splat map is 8-bit greyscale"},
        {png(64, 64, 8, 6, {}), "is a colour PNG"},
    };
    for (const auto &c : cases) {
        char msg[256] = "unset";
        uint8_t *splat = splatDecode(c.first.data(), c.first.size(), 64, 64, msg, 256);
        EXPECT_EQ(splat == nullptr, c.second[0] != '\0') << msg;
        EXPECT_EQ(strncmp(msg, c.second, strlen(c.second)), 0) << msg;
        EXPECT_TRUE(!splat || (splat[1] == 1 && splat[64 * 64 - 1] == 7));
        free(splat);
    }
}
