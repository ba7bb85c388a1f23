// Extraction of the built-in fonts at load and their removal at unload. Each process writes
// into a folder of its own inside the temporary folder, so two experiment processes on one
// machine never delete each other's fonts.
#include "frame/embedded_fonts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "platform/module_data.h"
#include "platform/temp_folder.h"
#include "vistrak_core64.h"

namespace {

// Paths are held to the 260 characters of a Windows path buffer; they are kept in UTF-8, up to
// four bytes a character.
constexpr size_t kMaxPath = 260;
constexpr size_t kMaxPathBytes = 4 * kMaxPath;
constexpr char kFolderPrefix[] = "vistrak-fonts-";
// The temporary folder with its separator, the private folder's name and a NUL.
constexpr size_t kFolderSize =
    kMaxPathBytes + sizeof kFolderPrefix + platform::kUniqueSuffixLength;

// Plain buffers, not strings: these records are used by the load and unload steps, which run
// outside the order of C++ static construction and destruction.
struct FontResource {
    const char *file;
    int id;
    std::array<char, kMaxPathBytes + 1> path;  // set while this process owns the written file
};

std::array<FontResource, 2> font_resources = {{
    {"OpenSans-Regular.ttf", platform::kOpenSansRegularId, {}},
    {"OpenSans-Bold.ttf", platform::kOpenSansBoldId, {}},
}};

std::array<char, kFolderSize> fontFolder{};  // empty until made
int64_t loadingProcess = -1;                 // the process that wrote the files

// The characters of a UTF-8 text: every byte but the continuation bytes of a sequence.
size_t characters(const std::string &text) {
    size_t count = 0;
    for (const char byte : text) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return count;
}

template <size_t N>
void store(std::array<char, N> &buffer, const std::string &text) {
    const size_t length = std::min(text.size(), N - 1);  // callers check the length first
    std::memcpy(buffer.data(), text.data(), length);
    buffer[length] = '\0';
}

// Writes one row's resource into folder (which ends with a separator). The row's path is set
// while a file of this process stands there.
void extract(FontResource &row, const std::string &folder) {
    const std::string path = folder + row.file;
    if (characters(path) > kMaxPath || path.size() > kMaxPathBytes) {
        core_log("coregraphics_sdl2:%s:path buffer overflow\n", row.file);
        return;
    }
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
    store(row.path, path);
    if (written != 0) {
        core_log("coregraphics_sdl2:created:%s\n", path.c_str());
        return;
    }
    // A partial font must not stay behind; if it cannot go now, unload tries again.
    if (platform::delete_file(path)) {
        core_log("coregraphics_sdl2:%s:Deleted temp file\n", row.file);
        row.path[0] = '\0';
    }
}

void remove_file(const std::string &path, bool (*remove)(const std::string &), bool report) {
    const bool removed = remove(path);
    if (!report) return;
    if (removed)
        core_log("coregraphics_sdl2:deleted:%s\n", path.c_str());
    else
        core_log("coregraphics_sdl2 could not remove %s, error %d\n", path.c_str(),
                 platform::last_error());
}

}  // namespace

void extract_embedded_fonts() {
    std::string folder = platform::temp_folder();
    if (folder.empty() || characters(folder) >= kMaxPath || folder.size() >= kMaxPathBytes) {
        core_log("coregraphics_sdl2:Failed to retrieve path to temporary folder\n");
        return;
    }
    if (folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;

    const std::string made = platform::create_private_folder(folder, kFolderPrefix);
    if (made.empty()) {
        core_log("coregraphics_sdl2:Failed to create font folder in %s, error %d\n",
                 folder.c_str(), platform::last_error());
        return;
    }
    store(fontFolder, made);
    loadingProcess = platform::process_id();
    for (FontResource &row : font_resources) extract(row, made + platform::kPathSeparator);
}

void remove_embedded_fonts(bool report) {
    // A child made by fork inherits these records, but the files are its parent's.
    if (fontFolder[0] == '\0' || platform::process_id() != loadingProcess) return;
    for (FontResource &row : font_resources) {
        if (row.path[0] == '\0') continue;
        remove_file(row.path.data(), platform::delete_file, report);
        row.path[0] = '\0';
    }
    remove_file(fontFolder.data(), platform::delete_folder, report);
    fontFolder[0] = '\0';
}

const char *embedded_font_folder() { return fontFolder[0] ? fontFolder.data() : nullptr; }
