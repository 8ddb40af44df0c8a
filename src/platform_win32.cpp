// The Windows side of the platform layer: the error log of a GUI-subsystem
// program, file replacement through ReplaceFileW, pictures, the console it
// was started from for options and reports, and message boxes where it has
// none.
#include "platform.h"

#include <windows.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

// ------------------------------------------------------------ constants ----

static const wchar_t TEMP_SUFFIX[] = L".tmp";
static const wchar_t TITLE[] = L"Knoll";

// ---------------------------------------------------------------- state ----

static std::wstring log_path;  // the full name of the log logOpen opened
static int has_output;         // standard output reaches a console, a file or a pipe
// Where the user who started Knoll reads its standard error, kept before
// logOpen turns the stream to error.log; NULL when nobody does.
static HANDLE user_error;

// ------------------------------------------------------------ functions ----

// path, UTF-8, as UTF-16; empty when it is not valid UTF-8.
static std::wstring widen(const char *text) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, NULL, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], n);
    wide.resize((size_t)n - 1);
    return wide;
}

// The full name of path, or path itself when it has none.
static std::wstring fullName(const std::wstring &path) {
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, NULL);
    return n > 0 && n < MAX_PATH ? std::wstring(full, n) : path;
}

// ------------------------------------------------------------ error log ----

int logOpen(const char *path) {
    fflush(stderr);
    // A GUI-subsystem program starts without a standard error; reopening the
    // stream gives it a file of its own. Text mode ("a"): the log's lines end
    // in CRLF like every other text file on Windows.
    std::wstring wide = widen(path);
    int opened = !wide.empty() && _wfreopen(wide.c_str(), L"a", stderr) != NULL;
    if (!opened) freopen("NUL", "w", stderr);
    // Unbuffered: each fprintf reaches the file in one write, at once.
    setvbuf(stderr, NULL, _IONBF, 0);
    log_path = fullName(wide.empty() ? L"error.log" : wide);
    return opened ? 0 : 1;
}

// ------------------------------------------------------ replacing files ----

// The name of the file path leads to, through symbolic links and junctions,
// into *target, and whether one is there in *exists. Returns 0 when path
// names a writable regular file or nothing yet, else 1: a directory, a
// device, a read-only file, or a link that leads nowhere.
static int replaceableTarget(const std::wstring &path, std::wstring *target, int *exists) {
    HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DWORD attributes = GetFileAttributesW(path.c_str());
        *target = path;
        *exists = 0;
        // Nothing there yet is fine; a dangling link is left alone.
        return error == ERROR_FILE_NOT_FOUND && attributes == INVALID_FILE_ATTRIBUTES ? 0 : 1;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    wchar_t final_name[MAX_PATH];
    int usable = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
                 !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
    DWORD n =
        usable ? GetFinalPathNameByHandleW(file, final_name, MAX_PATH, FILE_NAME_NORMALIZED) : 0;
    CloseHandle(file);
    if (n == 0 || n >= MAX_PATH) return 1;
    *target = std::wstring(final_name, n);
    *exists = 1;
    return 0;
}

// text with every "\n" written as "\r\n", the convention of Windows' text mode.
static std::string withCrlf(const char *text, size_t length) {
    std::string out;
    out.reserve(length + length / 16);
    for (size_t i = 0; i < length; i++) {
        if (text[i] == '\n') out += '\r';
        out += text[i];
    }
    return out;
}

// Creates temp afresh and writes bytes to it, flushed to the disk. Returns 0,
// or 1 on any failure (the caller removes what was made).
static int writeTemporary(const std::wstring &temp, const std::string &bytes) {
    // A temporary file left by an interrupted run is removed first.
    DeleteFileW(temp.c_str());
    HANDLE file =
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    int failed = 0;
    for (size_t done = 0; !failed && done < bytes.size();) {
        DWORD written = 0;
        DWORD chunk = (DWORD)(bytes.size() - done);
        failed = !WriteFile(file, bytes.data() + done, chunk, &written, NULL) || written == 0;
        done += written;
    }
    if (!failed) failed = !FlushFileBuffers(file);
    failed |= !CloseHandle(file);
    return failed;
}

int fileReplace(const char *path, const char *text, size_t length) {
    std::wstring wide = widen(path), target;
    int exists = 0;
    if (wide.empty() || replaceableTarget(wide, &target, &exists) != 0) return 1;
    std::wstring temp = target + TEMP_SUFFIX;
    int failed = writeTemporary(temp, withCrlf(text, length));
    // ReplaceFileW keeps the old file's attributes and security, as a rename
    // keeps nothing; a file another program holds open without sharing its
    // deletion refuses both, and stays as it is.
    if (!failed && exists)
        failed = !ReplaceFileW(target.c_str(), temp.c_str(), NULL, REPLACEFILE_IGNORE_MERGE_ERRORS,
                               NULL, NULL);
    else if (!failed)
        failed = !MoveFileExW(temp.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (failed) DeleteFileW(temp.c_str());
    return failed;
}

// ------------------------------------------------- pictures and reports ----

// The folder part of path, with either slash ("." for a bare name).
static std::wstring folderOf(const std::wstring &path) {
    size_t slash = path.find_last_of(L"/\\");
    if (slash == std::wstring::npos) return L".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

int fileFolderExists(const char *path) {
    std::wstring wide = widen(path);
    DWORD attributes =
        wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folderOf(wide).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// errno's word for the last Windows error of a file operation.
static int lastErrno(void) {
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_DIRECTORY: return ENOTDIR;
    default: return EIO;
    }
}

int pictureSave(const char *path, const void *png, size_t size) {
    std::wstring wide = widen(path);
    if (wide.empty()) return EINVAL;
    std::wstring folder = folderOf(wide);
    if (!CreateDirectoryW(folder.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        return lastErrno();
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return EISDIR;
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return lastErrno();
    DWORD written = 0;
    int error =
        WriteFile(file, png, (DWORD)size, &written, NULL) && written == size ? 0 : lastErrno();
    if (!CloseHandle(file) && !error) error = lastErrno();
    // A picture cut short by a full disk is no picture.
    if (error) DeleteFileW(wide.c_str());
    return error;
}

int reportShow(const char *text, const char *csv) {
    (void)csv;
    if (has_output) return fputs(text, stdout) < 0 || fflush(stdout) != 0 ? 1 : 0;
    std::wstring wide = widen(text);
    MessageBoxW(NULL, wide.c_str(), TITLE, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    return 0;
}

// 1 when handle is a standard handle the process was given.
static int givenHandle(HANDLE handle) {
    return handle != NULL && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// ------------------------------------------------------------- start-up ----

void windowHints(void) {}

void processExit(int status) {
    fflush(NULL);
    TerminateProcess(GetCurrentProcess(), (UINT)status);
    ExitProcess((UINT)status);  // only if the process could not end itself
}

// A GUI-subsystem program gets standard handles only when its starter
// redirects them; started from a console it gets none, and takes that
// console for what it lacks. Windows' console prints the prompt before such
// a program's output, as the console does not wait for a GUI program.
int optionsAnswered(void) {
    int out = givenHandle(GetStdHandle(STD_OUTPUT_HANDLE));
    int err = givenHandle(GetStdHandle(STD_ERROR_HANDLE));
    if (err)
        DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                        &user_error, 0, FALSE, DUPLICATE_SAME_ACCESS);
    if ((!out || !err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out) out = freopen("CONOUT$", "w", stdout) != NULL;
        if (!err) freopen("CONOUT$", "w", stderr);
        if (!err)
            user_error = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, NULL,
                                     OPEN_EXISTING, 0, NULL);
    }
    if (user_error == INVALID_HANDLE_VALUE) user_error = NULL;
    has_output = out;
    return 1;
}

// Windows refuses to open a folder as a file with "permission denied"; the
// folder is said as one.
int fileOpenRead(const char *path, FILE **file, uint64_t *size) {
    std::wstring wide = widen(path);
    DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    *file = NULL;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return EISDIR;
    *file = wide.empty() ? NULL : _wfopen(wide.c_str(), L"rb");
    if (!*file) return wide.empty() ? EINVAL : errno;
    struct _stati64 st;
    int fault = _fstati64(_fileno(*file), &st) != 0 ? errno
                : (st.st_mode & _S_IFDIR)           ? EISDIR
                : !(st.st_mode & _S_IFREG)          ? EINVAL
                                                    : 0;
    if (fault) {
        fclose(*file);
        *file = NULL;
        return fault;
    }
    *size = (uint64_t)st.st_size;
    return 0;
}

// text, UTF-16, as UTF-8.
static std::string narrow(const wchar_t *text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (n <= 0) return std::string();
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, NULL, NULL);
    out.resize((size_t)n - 1);
    return out;
}

// The strings live as long as the process: argv's do too.
char **commandLineUtf8(int argc, char **argv) {
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide || count != argc) return argv;
    char **utf8 = (char **)calloc((size_t)count + 1, sizeof(char *));
    for (int i = 0; i < count; i++) utf8[i] = _strdup(narrow(wide[i]).c_str());
    LocalFree(wide);
    return utf8;
}

// A console takes the line as UTF-16, so that any name shows; a file or a
// pipe gets its UTF-8 bytes.
void inputErrorShow(const char *line) {
    fputs(line, stderr);
    DWORD mode, written;
    if (user_error && GetConsoleMode(user_error, &mode)) {
        std::wstring text = widen(line);
        WriteConsoleW(user_error, text.c_str(), (DWORD)text.size(), &written, NULL);
    } else if (user_error) {
        WriteFile(user_error, line, (DWORD)strlen(line), &written, NULL);
    } else {
        MessageBoxW(NULL, widen(line).c_str(), TITLE, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }
}

void reportStartupFailure(StartupStep step, const char *message) {
    (void)step;
    std::wstring text = widen(message);
    text += L"\n\nKnoll could not start. What went wrong is written in\n";
    text += log_path.empty() ? fullName(L"error.log") : log_path;
    MessageBoxW(NULL, text.c_str(), TITLE, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
