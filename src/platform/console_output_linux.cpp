// The library's lines on Linux: standard output takes the bytes as they are.
#include "platform/console_output.h"

#include <cstdarg>
#include <cstdio>

namespace platform {

void print(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

}  // namespace platform
