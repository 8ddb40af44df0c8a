// Fuzz target: any bytes as a heightmap of each format and as a splat map.
#include <stdio.h>
#include <stdlib.h>

#include "checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string fault = checkTerrainFile(data, size);
    if (!fault.empty()) {
        fprintf(stderr, "terrain file check: %s\n", fault.c_str());
        abort();
    }
    return 0;
}
