// The test programs' entry: googletest's own, ending the process the way
// Knoll ends its own.
#include <gtest/gtest.h>

#include "platform.h"

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    processExit(RUN_ALL_TESTS());
}
