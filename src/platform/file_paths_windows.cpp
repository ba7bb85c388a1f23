// Paths on Windows: received paths read as UTF-8 when they are valid UTF-8 and otherwise in
// the ANSI code page, and handed to the wide functions as UTF-16.
#include "platform/file_paths.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstring>

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

}  // namespace

std::wstring wide_path(const char *received) {
    std::wstring wide;
    if (received && !widen(received, CP_UTF8, MB_ERR_INVALID_CHARS, wide))
        widen(received, CP_ACP, 0, wide);
    return wide;
}

std::wstring multimedia_path(const char *received) {
    const std::wstring path = wide_path(received);
    BOOL lost = FALSE;
    if (path.empty() || (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), -1,
                                             nullptr, 0, nullptr, &lost) > 0 &&
                         !lost))
        return path;
    std::wstring short_path(MAX_PATH, L'\0');
    DWORD length = GetShortPathNameW(path.c_str(), short_path.data(), DWORD(short_path.size()));
    if (length >= short_path.size()) {
        short_path.resize(length);
        length = GetShortPathNameW(path.c_str(), short_path.data(), DWORD(short_path.size()));
    }
    if (length == 0 || length >= short_path.size()) return path;
    short_path.resize(length);
    return short_path;
}

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
    if (std::strcmp(mode, "wbx") != 0) return _wfopen(wide.c_str(), wide_path(mode).c_str());
    // The system's C library may not know fopen's "x": a new file only, through _wopen.
    const int descriptor = _wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                                  _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
    FILE *file = _fdopen(descriptor, "wb");
    if (!file) _close(descriptor);
    return file;
}

// From the process's environment block, where the C library's _putenv also writes.
std::string environment_variable(const char *name) {
    const std::wstring wide_name = wide_path(name);
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
