// The current font: a request of (name, size, bold) becomes a font file path, which is opened
// unless the same request is current already. Also the exported set_cal_font.
#include <SDL_ttf.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "camera/status_text.h"
#include "frame/embedded_fonts.h"
#include "platform/font_lookup.h"
#include "text/fonts.h"
#include "vistrak_core64.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

TTF_Font *currentFont = nullptr;
uint64_t currentFontGeneration = 0;
std::array<char, kFontNameSize> currentFontName{};
int32_t currentFontSize = 0;
uint32_t currentFontBold = 0;

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
    if (const char *folder = font_directory(file))
        return std::string(folder) + (built_in ? "/" : "/fonts/") + file;
    if (const FontFamilyRow *row = find_font_row(family, bold); row && !built_in) {
        std::string installed =
            platform::installed_font_file(row->file, row->family, row->style);
        if (!installed.empty()) return installed;
    }
    return file;
}

}  // namespace

const char *font_directory(const char *file) {
    if (!file) return nullptr;
    if (std::strstr(file, "OpenSans-")) return embedded_font_folder();
    const char *windows = std::getenv("windir");
    return (windows && *windows) ? windows : nullptr;
}

TTF_Font *current_font() { return currentFont; }

uint64_t font_generation() { return currentFontGeneration; }

void close_current_font() {
    if (!currentFont) return;
    TTF_CloseFont(currentFont);
    currentFont = nullptr;
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
    currentFont = TTF_OpenFont(path.c_str(), size);
    if (!currentFont) {
        core_log("coregraphics: could not load font from '%s' size %d error: '%s'\n",
                 path.c_str(), size, SDL_GetError());
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
