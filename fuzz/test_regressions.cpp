// Every input kept in fuzz/regressions/<target>/ (inputs that once broke a
// check) and every seed in fuzz/corpus/<target>/ goes through the same check
// as the fuzz target, under the normal toolchain.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "checks.h"

namespace fs = std::filesystem;

namespace {

using Check = std::string (*)(const uint8_t *, size_t);

std::vector<fs::path> inputsOf(const std::string &target) {
    std::vector<fs::path> files;
    for (const char *kind : {"regressions", "corpus"}) {
        fs::path dir = fs::path(KNOLL_FUZZ_DIR) / kind / target;
        if (!fs::is_directory(dir)) continue;
        for (const auto &entry : fs::directory_iterator(dir))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void runAll(const std::string &target, Check check) {
    std::vector<fs::path> files = inputsOf(target);
    ASSERT_FALSE(files.empty()) << "no inputs for " << target << " under " << KNOLL_FUZZ_DIR;
    for (const fs::path &file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
        EXPECT_EQ(check(bytes.data(), bytes.size()), "") << file;
    }
}

}  // namespace

TEST(FuzzRegressions, ConfigInputsNormaliseToAFixedPoint) {
    runAll("config", checkConfigRoundTrip);
}

TEST(FuzzRegressions, OmmInputsValidateAndPackSafely) { runAll("omm", checkOmm); }

TEST(FuzzRegressions, TerrainFileInputsDecodeSafely) { runAll("terrain_file", checkTerrainFile); }
