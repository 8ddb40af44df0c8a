// What the tests of config.txt, help.txt and file replacement share: a fresh
// working directory per test, whole-file reads and writes, and the texts the
// program is expected to write, in the platform's line ends.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config.h"
#include "gl_fixture.h"

namespace fs = std::filesystem;

// ------------------------------------------------------------ constants ----

// Text files are written in the convention of the platform's text mode.
#ifdef _WIN32
static const char LINE_END[] = "\r\n";
#else
static const char LINE_END[] = "\n";
#endif

// ---------------------------------------------------------------- types ----

using Settings = std::array<int32_t, 7>;

static const Settings DEFAULTS = {0, 0, 0, 16, 1, 800, 600};

// help.txt as the user reads it: the controls and the settings.
static const char HELP_FOR_USERS[] =
    R"(--------
Controls
--------
Arrows: Movement
Drag Right Mouse: Look
E: Randomize Light Color
R: Toggle Terrain Grid
F: Randomize Light Direction
F11: Toggle Fullscreen
Esc: Exit

----------
Config.txt
----------
vsync: Determines level of vsync, 0 = off, 1 = on, 2 = half refresh rate, etc... Max: 4
fps_limit: Limits fps to the given value, lower values may save power, 0 = no limit. Max: 256
msaa_level: Number of samples for Multi-Sample Anti-Aliasing, 0 = off. Max: 16
aniso_level: Level of anisotropic texture filtering, 0 = off. Max: 16
shadow_smooth: Whether to smoothen shadows, 0 = off. Max: 1
win_width: Initial width of the program window.
win_height: Initial height of the program window.)";

// ------------------------------------------------------------ functions ----

static inline Settings current() {
    return {vsync, fps_limit, msaa_level, aniso_level, shadow_smooth, win_width, win_height};
}

static inline void writeFile(const fs::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

static inline std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// text, given with "\n" line ends, as the platform's text mode writes it.
static inline std::string platformText(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += LINE_END;
        else out += c;
    }
    return out;
}

// The normalised config.txt of settings s, as written to the disk.
static inline std::string expectedText(const Settings &s) {
    char text[256];
    snprintf(text, sizeof(text),
             "#graphics\nvsync %d\nfps_limit %d\nmsaa_level %d\naniso_level %d\n"
             "shadow_smooth %d\n\n#window\nwin_width %d\nwin_height %d\n",
             s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
    return platformText(text);
}

static inline std::string expectedHelp() { return platformText(HELP_FOR_USERS); }

// The functions under test work in the working directory, so every test runs
// in a fresh directory of its own.
class ConfigDir : public ::testing::Test {
   protected:
    void SetUp() override {
        old_ = fs::current_path();
        dir_ = makeScratchDir("knoll_config_");
        ASSERT_FALSE(dir_.empty());
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }

    // Reads config.txt holding text and returns the resulting settings.
    Settings readWith(const std::string &text) {
        writeFile("config.txt", text);
        EXPECT_EQ(configRead(), 0);
        return current();
    }

    fs::path old_, dir_;
};
