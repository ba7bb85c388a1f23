// The library's lines on standard output. They are UTF-8 (or text as the application passed it,
// by the rule of file_paths.h); where standard output is a Windows console, which shows its own
// code page, they are written as UTF-16, so that paths and the system's texts in German or
// Japanese read right there. Files and pipes get the bytes as they are.
#pragma once

#include <cstdio>

// The compiler checks the arguments against the C library's printf: MinGW's own, which takes
// the C99 conversions, where it names one.
#ifdef __MINGW_PRINTF_FORMAT
#define VT_PRINT_FORMAT __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#else
#define VT_PRINT_FORMAT __attribute__((format(printf, 1, 2)))
#endif

namespace platform {

// printf to standard output, by the rule above.
void print(const char *format, ...) VT_PRINT_FORMAT;

}  // namespace platform
