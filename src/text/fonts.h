// The one current TrueType font: finding, opening and closing it. Names are font families
// from the family table (case-insensitive) or paths to font files (any name with a slash or
// backslash).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef struct _TTF_Font TTF_Font;

// Makes the font name (family or path) current at size points, in bold style when bold is
// nonzero and the file is not a bold face itself. 0 on success (also when that font is
// current already), -1 on failure; a failed open leaves no current font.
int get_new_font(const char *name, int size, uint32_t bold);
void close_current_font();
// The current font, or null.
TTF_Font *current_font();
// 1 while a font chosen for the status text is current: one the status text selected for its
// scale, or the application's (set_cal_font). Cleared when image display ends.
extern int32_t statusFontLoaded;
// Changes whenever the current font is closed: a font opened later may be given the closed
// one's address, and what was made with the closed one must not pass for the new one's.
uint64_t font_generation();

// Names and paths longer than this (including the terminating NUL) are refused.
constexpr size_t kFontNameSize = 512;

// A row of the family table: a Windows font file with its family and style.
struct FontFamilyRow {
    const char *file;
    const char *family;
    const char *style;
};

// The first row of family (compared ignoring case) in the family table, with bold nonzero its
// first "Bold" row; null when there is none.
const FontFamilyRow *find_font_row(const char *family, uint32_t bold);
// That row's file name, or "sans" when there is none.
const char *find_font_file(const char *family, uint32_t bold);
// The folder holding the built-in "OpenSans-" files (no trailing separator), or null: given
// when the library loads and unloads.
void set_builtin_font_folder(const char *folder);
// The folder of a family-table file: the built-in fonts' folder for the "OpenSans-" files,
// otherwise the Windows folder (platform::windows_folder). Empty when there is none.
std::string font_directory(const char *file);
