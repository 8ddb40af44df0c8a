// The Windows side of the platform layer: the error log of a GUI-subsystem
// program, and file replacement against read-only files and files another
// program holds open. Child processes come from googletest's death tests,
// which start this executable again.
#include <stdio.h>

#include "config_dir.h"
#include "platform.h"

// Last: windows.h defines near and far as macros, which the maths header
// uses as names.
#include <windows.h>

namespace {

// The exit code a killed child reports: no exit handler and no flush runs.
const UINT KILLED = 9;

// Holds path open the way a program that locks its files does: no sharing.
struct LockedFile {
    HANDLE handle;
    explicit LockedFile(const wchar_t *path)
        : handle(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, NULL)) {}
    ~LockedFile() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

}  // namespace

// A directory of its own for one test, made afresh. A death test's child
// runs the test again from its start, so it finds the same directory in the
// same state, at the same absolute path.
struct LogDir {
    fs::path path;
    explicit LogDir(const char *name) : path(fs::temp_directory_path() / name) {
        std::error_code ignored;
        fs::remove_all(path, ignored);
        fs::create_directories(path);
    }
    ~LogDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// A diagnostic is in error.log the moment it is written, with the CRLF line
// end of a Windows text file, after what earlier runs left there; a GUI
// program has no standard error to begin with, so the log must give it one.
TEST(PlatformLog, LineSurvivesAKilledProcess) {
    LogDir dir("knoll_log_killed");
    const fs::path log = dir.path / "error.log";
    writeFile(log, "earlier run\r\n");
    EXPECT_EXIT(
        {
            if (logOpen(log.string().c_str()) != 0) _exit(3);
            fprintf(stderr, "GLFW Error %d: %s\n", 65544, "probe");
            TerminateProcess(GetCurrentProcess(), KILLED);
        },
        ::testing::ExitedWithCode(KILLED), "");
    EXPECT_EQ(readFile(log), "earlier run\r\nGLFW Error 65544: probe\r\n");
}

// Without a log file, standard error still leads somewhere harmless: writing
// to it neither fails the program nor lands in the next file opened.
TEST(PlatformLog, LogThatCannotOpenLeavesStandardErrorHarmless) {
    LogDir dir("knoll_log_unopenable");
    const fs::path log = dir.path / "error.log", other = dir.path / "other";
    ASSERT_TRUE(fs::create_directory(log));
    EXPECT_EXIT(
        {
            if (logOpen(log.string().c_str()) != 1) _exit(3);
            FILE *next = _wfopen(other.c_str(), L"w");
            fprintf(stderr, "lost\n");
            fclose(next);
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::exists(other));
    EXPECT_EQ(readFile(other), "");
}

// A read-only file is the user's way of keeping it: it stays as it is, and
// its settings still count.
TEST_F(ConfigDir, ReadOnlyFileKeepsItsBytes) {
    const std::string old = "vsync 2\r\nmine\r\n";
    writeFile("config.txt", old);
    ASSERT_TRUE(SetFileAttributesW(L"config.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(configInit(), 0);
    EXPECT_EQ(current()[0], 2);
    EXPECT_EQ(readFile("config.txt"), old);
    EXPECT_FALSE(fs::exists("config.txt.tmp"));
    EXPECT_EQ(readFile("help.txt"), expectedHelp());
    SetFileAttributesW(L"config.txt", FILE_ATTRIBUTE_NORMAL);
}

// A file another program holds open without sharing it is neither replaced
// nor left with a temporary file beside it; once released, it is rewritten.
TEST_F(ConfigDir, FileHeldOpenByAnotherProgramIsLeftAlone) {
    const std::string old = "vsync 3\r\n";
    writeFile("config.txt", old);
    writeFile("help.txt", "old help");
    EXPECT_EQ(configRead(), 0);
    {
        LockedFile config(L"config.txt"), help(L"help.txt");
        ASSERT_NE(config.handle, INVALID_HANDLE_VALUE);
        ASSERT_NE(help.handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(configWrite(), 0);
        writeHelp();
        EXPECT_FALSE(fs::exists("config.txt.tmp"));
        EXPECT_FALSE(fs::exists("help.txt.tmp"));
    }
    EXPECT_EQ(readFile("config.txt"), old);
    EXPECT_EQ(readFile("help.txt"), "old help");

    EXPECT_EQ(configInit(), 0);
    EXPECT_EQ(readFile("config.txt"), expectedText({3, 0, 0, 16, 1, 800, 600}));
    EXPECT_EQ(readFile("help.txt"), expectedHelp());
}
