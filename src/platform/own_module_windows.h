// The module that holds the library's code (the DLL, not the program that loaded it), shared by
// the Windows implementations here.
#pragma once

#include <windows.h>

namespace platform {

// Null when the system cannot tell; the module's reference count is left as it is.
inline HMODULE own_module() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&own_module), &module);
    return module;
}

}  // namespace platform
