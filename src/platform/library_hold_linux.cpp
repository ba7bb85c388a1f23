// The library's reference to its own shared object on Linux: dlopen of the file that holds
// this code, which is loaded already (RTLD_NOLOAD), given back with dlclose. Linked into a
// program, the code is in no shared object and nothing is held.
#include "platform/library_hold.h"

#include <dlfcn.h>

#include <string>

#include "platform/own_file_linux.h"

namespace platform {

namespace {

void *held = nullptr;

}  // namespace

void hold_library() {
    if (held) return;
    if (const std::string file = own_file(); !file.empty())
        held = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

void release_library() {
    void *const handle = held;
    held = nullptr;
    if (handle) dlclose(handle);
}

}  // namespace platform
