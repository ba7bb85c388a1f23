// Text between the library's narrow strings and the UTF-16 that Windows' wide functions take,
// for the Windows implementations of the platform services.
#pragma once

#include <string>

namespace platform {

// Text by the library's rule (file_paths.h): UTF-8 when valid, else the ANSI code page.
std::wstring wide_text(const char *received);

// A path by the library's rule (file_paths.h): UTF-8 when valid, else the ANSI code page.
std::wstring wide_path(const char *received);
inline std::wstring wide_path(const std::string &received) {
    return wide_path(received.c_str());
}

// UTF-16 text as UTF-8.
std::string utf8_text(const wchar_t *text, size_t length);
inline std::string utf8_text(const std::wstring &text) {
    return utf8_text(text.data(), text.size());
}

}  // namespace platform
