// System error texts in the user's language, as UTF-8 like every other line of the log:
// FormatMessageA would give them in the ANSI code page.
#include "platform/system_error_windows.h"

#include <iterator>

#include "platform/wide_text_windows.h"

namespace platform {

std::string system_message(DWORD code) {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, DWORD(std::size(text)), nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' ||
                          text[length - 1] == L' ' || text[length - 1] == L'.'))
        --length;
    if (length == 0) return "error " + std::to_string(code);
    return utf8_text(text, length);
}

std::string sound_message(MMRESULT result) {
    wchar_t text[MAXERRORLENGTH] = L"";
    if (waveOutGetErrorTextW(result, text, MAXERRORLENGTH) != MMSYSERR_NOERROR || !*text)
        return "error " + std::to_string(result);
    return utf8_text(std::wstring(text));
}

}  // namespace platform
