// Run-time library loading on Windows (LoadLibraryExW, GetProcAddress, FreeLibrary), with the
// reason of a failure from GetLastError in FormatMessage's words. A library named without a
// folder is looked for beside this DLL first: the system's search starts in the host program's
// folder, and a host that loads the DLL by its full path from elsewhere (Python's ctypes,
// MATLAB) would not find what was installed with it.
#include "platform/dynamic_library.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/own_module_windows.h"
#include "platform/system_error_windows.h"
#include "platform/wide_text_windows.h"

namespace platform {

namespace {

// The last failure on this thread: what was asked for and the system's text.
thread_local char last_failure[512];

void note_failure(const char *name) {
    const std::string text = std::string(name) + ": " + system_message(GetLastError());
    const size_t length = std::min(text.size(), sizeof last_failure - 1);
    std::memcpy(last_failure, text.data(), length);
    last_failure[length] = '\0';
}

// The folder of the module that holds this code (the DLL, not the program), with its
// separator; empty when it cannot be told.
std::wstring own_folder() {
    const HMODULE module = own_module();
    if (!module) return {};
    // A path may be longer than MAX_PATH: the buffer grows until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

}  // namespace

DynamicLibrary *open_library(const char *name) {
    if (!name) return nullptr;
    const std::wstring wide = wide_path(name);
    HMODULE module = nullptr;
    const std::wstring folder =
        wide.find_first_of(L"\\/:") == std::wstring::npos ? own_folder() : std::wstring();
    const std::wstring beside = folder + wide;
    // Loaded from its full path, the library finds the DLLs it needs beside it too.
    if (!folder.empty() && GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES)
        module = LoadLibraryExW(beside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    else
        module = LoadLibraryW(wide.c_str());
    if (!module) note_failure(name);
    return reinterpret_cast<DynamicLibrary *>(module);
}

void *library_symbol(DynamicLibrary *library, const char *name) {
    if (!library || !name) return nullptr;
    const FARPROC entry = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
    if (!entry) note_failure(name);
    return reinterpret_cast<void *>(entry);
}

void close_library(DynamicLibrary *library) {
    if (library) FreeLibrary(reinterpret_cast<HMODULE>(library));
}

const char *library_error() { return last_failure[0] ? last_failure : "no error reported"; }

// The DLL that libgd's CMake build makes with mingw-w64 (a libtool build names it
// libgd-3.dll); put beside the library (or on PATH).
const char *gd_library_name() { return "libgd.dll"; }

}  // namespace platform
