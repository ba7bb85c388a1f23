// Set-up shared by the harnesses: a private temporary folder, and silence on standard output
// (where the library prints its messages, millions of times in a fuzz run; libFuzzer reports
// on standard error).
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_check.h"

namespace fuzz_support {

inline void drop_standard_output() {
    const int null = open("/dev/null", O_WRONLY);
    check(null >= 0 && dup2(null, STDOUT_FILENO) == STDOUT_FILENO);
    close(null);
}

// A fresh folder under TMPDIR (or /tmp), removed with its contents when the process exits.
inline std::string temp_folder(const char *prefix) {
    static std::string made;
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr);
    made = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    return made;
}

// Writes the input as the whole of the file at path.
inline void write_file(const std::string &path, const uint8_t *data, size_t size) {
    FILE *file = std::fopen(path.c_str(), "wb");
    check(file != nullptr);
    check(std::fwrite(data, 1, size, file) == size || size == 0);
    check(std::fclose(file) == 0);
}

}  // namespace fuzz_support
