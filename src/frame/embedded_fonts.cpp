// Extraction of the built-in fonts at load and their removal at unload. Each process writes
// into a folder of its own inside the temporary folder, so two experiment processes on one
// machine never delete each other's fonts.
#include "frame/embedded_fonts.h"

#include <array>
#include <cstdio>
#include <string>

#include "platform/module_data.h"
#include "platform/temp_folder.h"
#include "vistrak_core64.h"

namespace {

// Paths are held to the 260 characters of a Windows path buffer.
constexpr size_t kMaxPath = 260;
constexpr const char *kFolderPrefix = "vistrak-fonts-";

struct FontResource {
    const char *file;
    int id;
    std::string path;  // set while this process owns the written file
};

std::array<FontResource, 2> font_resources = {{
    {"OpenSans-Regular.ttf", platform::kOpenSansRegularId, {}},
    {"OpenSans-Bold.ttf", platform::kOpenSansBoldId, {}},
}};

std::string fontFolder;         // empty until made
int64_t loadingProcess = -1;    // the process that wrote the files

// Writes one row's resource into folder (which ends with a separator). The row's path is set
// while a file of this process stands there.
void extract(FontResource &row, const std::string &folder) {
    if (folder.size() + std::char_traits<char>::length(row.file) > kMaxPath) {
        core_log("coregraphics_sdl2:%s:path buffer overflow\n", row.file);
        return;
    }
    const std::string path = folder + row.file;
    platform::ModuleData data;
    if (!platform::find_module_data(row.id, data)) {
        core_log("coregraphics_sdl2:%s:Failed to locate resource\n", row.file);
        return;
    }
    if (data.size == 0) {
        core_log("coregraphics_sdl2:%s:Failed to measure resource size\n", row.file);
        return;
    }
    const platform::FileHandle file = platform::create_file(path);
    if (file == platform::kNoFile) {
        core_log("coregraphics_sdl2:%s:Failed to create temporary file\n", row.file);
        return;
    }
    size_t written = platform::write_file(file, data.bytes, data.size);
    if (written != data.size) {
        core_log("coregraphics_sdl2:%s:Failed to write file", row.file);
        written = 0;
    }
    if (!platform::close_file(file)) core_log("coregraphics_sdl2:%s:Failed to close file", row.file);
    if (written != 0) {
        core_log("coregraphics_sdl2:created:%s\n", path.c_str());
        row.path = path;
        return;
    }
    // A partial font must not stay behind; if it cannot go now, unload tries again.
    row.path = path;
    if (platform::delete_file(path)) {
        core_log("coregraphics_sdl2:%s:Deleted temp file\n", row.file);
        row.path.clear();
    }
}

void remove_file(const std::string &path, bool (*remove)(const std::string &)) {
    if (remove(path))
        core_log("coregraphics_sdl2:deleted:%s\n", path.c_str());
    else
        core_log("coregraphics_sdl2 could not remove %s, error %d\n", path.c_str(),
                 platform::last_error());
}

}  // namespace

void extract_embedded_fonts() {
    std::string folder = platform::temp_folder();
    if (folder.empty() || folder.size() >= kMaxPath) {
        core_log("coregraphics_sdl2:Failed to retrieve path to temporary folder\n");
        return;
    }
    if (folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;

    fontFolder = platform::create_private_folder(folder, kFolderPrefix);
    if (fontFolder.empty()) {
        core_log("coregraphics_sdl2:Failed to create font folder in %s, error %d\n",
                 folder.c_str(), platform::last_error());
        return;
    }
    loadingProcess = platform::process_id();
    for (FontResource &row : font_resources)
        extract(row, fontFolder + platform::kPathSeparator);
}

void remove_embedded_fonts() {
    // A child made by fork inherits these records, but the files are its parent's.
    if (fontFolder.empty() || platform::process_id() != loadingProcess) return;
    for (FontResource &row : font_resources) {
        if (row.path.empty()) continue;
        remove_file(row.path, platform::delete_file);
        row.path.clear();
    }
    remove_file(fontFolder, platform::delete_folder);
    fontFolder.clear();
}

const char *embedded_font_folder() { return fontFolder.empty() ? nullptr : fontFolder.c_str(); }
