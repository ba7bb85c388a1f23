// Loads libgd through the platform's run-time loading and looks up the entry points the
// image writer needs. Tried once per process; a missing or incomplete libgd is not an error.
#include "export/gd_library.h"

#include <string>

#include "platform/dynamic_library.h"
#include "vistrak_core64.h"

int32_t gd_state = 0;
GdLibrary gd{};

namespace {

platform::DynamicLibrary *gd_handle = nullptr;
std::string gd_name_override;  // set by the test seam; empty: the system's libgd

const char *gd_file_name() {
    return gd_name_override.empty() ? platform::gd_library_name() : gd_name_override.c_str();
}

template <typename Function>
bool find_entry(const char *name, Function &entry) {
    // POSIX guarantees that object and function addresses convert into each other.
    entry = reinterpret_cast<Function>(platform::library_symbol(gd_handle, name));
    if (!entry) core_log("load_gd: %s: %s", gd_file_name(), platform::library_error());
    return entry != nullptr;
}

void forget_gd() {
    platform::close_library(gd_handle);
    gd_handle = nullptr;
    gd = GdLibrary{};
}

}  // namespace

void load_gd() {
    if (gd_state != 0) return;
    gd_handle = platform::open_library(gd_file_name());
    if (!gd_handle) {
        core_log("load_gd: %s; screen images are written as BMP", platform::library_error());
        gd_state = -1;
        return;
    }
    // Every lookup runs, so that the log names each missing entry point.
    bool complete = find_entry("gdImageCreateTrueColor", gd.gdImageCreateTrueColor);
    complete &= find_entry("gdImageColorResolve", gd.gdImageColorResolve);
    complete &= find_entry("gdImageSetPixel", gd.gdImageSetPixel);
    complete &= find_entry("gdImageJpeg", gd.gdImageJpeg);
    complete &= find_entry("gdImagePng", gd.gdImagePng);
    complete &= find_entry("gdImageColorAllocate", gd.gdImageColorAllocate);
    complete &= find_entry("gdImageWBMP", gd.gdImageWBMP);
    complete &= find_entry("gdImageDestroy", gd.gdImageDestroy);
    if (!complete) {
        core_log("load_gd: %s is incomplete; screen images are written as BMP",
                 gd_file_name());
        forget_gd();
        gd_state = -1;
        return;
    }
    find_entry("gdImageGif", gd.gdImageGif);  // GIF alone is lost without it
    gd_state = 1;
}

void reset_gd(const char *library_name) {
    forget_gd();
    gd_name_override = library_name ? library_name : "";
    gd_state = 0;
}
