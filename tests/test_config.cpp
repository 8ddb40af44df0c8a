// config.txt parsing, clamping and normalised rewrite, and help.txt: what
// holds on every platform.
#include <string.h>

#include "config_dir.h"
#include "screenshot.h"

TEST_F(ConfigDir, ConfigMissingFileGivesDefaultsAndWritesBothFiles) {
    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(current(), DEFAULTS);
    EXPECT_EQ(readFile("config.txt"), expectedText(DEFAULTS));

    std::string help = readFile("help.txt");
    EXPECT_EQ(help.size(), 699u + 20 * (strlen(LINE_END) - 1));
    EXPECT_EQ(help, expectedHelp());
}

TEST_F(ConfigDir, ConfigValuesClampAndParseAsCIntegers) {
    EXPECT_EQ(readWith("vsync 9\n")[0], 4);
    EXPECT_EQ(readWith("fps_limit -5\n")[1], 0);
    EXPECT_EQ(readWith("win_width 100\n")[5], 640);
    EXPECT_EQ(readWith("win_height 5000\n")[6], 1080);
    EXPECT_EQ(readWith("msaa_level 17\n")[2], 16);
    EXPECT_EQ(readWith("shadow_smooth 0\n")[4], 0);

    EXPECT_EQ(readWith("fps_limit 0x40\n")[1], 64);
    EXPECT_EQ(readWith("fps_limit 010\n")[1], 8);
    EXPECT_EQ(readWith("fps_limit \t 77\n")[1], 77);
    EXPECT_EQ(readWith("vsync 3\r\n")[0], 3);

    // No digits reads as 0, which then clamps.
    EXPECT_EQ(readWith("aniso_level high\n")[3], 0);
    EXPECT_EQ(readWith("win_width wide\n")[5], 640);

    // Out-of-range 64-bit values saturate instead of wrapping: the low 32
    // bits of 4294967936 are 640, which would pass the clamp unchanged.
    EXPECT_EQ(readWith("win_width 4294967936\n")[5], 1920);
    EXPECT_EQ(readWith("win_height -4294966296\n")[6], 480);
    EXPECT_EQ(readWith("vsync -99999999999999999999999999\n")[0], 0);
    EXPECT_EQ(readWith("msaa_level 99999999999999999999999999\n")[2], 16);

    // LF and CRLF files read alike, whichever platform wrote them.
    const std::string all_lines =
        "vsync 2\nfps_limit 120\nmsaa_level 4\naniso_level 8\nshadow_smooth 0\n"
        "win_width 1024\nwin_height 768\n";
    const Settings all = {2, 120, 4, 8, 0, 1024, 768};
    EXPECT_EQ(readWith(all_lines), all);
    std::string crlf;
    for (char c : all_lines) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(readWith(crlf), all);
}

TEST_F(ConfigDir, ConfigKeyMatching) {
    EXPECT_EQ(readWith("vsync=2\n")[0], 0);
    EXPECT_EQ(readWith("vsync2\n")[0], 2);
    EXPECT_EQ(readWith("VSYNC 2\n")[0], 0);
    EXPECT_EQ(readWith(" vsync 2\n")[0], 0);
    EXPECT_EQ(readWith("#vsync 2\n")[0], 0);
    EXPECT_EQ(readWith("vsync 1\nvsync 3\n")[0], 3);
    EXPECT_EQ(readWith("vsync 3\nvsync 1\n")[0], 1);

    // The byte-order mark older Notepad writes at the start of a UTF-8 file
    // is no part of the first key; anywhere else it spoils the line's key.
    EXPECT_EQ(readWith("\xEF\xBB\xBFvsync 3\r\nfps_limit 5\r\n"),
              (Settings{3, 5, 0, 16, 1, 800, 600}));
    EXPECT_EQ(readWith("fps_limit 5\n\xEF\xBB\xBFvsync 3\n")[0], 0);

    // A line that fills the buffer is consumed in 63-character pieces; a key
    // at the start of the second piece counts.
    std::string pad(63, 'x');
    EXPECT_EQ(readWith(pad + "vsync 3\n")[0], 3);
    EXPECT_EQ(readWith(std::string(62, 'x') + "vsync 3\n")[0], 0);
    EXPECT_EQ(readWith("fps_limit 5" + std::string(52, ' ') + "fps_limit 9\n")[1], 9);

    // Everything else keeps its default when only one key is given.
    Settings s = readWith("fps_limit 30\n");
    Settings expected = DEFAULTS;
    expected[1] = 30;
    EXPECT_EQ(s, expected);
}

TEST_F(ConfigDir, ConfigRewriteIsNormalisedAndAFixedPoint) {
    writeFile("config.txt", "# mine\nwin_width 4000\nvsync 0x3\r\naniso_level 2\njunk\n");
    ASSERT_EQ(configInit(), 0);
    Settings first = current();
    EXPECT_EQ(first, (Settings{3, 0, 0, 2, 1, 1920, 600}));
    std::string written = readFile("config.txt");
    EXPECT_EQ(written, expectedText(first));

    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(current(), first);
    EXPECT_EQ(readFile("config.txt"), written);
    EXPECT_FALSE(fs::exists("config.txt.tmp"));

    writeFile("help.txt", std::string(5000, 'h'));
    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(readFile("help.txt"), expectedHelp());
}

// A benchmark is no frame-capped run, and it leaves the user's files alone.
TEST_F(ConfigDir, BenchmarkTurnsPacingOffAndWritesNoFile) {
    const char text[] = "vsync 4\nfps_limit 1\nmsaa_level 2\n";
    writeFile("config.txt", text);
    run_options.benchmark_seconds = 3.0;
    EXPECT_EQ(configInit(), 0);
    run_options = RunOptions{};
    EXPECT_EQ(current(), (Settings{0, 0, 2, 16, 1, 800, 600}));
    EXPECT_EQ(readFile("config.txt"), text);
    EXPECT_FALSE(fs::exists("help.txt"));
}

TEST_F(ConfigDir, ConfigSurvivesHostileFiles) {
    std::string garbage;
    for (int i = 0; i < 4096; i++) garbage += (char)((i * 131 + 7) & 0xff);
    writeFile("config.txt", garbage);
    EXPECT_EQ(configInit(), 0);
    EXPECT_EQ(readFile("config.txt"), expectedText(current()));

    // Text after a NUL byte within a piece is invisible to the parser, but
    // the next line is read normally.
    static const char with_nul[] = "vsync 4\0vsync 1\nfps_limit 7\n";
    EXPECT_EQ(readWith(std::string(with_nul, sizeof(with_nul) - 1)),
              (Settings{4, 7, 0, 16, 1, 800, 600}));

    std::string huge(1 << 20, 'a');
    EXPECT_EQ(readWith(huge + "\nvsync 2\n")[0], 2);
    EXPECT_EQ(configInit(), 0);

    EXPECT_EQ(readWith(""), DEFAULTS);
    EXPECT_EQ(configInit(), 0);
    EXPECT_EQ(readFile("config.txt"), expectedText(DEFAULTS));
}

TEST_F(ConfigDir, ConfigTxtAsDirectoryIsPassedOver) {
    ASSERT_TRUE(fs::create_directory("config.txt"));
    EXPECT_EQ(configInit(), 0);
    EXPECT_EQ(current(), DEFAULTS);
    EXPECT_TRUE(fs::is_directory("config.txt"));
    EXPECT_FALSE(fs::exists("config.txt.tmp"));
    EXPECT_EQ(readFile("help.txt"), expectedHelp());
}

TEST_F(ConfigDir, ConfigFailedWriteKeepsOldFile) {
    const std::string old = "vsync 9\nwin_width 1\n";
    writeFile("config.txt", old);
    // The temporary file cannot be created where a directory has its name.
    ASSERT_TRUE(fs::create_directory("config.txt.tmp"));
    EXPECT_EQ(configInit(), 0);
    EXPECT_EQ(readFile("config.txt"), old);
    EXPECT_EQ(current(), (Settings{4, 0, 0, 16, 1, 640, 600}));
    EXPECT_EQ(configWrite(), 0);
    EXPECT_EQ(readFile("config.txt"), old);
}

// Settings for one run (a page's address) are read like config.txt lines and
// clamped alike, but never written back; each fault in them is one line.
TEST_F(ConfigDir, OverridesHoldForTheRunOnlyAndReportTheirFaults) {
    writeFile("config.txt", "msaa_level 2\nfps_limit 50\n");
    ASSERT_EQ(configInit(), 0);
    const std::string kept = readFile("config.txt");

    StderrCapture capture;
    captureBegin(&capture);
    configOverride("msaa_level 4\n"
                   "vsync often\n"
                   "fps_limit 0x10 trailing\n"
                   "aniso_level 99\n"
                   "win_width 1000\n"
                   "win_width 1200\n"
                   "win_widthx 700\n"
                   "\n");
    std::string log = captureEnd(&capture);

    EXPECT_EQ(msaa_level, 4);
    EXPECT_EQ(vsync, 0) << "a value that is no number leaves the setting alone";
    EXPECT_EQ(fps_limit, 50);
    EXPECT_EQ(aniso_level, 16);
    EXPECT_EQ(win_width, 1200) << "the last of a repeated key holds";
    EXPECT_EQ(log,
              "Setting Error: vsync often is no number; vsync stays 0\n"
              "Setting Error: fps_limit 0x10 trailing is no number; fps_limit stays 50\n"
              "Setting Error: aniso_level 99 is out of range; 16 is used\n"
              "Setting Error: win_width is given twice; the last one holds\n"
              "Setting Error: win_widthx is no setting\n");
    EXPECT_EQ(readFile("config.txt"), kept) << "config.txt must not keep a run's settings";

    configOverride(NULL);
    EXPECT_EQ(msaa_level, 4);
    // Hexadecimal and octal, as config.txt takes them.
    configOverride("fps_limit 0x20\nwin_height 01400\n");
    EXPECT_EQ(fps_limit, 32);
    EXPECT_EQ(win_height, 768);
}

// A page's address is its command line, read once: the benchmark taken, the
// page's own terrain parameter left alone, every other pair a setting for the
// run, decoded as a form encodes it and read as config.txt reads numbers;
// the settings table marks what the address set.
TEST_F(ConfigDir, AddressIsThePagesCommandLine) {
    const char *address = "?fps_limit=0x10&win%5Fwidth=9%30%30&terrain=maps%2Fa.png&&colour=blue";
    ASSERT_EQ(configAddress(address), 0);
    EXPECT_EQ(run_options.benchmark_seconds, 0.0);
    StderrCapture capture;
    captureBegin(&capture);
    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(captureEnd(&capture), "Setting Error: colour is no setting\n");
    EXPECT_EQ(fps_limit, 16);
    EXPECT_EQ(win_width, 900);
    EXPECT_EQ(readFile("config.txt"), expectedText(DEFAULTS));
    char table[512];
    configTable(table, sizeof(table));
    EXPECT_NE(strstr(table, "vsync 0 0 0 4 0\nfps_limit 16 0 0 256 1\n"), nullptr) << table;
    EXPECT_NE(strstr(table, "win_width 900 800 640 1920 1\n"), nullptr) << table;

    ASSERT_EQ(configAddress("?benchmark=2.5&benchmark=9"), 0);
    EXPECT_EQ(run_options.benchmark_seconds, 2.5) << "the first benchmark holds";
    captureBegin(&capture);
    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(captureEnd(&capture), "") << "a benchmark is a command, not a setting";
    run_options = RunOptions{};
    ASSERT_EQ(configAddress("benchmark="), 0);
    EXPECT_EQ(run_options.benchmark_seconds, 20.0);
    run_options = RunOptions{};
    captureBegin(&capture);
    EXPECT_EQ(configAddress("?benchmark=0x"), 2);
    EXPECT_NE(captureEnd(&capture).find("--benchmark wants a number"), std::string::npos);
    run_options = RunOptions{};
    configAddress("");
}

// A picture is named by its second, "-2" and on only beside another picture
// of that second or a file already there: a new second starts plain.
TEST_F(ConfigDir, ScreenshotNamesCountWithinTheirSecond) {
    char stamp[3][32];
    for (time_t at = 0; at < 3; at++) strftime(stamp[at], 32, "%Y%m%d-%H%M%S", localtime(&at));
    ASSERT_TRUE(fs::create_directory("screenshots"));
    writeFile(std::string("screenshots/knoll-") + stamp[2] + ".png", "");
    for (auto [at, more] : {std::pair<int, const char *>{0, ""}, {0, "-2"}, {1, ""}, {2, "-2"}})
        EXPECT_EQ(screenshotName(at), std::string("screenshots/knoll-") + stamp[at] + more + ".png");
}
