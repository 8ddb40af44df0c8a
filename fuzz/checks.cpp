#include "checks.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "config.h"
#include "graph_models.h"
#include "terrain_file.h"

namespace {

// ------------------------------------------------------------- config ----

using Settings = std::array<int32_t, 7>;

Settings current() {
    return {vsync, fps_limit, msaa_level, aniso_level, shadow_smooth, win_width, win_height};
}

const char *const NAMES[7] = {"vsync",         "fps_limit", "msaa_level", "aniso_level",
                              "shadow_smooth", "win_width", "win_height"};
const int32_t LOW[7] = {0, 0, 0, 0, 0, 640, 480};
const int32_t HIGH[7] = {4, 256, 16, 16, 1, 1920, 1080};

std::string scratch_dir;

void removeScratch() {
    if (scratch_dir.empty()) return;
    for (const char *name : {"config.txt", "config.txt.tmp", "help.txt", "help.txt.tmp"})
        unlink((scratch_dir + "/" + name).c_str());
    rmdir(scratch_dir.c_str());
}

// A directory of this process's own, made the working directory once. The
// config functions fsync what they write, so a memory-backed file system is
// preferred for speed.
bool enterScratch() {
    if (!scratch_dir.empty()) return true;
    const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string name = std::string(base) + "/knoll_fuzz_XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()) || chdir(buffer.data()) != 0) return false;
    scratch_dir = buffer.data();
    atexit(removeScratch);
    return true;
}

bool writeBytes(const char *path, const uint8_t *data, size_t size) {
    FILE *file = fopen(path, "wb");
    if (!file) return false;
    bool ok = fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && ok;
}

bool readBytes(const char *path, std::string *out) {
    FILE *file = fopen(path, "rb");
    if (!file) return false;
    out->clear();
    char chunk[512];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) out->append(chunk, got);
    fclose(file);
    return true;
}

std::string describe(const Settings &s) {
    std::string text;
    for (int i = 0; i < 7; i++) text += std::string(NAMES[i]) + "=" + std::to_string(s[i]) + " ";
    return text;
}

// ------------------------------------------------------------ .omm ----

uint32_t readU32(const uint8_t *p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

// A pack already holding one model, so that appending has to rebase.
const uint32_t PRIOR_VERTICES = 3, PRIOR_INDICES = 3;

void fillPrior(MModelPack *pack) {
    pack->vertices = (TVertex *)malloc(PRIOR_VERTICES * sizeof(TVertex));
    pack->indices = (uint32_t *)malloc(PRIOR_INDICES * 4);
    memset(pack->vertices, 0x5a, PRIOR_VERTICES * sizeof(TVertex));
    for (uint32_t k = 0; k < PRIOR_INDICES; k++) pack->indices[k] = k;
    pack->vertex_count = PRIOR_VERTICES;
    pack->index_count = PRIOR_INDICES;
}

// ------------------------------------------------------- terrain files ----

const int32_t FUZZ_SIDE_MAX = 1024;

// mapDecode of a copy of bytes under header, and what it hands back.
std::string checkDecode(const MapHeader &header, const uint8_t *bytes, size_t size) {
    uint8_t *data = (uint8_t *)memcpy(malloc(size), bytes, size);
    HeightMap map;
    memset(&map, 0x5a, sizeof(map));
    char msg[256] = "";
    if (mapDecode(&header, data, size, MAP_DEFAULT_HEIGHT, &map, msg, sizeof(msg)) != 0)
        return map.samples ? "refused, yet handed samples back" : msg[0] ? "" : "no reason given";
    bool hgt = header.format == MAP_HGT;
    if (map.width != header.width || map.height != header.height) return "size wrong";
    std::string fault;
    for (size_t i = 0; fault.empty() && i < (size_t)map.width * (size_t)map.height; i++) {
        uint16_t v = map.samples[i];
        if (header.format == MAP_PNG) {
            if (header.bits == 8 && (v & 0xff)) fault = "an 8-bit sample not widened as b << 8";
            continue;
        }
        uint16_t big = (uint16_t)(bytes[2 * i] << 8 | bytes[2 * i + 1]);
        if (hgt && v != (big ^ 0x8000) && (v == 0 || big != 0x8000))
            fault = "an .hgt sample misread or a void left";
        else if (header.format == MAP_RAW16 && v != (uint16_t)(big >> 8 | big << 8))
            fault = "a RAW sample misread";
    }
    mapFree(&map);
    return fault;
}

// One format's probe of data and, when it accepts, its decoding.
std::string checkFormat(MapFormat format, const uint8_t *data, size_t size) {
    // Just the head, so reading past head_len is an overflow.
    size_t head_len = size < (size_t)MAP_HEAD_BYTES ? size : (size_t)MAP_HEAD_BYTES;
    std::vector<uint8_t> head(data, data + head_len);
    MapHeader header;
    char msg[256];
    memset(msg, 'x', sizeof(msg));
    int verdict = mapProbe(format, size, head.data(), head_len, FUZZ_SIDE_MAX, &header, msg, 256);
    if (!memchr(msg, '\0', sizeof(msg))) return "message not terminated";
    if ((verdict != 0 && verdict != 1) || (verdict == 1) != (msg[0] != '\0'))
        return "verdict and message disagree";
    if (verdict != 0) return "";
    if (header.format != format || header.width < MAP_SIDE_MIN || header.height < MAP_SIDE_MIN ||
        header.width > FUZZ_SIDE_MAX || header.height > FUZZ_SIDE_MAX ||
        (header.bits != 8 && header.bits != 16))
        return "accepted a header out of range";
    std::string fault = checkDecode(header, data, size);
    if (!fault.empty() || format != MAP_RAW16) return fault;
    fault = checkDecode({MAP_HGT, header.width, header.height, 16}, data, size);
    return fault.empty() ? "" : "as an .hgt: " + fault;
}

}  // namespace

std::string checkConfigRoundTrip(const uint8_t *data, size_t size) {
    if (!enterScratch()) return "cannot make a scratch directory";
    if (!writeBytes("config.txt", data, size)) return "cannot write config.txt";

    configRead();
    Settings first = current();
    for (int i = 0; i < 7; i++)
        if (first[i] < LOW[i] || first[i] > HIGH[i])
            return std::string(NAMES[i]) + " out of range after reading: " + describe(first);

    configWrite();
    std::string text1, text2;
    if (!readBytes("config.txt", &text1)) return "config.txt missing after the first write";
    char formatted[256];
    int length = configFormat(formatted, sizeof(formatted));
    if (length < 0 || length >= (int)sizeof(formatted) || text1 != std::string(formatted, length))
        return "first write differs from configFormat: \"" + text1 + "\"";

    configRead();
    Settings second = current();
    if (second != first)
        return "settings changed on reading the normalised file: " + describe(first) + "then " +
               describe(second);

    configWrite();
    if (!readBytes("config.txt", &text2)) return "config.txt missing after the second write";
    if (text2 != text1)
        return "normalised file is not a fixed point: \"" + text1 + "\" became \"" + text2 + "\"";
    if (access("config.txt.tmp", F_OK) == 0) return "config.txt.tmp left behind";
    return "";
}

std::string checkOmm(const uint8_t *data, size_t size) {
    // Copy into a buffer of exactly size bytes so that any read past the end
    // is a heap overflow the address sanitizer sees.
    std::vector<uint8_t> owned(data, data + size);
    const uint8_t *bytes = owned.data();

    char big[512], tiny[4];
    memset(big, 'x', sizeof(big));
    memset(tiny, 'x', sizeof(tiny));
    int verdict = mmodelValidate(bytes, size, big, sizeof(big));
    if (verdict != 0 && verdict != 1) return "mmodelValidate returned " + std::to_string(verdict);
    if (!memchr(big, '\0', sizeof(big))) return "message not terminated";
    if (verdict == 1 && big[0] == '\0') return "rejected without a reason";
    if (verdict == 0 && big[0] != '\0') return "accepted with a message: " + std::string(big);
    if (mmodelValidate(bytes, size, tiny, sizeof(tiny)) != verdict)
        return "verdict depends on the message buffer size";
    if (!memchr(tiny, '\0', sizeof(tiny))) return "short message buffer not terminated";
    if (mmodelValidate(bytes, size, nullptr, 0) != verdict)
        return "verdict differs without a message buffer";
    if (verdict != 0) return "";

    // Accepted: the header must describe the length exactly.
    uint64_t v = readU32(bytes), n = readU32(bytes + 4);
    if (size != OMM_HEADER_BYTES + OMM_VERTEX_BYTES * v + 4 * n)
        return "accepted a file whose length disagrees with its header";

    MModelPack pack = {};
    fillPrior(&pack);
    MModel model = {};
    mmodelPackAppend(&pack, &model, bytes);
    std::string fault;
    if (pack.vertex_count != PRIOR_VERTICES + v || pack.index_count != PRIOR_INDICES + n)
        fault = "pack counts wrong after appending";
    else if (model.ebo_offset != PRIOR_INDICES || model.ebo_count != n)
        fault = "model's index range wrong";
    else if (v && memcmp(pack.vertices + PRIOR_VERTICES, bytes + OMM_HEADER_BYTES,
                         (size_t)v * OMM_VERTEX_BYTES) != 0)
        fault = "vertices not copied verbatim";
    for (uint64_t k = 0; fault.empty() && k < n; k++) {
        uint32_t index = pack.indices[PRIOR_INDICES + k];
        uint32_t source = readU32(bytes + OMM_HEADER_BYTES + OMM_VERTEX_BYTES * v + 4 * k);
        if (index != source + PRIOR_VERTICES || index >= pack.vertex_count)
            fault = "index " + std::to_string(k) + " not rebased into range";
    }
    for (uint32_t k = 0; fault.empty() && k < PRIOR_INDICES; k++)
        if (pack.indices[k] != k) fault = "earlier model's indices disturbed";
    mmodelPackFree(&pack);
    if (fault.empty() && (pack.vertices || pack.indices || pack.vertex_count || pack.index_count))
        fault = "pack not emptied by mmodelPackFree";
    return fault;
}

std::string checkTerrainFile(const uint8_t *data, size_t size) {
    // Exactly size bytes, so any read past the end is an overflow.
    std::vector<uint8_t> owned(data, data + size);
    for (MapFormat format : {MAP_PNG, MAP_RAW16, MAP_HGT}) {
        std::string fault = checkFormat(format, owned.data(), size);
        if (!fault.empty()) return fault;
    }
    char msg[256] = "";
    uint8_t *cells = splatDecode(owned.data(), size, 64, 64, msg, sizeof(msg));
    if (!cells) return msg[0] ? "" : "splat map refused without a reason";
    std::string fault = msg[0] ? "splat map accepted with a message" : "";
    for (size_t i = 0; fault.empty() && i < 64 * 64; i++)
        if (cells[i] >= MAP_MATERIALS) fault = "splat cell above 7 accepted";
    free(cells);
    return fault;
}
