// The file of the shared object that holds the library's code, shared by the Linux
// implementations here.
#pragma once

#include <dlfcn.h>

#include <string>

namespace platform {

// Its path as the dynamic linker loaded it; the program's own when the code is linked into a
// program; empty when the linker cannot tell.
inline std::string own_file() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&own_file), &info) || !info.dli_fname) return {};
    return info.dli_fname;
}

}  // namespace platform
