// The library's reference to its own module on Windows: GetModuleHandleExW by an address of
// its code, given back with FreeLibrary.
#include "platform/library_hold.h"

#include <windows.h>

namespace platform {

namespace {

HMODULE held = nullptr;

}  // namespace

void hold_library() {
    if (held) return;
    HMODULE module = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&hold_library), &module))
        held = module;
}

void release_library() {
    const HMODULE module = held;
    held = nullptr;
    if (module) FreeLibrary(module);
}

}  // namespace platform
