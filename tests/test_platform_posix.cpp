// The POSIX side of the platform layer: the error log on descriptor 2, and
// file replacement against permissions, owners, symbolic links and failing
// writes, with ordinary users made by fork and setuid.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "config_dir.h"
#include "platform.h"

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

// Runs body in a child process and returns its wait status.
template <typename Body>
int inChild(Body body) {
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
}

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/knoll_log_XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

// A diagnostic is in error.log the moment it is written: a process killed
// right after keeps it, after what earlier runs left there.
TEST(AppLog, LineSurvivesSigkill) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string log = dir.path + "/error.log";
    std::ofstream(log) << "earlier run\n";
    int status = inChild([&] {
        if (logOpen(log.c_str()) != 0) _exit(3);
        fprintf(stderr, "GLFW Error %d: %s\n", 65544, "probe");
        kill(getpid(), SIGKILL);
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(readFile(log), "earlier run\nGLFW Error 65544: probe\n");
}

// Without a log file, descriptor 2 still leads somewhere harmless, so the
// next file opened cannot become the program's stderr.
TEST(AppLog, UnopenableLogKeepsDescriptorTwoHarmless) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string log = dir.path + "/error.log";
    ASSERT_EQ(mkdir(log.c_str(), 0700), 0);  // even root cannot open a directory to write
    int status = inChild([&] {
        if (logOpen(log.c_str()) != 1) _exit(3);
        struct stat on_two, null;
        if (fstat(STDERR_FILENO, &on_two) != 0) _exit(4);
        if (stat("/dev/null", &null) != 0 || on_two.st_rdev != null.st_rdev) _exit(5);
        int next = open((dir.path + "/other").c_str(), O_WRONLY | O_CREAT, 0600);
        if (next == STDERR_FILENO) _exit(6);
        fprintf(stderr, "lost\n");
        _exit(0);
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: result, 4: closed, 5: not /dev/null, 6: reused";
    EXPECT_EQ(readFile(dir.path + "/other"), "");
}

// ------------------------------------------------------- replacing files ----

TEST_F(ConfigDir, ConfigUnreadableFileGivesDefaults) {
    asOrdinaryUser(dir_, [] {
        writeFile("config.txt", "vsync 3\n");
        ASSERT_EQ(chmod("config.txt", 0), 0);
        EXPECT_EQ(configInit(), 0);
        EXPECT_EQ(current(), DEFAULTS);
    });
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
        EXPECT_EQ(readFile("help.txt"), expectedHelp());
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
    EXPECT_EQ(readFile("dotfiles/knoll/help"), expectedHelp());
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

