// Run-time library loading on Windows (LoadLibraryW, GetProcAddress, FreeLibrary), with the
// reason of a failure from GetLastError in FormatMessage's words.
#include "platform/dynamic_library.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

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

}  // namespace

DynamicLibrary *open_library(const char *name) {
    if (!name) return nullptr;
    const HMODULE module = LoadLibraryW(wide_path(name).c_str());
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
// libgd-3.dll); put beside the library or on PATH.
const char *gd_library_name() { return "libgd.dll"; }

}  // namespace platform
