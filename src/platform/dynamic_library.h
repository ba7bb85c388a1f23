// Run-time loading of optional shared libraries: open by file name, look up entry points,
// close. Also names the system's file for each optional library the library may load.
#pragma once

namespace platform {

struct DynamicLibrary;  // an open library

// Opens the library file name: a name without a folder from this library's own folder when it
// is there, else searched the system's usual way. Null when it cannot be loaded;
// library_error() then says why.
DynamicLibrary *open_library(const char *name);

// The address of the entry point name in library, or null when it has none.
void *library_symbol(DynamicLibrary *library, const char *name);

// Releases library (null is ignored). Entry points looked up in it become invalid.
void close_library(DynamicLibrary *library);

// The reason the last open_library or library_symbol on this thread failed.
const char *library_error();

// The file name under which this system installs the GD graphics library.
const char *gd_library_name();

}  // namespace platform
