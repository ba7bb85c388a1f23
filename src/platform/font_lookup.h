// Installed TrueType fonts: the file of a face named by family and style.
#pragma once

#include <string>

namespace platform {

// The file of the installed face of family in style ("Regular", "Bold", "Italic" or
// "Bold Italic"), whose Windows font file is named file. Where fonts live in a Windows font
// folder, that file in the system's folder, taken as it stands. Elsewhere a face of that
// family, or one the system declares metric-compatible with it (Liberation Sans for Arial);
// empty when no such face is installed. An unrelated fallback face is never offered.
std::string installed_font_file(const char *file, const char *family, const char *style);

// The Windows folder as the environment names it (windir), whose "fonts" folder holds the
// family table's files; empty when none is named.
std::string windows_folder();

}  // namespace platform
