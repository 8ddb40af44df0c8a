// Fuzz target: mmodelValidate on any bytes, and packing of what it accepts.
#include <stdio.h>
#include <stdlib.h>

#include "checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string fault = checkOmm(data, size);
    if (!fault.empty()) {
        fprintf(stderr, ".omm check: %s\n", fault.c_str());
        abort();
    }
    return 0;
}
