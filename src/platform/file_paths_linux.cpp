// Paths on Linux are bytes, passed on as they stand.
#include "platform/file_paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

std::string utf8_path(const char *received) { return received ? received : ""; }

FILE *open_file(const std::string &path, const char *mode) {
    return std::fopen(path.c_str(), mode);
}

bool replace_file(const std::string &from, const std::string &to, std::string &reason) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

std::string environment_variable(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

}  // namespace platform
