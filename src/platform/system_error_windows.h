// The text Windows gives for a system error code, shared by the Windows implementations here.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// FormatMessage's text for code without the trailing line break, or "error <code>" when the
// system has none.
std::string system_message(DWORD code);

}  // namespace platform
