// The Windows side of the platform layer: the error log of a GUI-subsystem
// program, file replacement through ReplaceFileW, and a message box for a
// failed start-up.
#include "platform.h"

#include <windows.h>

#include <stdio.h>

#include <string>

// ------------------------------------------------------------ constants ----

static const wchar_t TEMP_SUFFIX[] = L".tmp";
static const wchar_t TITLE[] = L"Knoll";

// ---------------------------------------------------------------- state ----

static std::wstring log_path;  // the full name of the log logOpen opened

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
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
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
    DWORD n = usable ? GetFinalPathNameByHandleW(file, final_name, MAX_PATH, FILE_NAME_NORMALIZED)
                     : 0;
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
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
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

// ------------------------------------------------------------- start-up ----

void contextHints(void) {}

void processExit(int status) {
    fflush(NULL);
    TerminateProcess(GetCurrentProcess(), (UINT)status);
    ExitProcess((UINT)status);  // only if the process could not end itself
}

int optionsAnswered(void) { return 0; }

void reportStartupFailure(const char *message) {
    std::wstring text = widen(message);
    text += L"\n\nKnoll could not start. What went wrong is written in\n";
    text += log_path.empty() ? fullName(L"error.log") : log_path;
    MessageBoxW(NULL, text.c_str(), TITLE, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
