// Installed TrueType fonts: the file of a face named by family and style, for systems whose
// fonts do not live in a Windows font folder.
#pragma once

#include <string>

namespace platform {

// The file of the installed face of family in style ("Regular", "Bold", "Italic" or
// "Bold Italic"): a face of that family, or one the system declares metric-compatible with it
// (Liberation Sans for Arial). Empty when no such face is installed; an unrelated fallback
// face is never offered.
std::string installed_font_file(const char *family, const char *style);

}  // namespace platform
