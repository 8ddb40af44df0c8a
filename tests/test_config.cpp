// config.txt parsing, clamping and normalised rewrite, and help.txt.
#include <errno.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>

#include "config.h"

namespace fs = std::filesystem;

// The test executable is linked with fsync wrapped, so that a file system's
// answer can be chosen: fsync_errno 0 passes the call on, anything else is
// the error fsync reports.
static int fsync_errno;
extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd) {
    if (fsync_errno == 0) return __real_fsync(fd);
    errno = fsync_errno;
    return -1;
}

namespace {

using Settings = std::array<int32_t, 7>;

Settings current() {
    return {vsync, fps_limit, msaa_level, aniso_level, shadow_smooth, win_width, win_height};
}

void writeFile(const char *path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string expectedText(const Settings &s) {
    char text[256];
    snprintf(text, sizeof(text),
             "#graphics\nvsync %d\nfps_limit %d\nmsaa_level %d\naniso_level %d\n"
             "shadow_smooth %d\n\n#window\nwin_width %d\nwin_height %d\n",
             s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
    return text;
}

const Settings DEFAULTS = {0, 0, 0, 16, 1, 800, 600};

// help.txt as the user reads it: the controls and the settings.
const char HELP_FOR_USERS[] =
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

const uid_t NOBODY_ID = 65534;

uid_t nobodyUid() {
    const passwd *entry = getpwnam("nobody");
    return entry ? entry->pw_uid : NOBODY_ID;
}

gid_t nogroupGid() {
    const passwd *entry = getpwnam("nobody");
    return entry ? entry->pw_gid : NOBODY_ID;
}

mode_t modeOf(const char *path) {
    struct stat st = {};
    EXPECT_EQ(stat(path, &st), 0) << path;
    return st.st_mode & 07777;
}

// Runs body in a child process with an ordinary user's rights, where file
// modes bind: root hands dir to nobody and becomes nobody first. Failures in
// the child fail the calling test.
void asOrdinaryUser(const fs::path &dir, const std::function<void()> &body) {
    fflush(stdout);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0) {
            uid_t uid = nobodyUid();
            gid_t gid = nogroupGid();
            if (chown(dir.c_str(), uid, gid) != 0 || setgroups(0, nullptr) != 0 ||
                setgid(gid) != 0 || setuid(uid) != 0 || geteuid() == 0)
                _exit(2);
        }
        body();
        fflush(stdout);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: failed as an ordinary user, 2: could not become one";
}

// The functions under test work in the working directory, so every test runs
// in a fresh directory of its own.
class ConfigDir : public ::testing::Test {
   protected:
    void SetUp() override {
        old_ = fs::current_path();
        char name[] = "/tmp/knoll_config_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        chmod(dir_.c_str(), 0700);
        std::error_code ignored;
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

}  // namespace

TEST_F(ConfigDir, ConfigMissingFileGivesDefaultsAndWritesBothFiles) {
    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(current(), DEFAULTS);
    EXPECT_EQ(readFile("config.txt"), expectedText(DEFAULTS));

    std::string help = readFile("help.txt");
    EXPECT_EQ(help.size(), 699u);
    EXPECT_EQ(help, HELP_FOR_USERS);
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

    Settings all = readWith(
        "vsync 2\nfps_limit 120\nmsaa_level 4\naniso_level 8\nshadow_smooth 0\n"
        "win_width 1024\nwin_height 768\n");
    EXPECT_EQ(all, (Settings{2, 120, 4, 8, 0, 1024, 768}));
}

TEST_F(ConfigDir, ConfigKeyMatching) {
    EXPECT_EQ(readWith("vsync=2\n")[0], 0);
    EXPECT_EQ(readWith("vsync2\n")[0], 2);
    EXPECT_EQ(readWith("VSYNC 2\n")[0], 0);
    EXPECT_EQ(readWith(" vsync 2\n")[0], 0);
    EXPECT_EQ(readWith("#vsync 2\n")[0], 0);
    EXPECT_EQ(readWith("vsync 1\nvsync 3\n")[0], 3);
    EXPECT_EQ(readWith("vsync 3\nvsync 1\n")[0], 1);

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
    EXPECT_EQ(readFile("help.txt"), HELP_FOR_USERS);
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
    EXPECT_EQ(readFile("help.txt"), HELP_FOR_USERS);
}

TEST_F(ConfigDir, ConfigUnreadableFileGivesDefaults) {
    asOrdinaryUser(dir_, [] {
        writeFile("config.txt", "vsync 3\n");
        ASSERT_EQ(chmod("config.txt", 0), 0);
        EXPECT_EQ(configInit(), 0);
        EXPECT_EQ(current(), DEFAULTS);
    });
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

TEST_F(ConfigDir, ConfigReadOnlyDirectoryKeepsOldFile) {
    asOrdinaryUser(dir_, [] {
        const std::string old = "vsync 2\n";
        writeFile("config.txt", old);
        EXPECT_EQ(configRead(), 0);
        ASSERT_EQ(chmod(".", 0500), 0);
        EXPECT_EQ(configWrite(), 0);
        EXPECT_EQ(readFile("config.txt"), old);
    });
}

// A file the user may not write stays as it is, though the directory would
// let a new file be renamed over it.
TEST_F(ConfigDir, ConfigReadOnlyFileKeepsItsBytes) {
    asOrdinaryUser(dir_, [] {
        const std::string old = "vsync 2\nmine\n";
        writeFile("config.txt", old);
        ASSERT_EQ(chmod("config.txt", 0444), 0);
        EXPECT_EQ(configInit(), 0);
        EXPECT_EQ(current()[0], 2);
        EXPECT_EQ(readFile("config.txt"), old);
        EXPECT_FALSE(fs::exists("config.txt.tmp"));
        EXPECT_EQ(readFile("help.txt"), HELP_FOR_USERS);
    });
}

// Symbolic links stay links: the file at the end of the chain is rewritten
// in place of the link, with the temporary file beside it.
TEST_F(ConfigDir, ConfigSymlinksStayAndTheirTargetsAreRewritten) {
    ASSERT_TRUE(fs::create_directories("dotfiles/knoll"));
    writeFile("dotfiles/knoll/config", "vsync 2\n# mine\n");
    fs::create_symlink("dotfiles/knoll/config", "config.txt");
    // help.txt: an absolute link to a relative one.
    fs::create_symlink("knoll/help", "dotfiles/help-link");
    fs::create_symlink(fs::absolute("dotfiles/help-link"), "help.txt");

    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(current()[0], 2);
    EXPECT_TRUE(fs::is_symlink("config.txt"));
    EXPECT_EQ(fs::read_symlink("config.txt"), "dotfiles/knoll/config");
    Settings expected = DEFAULTS;
    expected[0] = 2;
    EXPECT_EQ(readFile("dotfiles/knoll/config"), expectedText(expected));
    EXPECT_TRUE(fs::is_symlink("help.txt"));
    EXPECT_TRUE(fs::is_symlink("dotfiles/help-link"));
    EXPECT_EQ(readFile("dotfiles/knoll/help"), HELP_FOR_USERS);
    EXPECT_EQ(std::distance(fs::directory_iterator("dotfiles/knoll"), fs::directory_iterator()), 2)
        << "a temporary file was left behind";

    // A link whose file does not exist yet gets that file.
    fs::remove("dotfiles/knoll/config");
    ASSERT_EQ(configInit(), 0);
    EXPECT_TRUE(fs::is_symlink("config.txt"));
    EXPECT_EQ(readFile("dotfiles/knoll/config"), expectedText(DEFAULTS));

    // A link that leads to no regular file is left alone, as is what it
    // leads to; so is a loop of links.
    fs::remove("config.txt");
    fs::create_symlink("/dev/null", "config.txt");
    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(fs::read_symlink("config.txt"), "/dev/null");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_FALSE(fs::exists("/dev/null.tmp"));
    fs::remove("config.txt");
    fs::create_symlink("loop", "config.txt");
    fs::create_symlink("config.txt", "loop");
    ASSERT_EQ(configInit(), 0);
    EXPECT_EQ(fs::read_symlink("config.txt"), "loop");
    EXPECT_FALSE(fs::exists("loop.tmp"));
}

// The rewritten files keep their permissions, and their owner where the
// process may give it (only root can).
TEST_F(ConfigDir, ConfigModeAndOwnerAreKept) {
    writeFile("config.txt", "vsync 1\n");
    writeFile("help.txt", "");
    ASSERT_EQ(chmod("config.txt", 0600), 0);
    ASSERT_EQ(chmod("help.txt", 0640), 0);
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown("config.txt", nobodyUid(), nogroupGid()), 0);
    }
    mode_t saved = umask(0);  // the new file's mode must not come from the umask
    int result = configInit();
    umask(saved);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(readFile("config.txt"), expectedText({1, 0, 0, 16, 1, 800, 600}));
    EXPECT_EQ(modeOf("config.txt"), 0600u);
    EXPECT_EQ(modeOf("help.txt"), 0640u);
    if (root) {
        struct stat st = {};
        ASSERT_EQ(stat("config.txt", &st), 0);
        EXPECT_EQ(st.st_uid, nobodyUid());
        EXPECT_EQ(st.st_gid, nogroupGid());
    }

    // A file that did not exist gets the usual mode of a new file.
    fs::remove("config.txt");
    saved = umask(022);
    result = configInit();
    umask(saved);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(modeOf("config.txt"), 0644u);
}

// A file system without fsync support answers EINVAL: the rewrite still
// happens. Any other fsync error keeps the old file.
TEST_F(ConfigDir, ConfigFsyncUnsupportedIsNoFailure) {
    writeFile("config.txt", "vsync 3\n");
    EXPECT_EQ(configRead(), 0);
    fsync_errno = EINVAL;
    EXPECT_EQ(configWrite(), 0);
    fsync_errno = 0;
    EXPECT_EQ(readFile("config.txt"), expectedText({3, 0, 0, 16, 1, 800, 600}));

    const std::string old = "vsync 4\n";
    writeFile("config.txt", old);
    fsync_errno = EIO;
    EXPECT_EQ(configWrite(), 0);
    writeHelp();
    fsync_errno = 0;
    EXPECT_EQ(readFile("config.txt"), old);
    EXPECT_FALSE(fs::exists("help.txt"));
    EXPECT_FALSE(fs::exists("config.txt.tmp"));
    EXPECT_FALSE(fs::exists("help.txt.tmp"));
}

TEST_F(ConfigDir, ConfigWriteFailingPartwayKeepsOldFile) {
    const std::string old = "fps_limit 30\n";
    writeFile("config.txt", old);
    EXPECT_EQ(configRead(), 0);
    // A file size limit makes the write fail after the temporary file was
    // created, as a full disk would; the failed file must not replace the old.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = configWrite();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(readFile("config.txt"), old);
    EXPECT_FALSE(fs::exists("config.txt.tmp"));
}
