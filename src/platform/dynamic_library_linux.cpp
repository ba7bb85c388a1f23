// Run-time library loading on Linux through the dynamic linker (dlopen, dlsym, dlclose).
#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace platform {

DynamicLibrary *open_library(const char *name) {
    if (!name) return nullptr;
    // RTLD_LOCAL keeps the library's symbols from resolving anybody else's references.
    return static_cast<DynamicLibrary *>(dlopen(name, RTLD_NOW | RTLD_LOCAL));
}

void *library_symbol(DynamicLibrary *library, const char *name) {
    if (!library || !name) return nullptr;
    dlerror();  // dlsym's own null result is not an error indicator: clear the last one
    return dlsym(library, name);
}

void close_library(DynamicLibrary *library) {
    if (library) dlclose(library);
}

const char *library_error() {
    const char *error = dlerror();
    return error ? error : "no error reported";
}

// Debian's libgd3 package; the unversioned libgd.so exists only with the -dev package.
const char *gd_library_name() { return "libgd.so.3"; }

}  // namespace platform
