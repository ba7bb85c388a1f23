// Paths on Windows: received paths read as UTF-8 when they are valid UTF-8 and otherwise in
// the ANSI code page, and handed to the wide functions as UTF-16, long ones in the \\?\ form.
#include "platform/file_paths.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstring>

#include "platform/system_error_windows.h"
#include "platform/wide_text_windows.h"

namespace platform {

namespace {

// The text in code_page as UTF-16; false when it is not valid there (flags
// MB_ERR_INVALID_CHARS) or cannot be converted.
bool widen(const char *text, UINT code_page, DWORD flags, std::wstring &wide) {
    wide.clear();
    if (!*text) return true;
    const int length = MultiByteToWideChar(code_page, flags, text, -1, nullptr, 0);
    if (length <= 0) return false;
    wide.resize(size_t(length));
    if (MultiByteToWideChar(code_page, flags, text, -1, wide.data(), length) != length)
        return false;
    wide.pop_back();  // the NUL the count included
    return true;
}

// Folders take names of up to MAX_PATH - 12 characters (room for a file name of 8.3).
constexpr size_t kLongPath = MAX_PATH - 12;

// The path made absolute against the current folder, tidied (separators, "." and ".."), at
// any length; empty when it cannot be.
std::wstring full_path(const std::wstring &path) {
    std::wstring full(path.size() + MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) return {};
    full.resize(length);
    return full;
}

// A long path in the \\?\ form, which the system's functions take at any length without the
// long-path setting a process cannot rely on (a manifest and a machine policy). A relative
// path is long by its absolute form, which a deep working folder makes so. The form turns off
// the system's own tidying, so the path is tidied first. The \\?\ and \\.\ forms are taken
// as they are.
std::wstring long_form(std::wstring path) {
    if (path.empty() || path.compare(0, 4, L"\\\\?\\") == 0 ||
        path.compare(0, 4, L"\\\\.\\") == 0)
        return path;
    if (path.size() < kLongPath && path.size() >= 3 && path[1] == L':' &&
        (path[2] == L'\\' || path[2] == L'/'))
        return path;  // short and absolute: nothing to ask the system
    const std::wstring full = full_path(path);
    if (full.size() < kLongPath) return path;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace

std::wstring wide_text(const char *received) {
    std::wstring wide;
    if (received && !widen(received, CP_UTF8, MB_ERR_INVALID_CHARS, wide))
        widen(received, CP_ACP, 0, wide);
    return wide;
}

std::wstring wide_path(const char *received) { return long_form(wide_text(received)); }

std::string utf8_text(const wchar_t *text, size_t length) {
    if (length == 0) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string utf8(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, int(length), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string utf8_path(const char *received) { return utf8_text(wide_path(received)); }

FILE *open_file(const std::string &path, const char *mode) {
    const std::wstring wide = wide_path(path);
    if (std::strcmp(mode, "wbx") != 0) return _wfopen(wide.c_str(), wide_text(mode).c_str());
    // The system's C library may not know fopen's "x": a new file only, through _wopen.
    const int descriptor = _wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                                  _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
    FILE *file = _fdopen(descriptor, "wb");
    if (!file) _close(descriptor);
    return file;
}

bool replace_file(const std::string &from, const std::string &to, std::string &reason) {
    const std::wstring source = wide_path(from), target = wide_path(to);
    for (int tries = 1;; ++tries) {
        if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                          error == ERROR_LOCK_VIOLATION;
        if (!held || tries == 10) {
            reason = system_message(error);
            return false;
        }
        Sleep(50);
    }
}

// From the process's environment block, where the C library's _putenv also writes.
std::string environment_variable(const char *name) {
    const std::wstring wide_name = wide_text(name);
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(),
                                                     DWORD(value.size()));
        if (length == 0) return {};
        if (length < value.size()) return utf8_text(value.data(), length);
        value.resize(length);  // the size it needs, with the NUL
    }
}

}  // namespace platform
