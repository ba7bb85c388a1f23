// The current font: a request of (name, size, bold) becomes a font file path, which is opened
// unless the same request is current already. Also the exported set_cal_font.
#include <SDL_ttf.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_paths.h"
#include "platform/font_lookup.h"
#include "text/fonts.h"
#include "vistrak_core64.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

// A font file is read whole, up to this size (the largest pan-Unicode collections are smaller);
// a larger file, or a device that never ends, is refused.
constexpr size_t kLargestFontFile = size_t(128) << 20;

TTF_Font *currentFont = nullptr;
// The current font's file, read into memory: the library keeps no font file open, so that the
// built-in fonts can be removed whenever the library ends, also while a font is current. A
// plain pointer, as the unload step closes the font outside the order of static destruction.
std::vector<unsigned char> *currentFontData = nullptr;
uint64_t currentFontGeneration = 0;
std::array<char, kFontNameSize> currentFontName{};
int32_t currentFontSize = 0;
uint32_t currentFontBold = 0;
// Set from the library's entry point, outside the order of static construction: plain storage.
std::array<char, kFontNameSize> builtinFontFolder{};

bool is_current(const char *name, int size, uint32_t bold) {
    return currentFontSize > 0 && currentFont && currentFontName[0] != '\0' &&
           size == currentFontSize && bold == currentFontBold &&
           std::strcmp(name, currentFontName.data()) == 0;
}

// The file for a family name: in the Windows font folder or the built-in fonts' folder when
// there is one, else the installed face of the family's row, else the bare file name (which
// then fails to open unless it names a file in the working folder).
std::string family_path(const char *family, uint32_t bold, bool &apply_bold) {
    const char *file = find_font_file(family, bold);
    // Only a family missing from the table gives the same file both ways; its open fails.
    apply_bold = bold && std::strcmp(find_font_file(family, 0), file) == 0;
    const bool built_in = std::strstr(file, "OpenSans-") != nullptr;
    if (const std::string folder = font_directory(file); !folder.empty())
        return folder + (built_in ? "/" : "/fonts/") + file;
    if (const FontFamilyRow *row = find_font_row(family, bold); row && !built_in) {
        std::string installed =
            platform::installed_font_file(row->file, row->family, row->style);
        if (!installed.empty()) return installed;
    }
    return file;
}

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};

// Reads the file at path into data; false with the reason in error when it cannot. Read in
// pieces to its end, so that the memory taken is what the file holds.
bool read_font_file(const std::string &path, std::vector<unsigned char> &data,
                    std::string &error) {
    data.clear();
    const std::unique_ptr<FILE, FileCloser> file(platform::open_file(path, "rb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    constexpr size_t kPiece = size_t(1) << 16;
    for (;;) {
        const size_t used = data.size();
        if (used >= kLargestFontFile) {
            error = "larger than " + std::to_string(kLargestFontFile >> 20) + " MB";
            return false;
        }
        data.resize(used + kPiece);
        const size_t read = std::fread(data.data() + used, 1, kPiece, file.get());
        data.resize(used + read);
        if (read < kPiece) break;
    }
    if (std::ferror(file.get())) {
        error = "read error";
        return false;
    }
    return true;
}

// Opens the font at path as the current font with its data; false with SDL's or the reading's
// reason in error.
bool open_font(const std::string &path, int size, std::string &error) {
    auto data = std::make_unique<std::vector<unsigned char>>();
    if (!read_font_file(path, *data, error)) return false;
    SDL_RWops *source = SDL_RWFromConstMem(data->data(), int(data->size()));
    currentFont = source ? TTF_OpenFontRW(source, 1, size) : nullptr;
    if (!currentFont) {
        error = SDL_GetError();
        return false;
    }
    currentFontData = data.release();
    return true;
}

}  // namespace

int32_t statusFontLoaded = 0;

std::string font_directory(const char *file) {
    if (!file) return {};
    if (std::strstr(file, "OpenSans-")) return builtinFontFolder.data();
    return platform::windows_folder();
}

void set_builtin_font_folder(const char *folder) {
    // A folder too long for a font path of its own is no folder.
    const bool fits = folder && std::strlen(folder) < builtinFontFolder.size();
    std::strcpy(builtinFontFolder.data(), fits ? folder : "");
}

TTF_Font *current_font() { return currentFont; }

uint64_t font_generation() { return currentFontGeneration; }

void close_current_font() {
    if (!currentFont) return;
    TTF_CloseFont(currentFont);
    currentFont = nullptr;
    delete currentFontData;
    currentFontData = nullptr;
    ++currentFontGeneration;
}

int get_new_font(const char *name, int size, uint32_t bold) {
    if (!name) {
        core_log("get_new_font: no font name given\n");
        return -1;
    }
    // Refused whole: a cut name could name another font.
    if (strnlen(name, kFontNameSize) >= kFontNameSize) {
        core_log("get_new_font: font name longer than %u bytes refused\n",
                 unsigned(kFontNameSize - 1));
        return -1;
    }
    core_log("get_new_font Loading the fontname =%s font size %d bold %d\n", name, size,
             static_cast<int>(bold));
    if (size <= 0) {
        core_log("coregraphics: could not load font from '%s' with size %d'\n", "", size);
        return -1;
    }
    if (is_current(name, size, bold)) return 0;

    bool apply_bold = bold != 0;
    const std::string path =
        std::strpbrk(name, "/\\") ? std::string(name) : family_path(name, bold, apply_bold);
    if (path.size() >= kFontNameSize) {
        core_log("get_new_font: font path for '%s' longer than %u bytes refused\n", name,
                 unsigned(kFontNameSize - 1));
        return -1;
    }

    close_current_font();
    std::string error;
    if (!open_font(path, size, error)) {
        core_log("coregraphics: could not load font from '%s' size %d error: '%s'\n",
                 path.c_str(), size, error.c_str());
        return -1;
    }
    if (apply_bold) TTF_SetFontStyle(currentFont, TTF_STYLE_BOLD);
    std::memcpy(currentFontName.data(), name, std::strlen(name) + 1);
    currentFontBold = bold;
    currentFontSize = size;
    core_log("Loaded font %s \n", path.c_str());
    return 0;
}

extern "C" int32_t set_cal_font(const char *name, int32_t size) {
    const int result = get_new_font(name, size, 1);
    if (result == 0) statusFontLoaded = 1;
    return result;
}
