// The library's reference to its own shared object on Linux: dlopen of the file that holds
// this code, which is loaded already (RTLD_NOLOAD), given back with dlclose. Linked into a
// program, the code is in no shared object and nothing is held.
#include "platform/library_hold.h"

#include <dlfcn.h>

namespace platform {

namespace {

void *held = nullptr;

}  // namespace

void hold_library() {
    if (held) return;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&hold_library), &info) && info.dli_fname)
        held = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
}

void release_library() {
    void *const handle = held;
    held = nullptr;
    if (handle) dlclose(handle);
}

}  // namespace platform
