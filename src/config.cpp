#include "config.h"

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// ------------------------------------------------------------ constants ----

enum { LINE_BUFFER = 64 };
enum { PATH_BUFFER = 4096, LINK_HOPS = 40 };  // LINK_HOPS: the kernel's own limit

struct Setting {
    const char *key;
    int32_t *value;
    int32_t def, min, max;
};

const char help_text[] =
    "--------\n"
    "Controls\n"
    "--------\n"
    "Arrows: Movement\n"
    "Drag Right Mouse: Look\n"
    "E: Randomize Light Color\n"
    "R: Toggle Terrain Grid\n"
    "F: Randomize Light Direction\n"
    "F11: Toggle Fullscreen\n"
    "Esc: Exit\n"
    "\n"
    "----------\n"
    "Config.txt\n"
    "----------\n"
    "vsync: Determines level of vsync, 0 = off, 1 = on, 2 = half refresh rate, etc... Max: 4\n"
    "fps_limit: Limits fps to the given value, lower values may save power, 0 = no limit. "
    "Max: 256\n"
    "msaa_level: Number of samples for Multi-Sample Anti-Aliasing, 0 = off. Max: 16\n"
    "aniso_level: Level of anisotropic texture filtering, 0 = off. Max: 16\n"
    "shadow_smooth: Whether to smoothen shadows, 0 = off. Max: 1\n"
    "win_width: Initial width of the program window.\n"
    "win_height: Initial height of the program window.";

// ---------------------------------------------------------------- state ----

int32_t vsync, fps_limit, msaa_level, aniso_level, shadow_smooth, win_width, win_height;

// Table order is the order keys are matched and values clamped.
static const Setting settings[] = {
    {"vsync", &vsync, 0, 0, 4},
    {"fps_limit", &fps_limit, 0, 0, 256},
    {"msaa_level", &msaa_level, 0, 0, 16},
    {"aniso_level", &aniso_level, 16, 0, 16},
    {"shadow_smooth", &shadow_smooth, 1, 0, 1},
    {"win_width", &win_width, 800, 640, 1920},
    {"win_height", &win_height, 600, 480, 1080},
};
enum { SETTING_COUNT = sizeof(settings) / sizeof(settings[0]) };

// ------------------------------------------------------------ functions ----

int compareConfigKey(const char *key, const char *line) {
    return strncmp(key, line, strlen(key)) == 0 ? 1 : 0;
}

int readInt(const char *key, const char *line) {
    intmax_t value = strtoimax(line + strlen(key), NULL, 0);
    // Saturate rather than keep the low 32 bits, so that a huge value is
    // clamped to the maximum instead of wrapping to something arbitrary.
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int)value;
}

void clampInt(int32_t *value, int32_t min, int32_t max) {
    if (min > *value) *value = min;
    if (max < *value) *value = max;
}

static void applyLine(const char *line) {
    for (int i = 0; i < SETTING_COUNT; i++) {
        if (compareConfigKey(settings[i].key, line)) {
            *settings[i].value = readInt(settings[i].key, line);
            return;
        }
    }
}

int configRead(void) {
    for (int i = 0; i < SETTING_COUNT; i++) *settings[i].value = settings[i].def;

    FILE *file = fopen("config.txt", "r");
    if (file) {
        char line[LINE_BUFFER];
        while (fgets(line, sizeof(line), file)) applyLine(line);
        fclose(file);
    }

    for (int i = 0; i < SETTING_COUNT; i++)
        clampInt(settings[i].value, settings[i].min, settings[i].max);
    return 0;
}

int configFormat(char *out, int size) {
    return snprintf(out, size,
                    "#graphics\n"
                    "vsync %d\n"
                    "fps_limit %d\n"
                    "msaa_level %d\n"
                    "aniso_level %d\n"
                    "shadow_smooth %d\n"
                    "\n"
                    "#window\n"
                    "win_width %d\n"
                    "win_height %d\n",
                    vsync, fps_limit, msaa_level, aniso_level, shadow_smooth, win_width,
                    win_height);
}

// Follows path through symbolic links to the name of the file they lead to,
// into out. Returns 0, or 1 when the chain does not end or a name is too long.
static int resolveLinks(const char *path, char *out, size_t size) {
    if ((size_t)snprintf(out, size, "%s", path) >= size) return 1;
    for (int hop = 0; hop < LINK_HOPS; hop++) {
        char link[PATH_BUFFER];
        ssize_t n = readlink(out, link, sizeof(link));
        if (n < 0) return 0;  // not a link, or nothing there yet: out names the file
        if ((size_t)n == sizeof(link)) return 1;
        link[n] = '\0';
        // A relative target counts from the directory that holds the link.
        const char *slash = strrchr(out, '/');
        int keep = link[0] != '/' && slash ? (int)(slash - out + 1) : 0;
        char next[PATH_BUFFER];
        if ((size_t)snprintf(next, sizeof(next), "%.*s%s", keep, out, link) >= sizeof(next))
            return 1;
        if ((size_t)snprintf(out, size, "%s", next) >= size) return 1;
    }
    return 1;
}

// Gives the new file fd the old file's owner and group where the process may:
// an ordinary user cannot give a file away, but may still give its group.
static void keepOwner(int fd, const struct stat *old) {
    if (old->st_uid == geteuid() && old->st_gid == getegid()) return;
    if (fchown(fd, old->st_uid, old->st_gid) == 0) return;
    if (fchown(fd, (uid_t)-1, old->st_gid) == 0) return;
    // Neither is ours to give: the new file stays the process's own.
}

// Gives the new file fd the old file's owner (see keepOwner) and permission
// bits. Returns 0, or 1 when the bits could not be set.
static int keepOwnerAndMode(int fd, const struct stat *old) {
    // Owner first: a change of owner clears the set-user-ID and set-group-ID
    // bits.
    keepOwner(fd, old);
    return fchmod(fd, old->st_mode & 07777) != 0;
}

// Writes all of text to fd. Returns 0, or 1 on an error.
static int writeAll(int fd, const char *text, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, text, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 1;
        text += n;
        length -= (size_t)n;
    }
    return 0;
}

// Flushes fd to the disk. A file system without sync support (EINVAL) has
// nothing further to flush, so that counts as done; other errors fail.
static int syncFile(int fd) { return fsync(fd) != 0 && errno != EINVAL; }

// Writes text to the file path names through a temporary file beside it that
// is renamed over it only once complete, so a crash or a full disk never
// leaves it truncated. A symbolic link is followed and stays a link; the file
// keeps its mode and, where allowed, its owner. Only a regular file that the
// process may write, or a name with nothing there yet, is replaced. Returns 0
// on success, 1 when the file is unchanged.
static int writeFileReplacing(const char *path, const char *text, size_t length) {
    char target[PATH_BUFFER], temp[PATH_BUFFER];
    if (resolveLinks(path, target, sizeof(target)) != 0) return 1;
    if ((size_t)snprintf(temp, sizeof(temp), "%s.tmp", target) >= sizeof(temp)) return 1;

    struct stat old;
    int exists = stat(target, &old) == 0;
    if (!exists && errno != ENOENT) return 1;
    if (exists && (!S_ISREG(old.st_mode) || faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) != 0))
        return 1;

    // A temporary file left by an interrupted run, or anything else put under
    // its name, is removed; O_EXCL then never follows a link planted there.
    unlink(temp);
    int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return 1;
    int failed = exists && keepOwnerAndMode(fd, &old);
    if (!failed) failed = writeAll(fd, text, length);
    if (!failed) failed = syncFile(fd);
    failed |= close(fd) != 0;
    if (!failed) failed = rename(temp, target) != 0;
    if (failed) unlink(temp);
    return failed;
}

int configWrite(void) {
    char text[256];
    int length = configFormat(text, sizeof(text));
    writeFileReplacing("config.txt", text, (size_t)length);
    return 0;
}

void writeHelp(void) { writeFileReplacing("help.txt", help_text, sizeof(help_text) - 1); }

int configInit(void) {
    if (configRead() != 0) return 1;
    if (configWrite() != 0) return 1;
    writeHelp();
    return 0;
}
