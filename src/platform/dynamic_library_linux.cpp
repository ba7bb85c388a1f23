// Run-time library loading on Linux through the dynamic linker (dlopen, dlsym, dlclose). A
// library named without a folder is looked for beside this shared object first, as on
// Windows; then the dynamic linker searches its usual way.
#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/own_file_linux.h"

namespace platform {

namespace {

// The folder of the shared object that holds this code, with its separator; empty when the
// code is linked into the program.
std::string own_folder() {
    const std::string path = own_file();
    const size_t separator = path.rfind('/');
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

DynamicLibrary *open_library(const char *name) {
    if (!name) return nullptr;
    // RTLD_LOCAL keeps the library's symbols from resolving anybody else's references.
    const std::string folder = std::strchr(name, '/') ? std::string() : own_folder();
    const std::string beside = folder + name;
    const bool found = !folder.empty() && access(beside.c_str(), F_OK) == 0;
    return static_cast<DynamicLibrary *>(
        dlopen(found ? beside.c_str() : name, RTLD_NOW | RTLD_LOCAL));
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
