// The family table: Windows font files by family and style, first match wins.
#include <SDL_stdinc.h>

#include "text/fonts.h"

namespace {

constexpr FontFamilyRow kFontFamilies[] = {
    {"OpenSans-Regular.ttf", "sans", "Regular"},
    {"OpenSans-Bold.ttf", "sans", "Bold"},
    {"Arial.ttf", "Arial", "Regular"},
    {"Arial\\ Unicode.ttf", "Arial", "Regular"},
    {"Arial Unicode.ttf", "Arial Unicode", "Regular"},
    {"arialbd.ttf", "Arial", "Bold"},
    {"arialbi.ttf", "Arial", "Bold Italic"},
    {"ariali.ttf", "Arial", "Italic"},
    {"ariblk.ttf", "Arial Black", "Regular"},
    {"comic.ttf", "Comic Sans MS", "Regular"},
    {"comicbd.ttf", "Comic Sans MS", "Bold"},
    {"cour.ttf", "Courier New", "Regular"},
    {"courbd.ttf", "Courier New", "Bold"},
    {"courbi.ttf", "Courier New", "Bold Italic"},
    {"couri.ttf", "Courier New", "Italic"},
    {"georgia.ttf", "Georgia", "Regular"},
    {"georgiab.ttf", "Georgia", "Bold"},
    {"georgiai.ttf", "Georgia", "Italic"},
    {"georgiaz.ttf", "Georgia", "Bold Italic"},
    {"impact.ttf", "Impact", "Regular"},
    {"l_10646.ttf", "Lucida Sans Unicode", "Regular"},
    {"lucon.ttf", "Lucida Console", "Regular"},
    {"marlett.ttf", "Marlett", "Regular"},
    {"micross.ttf", "Microsoft Sans Serif", "Regular"},
    {"pala.ttf", "Palatino Linotype", "Regular"},
    {"palab.ttf", "Palatino Linotype", "Bold"},
    {"palabi.ttf", "Palatino Linotype", "Bold Italic"},
    {"palai.ttf", "Palatino Linotype", "Italic"},
    {"symbol.ttf", "Symbol", "Regular"},
    {"tahoma.ttf", "Tahoma", "Regular"},
    {"tahomabd.ttf", "Tahoma", "Bold"},
    {"times.ttf", "Times New Roman", "Regular"},
    {"timesbd.ttf", "Times New Roman", "Bold"},
    {"timesbi.ttf", "Times New Roman", "Bold Italic"},
    {"timesi.ttf", "Times New Roman", "Italic"},
    {"trebuc.ttf", "Trebuchet MS", "Regular"},
    {"trebucbd.ttf", "Trebuchet MS", "Bold"},
    {"trebucbi.ttf", "Trebuchet MS", "Bold Italic"},
    {"trebucit.ttf", "Trebuchet MS", "Italic"},
    {"verdana.ttf", "Verdana", "Regular"},
    {"verdanab.ttf", "Verdana", "Bold"},
    {"verdanai.ttf", "Verdana", "Italic"},
    {"verdanaz.ttf", "Verdana", "Bold Italic"},
    {"webdings.ttf", "Webdings", "Regular"},
    {"wingding.ttf", "Wingdings", "Regular"},
};
static_assert(sizeof kFontFamilies / sizeof kFontFamilies[0] == 45, "the whole family table");

}  // namespace

const FontFamilyRow *find_font_row(const char *family, uint32_t bold) {
    if (!family) return nullptr;
    for (const FontFamilyRow &row : kFontFamilies) {
        if (SDL_strcasecmp(row.family, family) != 0) continue;
        if (bold && SDL_strcasecmp(row.style, "bold") != 0) continue;
        return &row;
    }
    return nullptr;
}

const char *find_font_file(const char *family, uint32_t bold) {
    const FontFamilyRow *row = find_font_row(family, bold);
    return row ? row->file : "sans";
}
