// Installed fonts on Windows: the family table's file in the system's font folder
// (%windir%\Fonts), as the Windows folder is used when windir names it.
#include "platform/font_lookup.h"

#include <windows.h>

namespace platform {

std::string installed_font_file(const char *file, const char *, const char *) {
    if (!file) return {};
    char folder[MAX_PATH + 1];
    const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return {};
    return std::string(folder, length) + "\\Fonts\\" + file;
}

}  // namespace platform
