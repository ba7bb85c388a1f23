// The library's lines on Windows: to a console through WriteConsoleW, as UTF-16; anywhere else
// through the C library's standard output, as they are. Standard output is the C library's:
// a program that redirected it (freopen, _dup2) gets the lines where it sent them.
#include "platform/console_output.h"

#include <io.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/wide_text_windows.h"

namespace platform {

void print(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) {
        std::vprintf(format, arguments);
        va_end(arguments);
        return;
    }
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? size_t(length) + 1 : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    if (length <= 0) return;
    text.pop_back();
    // What the C library holds for the console goes first, so that the lines keep their order.
    std::fflush(stdout);
    const std::wstring wide = wide_text(text.c_str());
    DWORD written = 0;
    WriteConsoleW(console, wide.data(), DWORD(wide.size()), &written, nullptr);
}

}  // namespace platform
