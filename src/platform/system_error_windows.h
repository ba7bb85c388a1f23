// The text Windows gives for a system error code, shared by the Windows implementations here.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>

namespace platform {

// FormatMessage's text for code, in UTF-8, without the trailing line break, or "error <code>"
// when the system has none.
std::string system_message(DWORD code);

// waveOutGetErrorText's text for a multimedia result, or "error <result>".
std::string sound_message(MMRESULT result);

}  // namespace platform
