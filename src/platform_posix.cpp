// The POSIX side of the platform layer: the error log on descriptor 2, file
// replacement by rename, pictures and reports, and the start-up's platform
// hooks.
#include "platform.h"

#include <GLFW/glfw3.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// ------------------------------------------------------------ constants ----

enum { PATH_BUFFER = 4096, LINK_HOPS = 40 };  // LINK_HOPS: the kernel's own limit

// ---------------------------------------------------------------- state ----

static int terminal_fd = -1;  // standard error as it was before logOpen moved it

// ------------------------------------------------------------ error log ----

int logOpen(const char *path) {
    fflush(stderr);
    // Opening first and moving the descriptor into place keeps the stderr
    // stream itself valid whatever happens; a descriptor 2 left closed would
    // be handed to the next file opened and receive our diagnostics.
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0666);
    int opened = fd >= 0;
    if (!opened) fd = open("/dev/null", O_WRONLY);
    if (fd >= 0 && fd != STDERR_FILENO) {
        if (terminal_fd < 0) terminal_fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    // Unbuffered: glibc then writes each fprintf with one write call, so a
    // line is never split and never waits in a buffer for a normal exit.
    setvbuf(stderr, NULL, _IONBF, 0);
    return opened ? 0 : 1;
}

// ------------------------------------------------------ replacing files ----

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

int fileReplace(const char *path, const char *text, size_t length) {
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

// ------------------------------------------------- pictures and reports ----

// The folder part of path ("." for a bare name) into out.
static void folderOf(const char *path, char *out, size_t size) {
    const char *slash = strrchr(path, '/');
    if (!slash)
        snprintf(out, size, ".");
    else
        snprintf(out, size, "%.*s", slash == path ? 1 : (int)(slash - path), path);
}

int fileFolderExists(const char *path) {
    char folder[PATH_BUFFER];
    struct stat st;
    folderOf(path, folder, sizeof(folder));
    return stat(folder, &st) == 0 && S_ISDIR(st.st_mode);
}

int pictureSave(const char *path, const void *png, size_t size) {
    char folder[PATH_BUFFER];
    folderOf(path, folder, sizeof(folder));
    if (mkdir(folder, 0777) != 0 && errno != EEXIST) return errno;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int error = writeAll(fd, (const char *)png, size) ? (errno ? errno : EIO) : 0;
    if (close(fd) != 0 && !error) error = errno;
    // A picture cut short by a full disk is no picture.
    if (error) unlink(path);
    return error;
}

int reportShow(const char *text, const char *csv) {
    (void)csv;
    return fputs(text, stdout) < 0 || fflush(stdout) != 0 ? 1 : 0;
}

// ------------------------------------------------------------- start-up ----

void windowHints(void) {
#ifdef __APPLE__
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
#endif
}

int optionsAnswered(void) { return 1; }

int fileOpenRead(const char *path, FILE **file, uint64_t *size) {
    *file = fopen(path, "rb");
    if (!*file) return errno;
    struct stat st;
    int fault = fstat(fileno(*file), &st) != 0 ? errno
                : S_ISDIR(st.st_mode)          ? EISDIR
                : !S_ISREG(st.st_mode)         ? EINVAL
                                               : 0;
    if (fault) {
        fclose(*file);
        *file = NULL;
        return fault;
    }
    *size = (uint64_t)st.st_size;
    return 0;
}

char **commandLineUtf8(int argc, char **argv) {
    (void)argc;
    return argv;
}

void inputErrorShow(const char *line) {
    fputs(line, stderr);
    if (terminal_fd >= 0 && write(terminal_fd, line, strlen(line)) < 0) {
        // The terminal is gone; error.log has the line.
    }
}

void reportStartupFailure(StartupStep step, const char *message) {
    (void)step;
    (void)message;
}

void processExit(int status) { exit(status); }
