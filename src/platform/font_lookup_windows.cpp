// Installed fonts on Windows: the family table's file in the system's font folder
// (%windir%\Fonts), as the Windows folder is used when windir names it.
#include "platform/font_lookup.h"

#include <windows.h>

#include "platform/file_paths.h"
#include "platform/wide_text_windows.h"

namespace platform {

std::string installed_font_file(const char *file, const char *, const char *) {
    if (!file) return {};
    wchar_t folder[MAX_PATH + 1];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return {};
    return utf8_text(folder, length) + "\\Fonts\\" + file;
}

std::string windows_folder() { return environment_variable("windir"); }

}  // namespace platform
