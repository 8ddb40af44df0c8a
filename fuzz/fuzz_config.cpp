// Fuzz target: any bytes as config.txt must normalise to a fixed point.
#include <stdio.h>
#include <stdlib.h>

#include "checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string fault = checkConfigRoundTrip(data, size);
    if (!fault.empty()) {
        fprintf(stderr, "config round trip: %s\n", fault.c_str());
        abort();
    }
    return 0;
}
