// The test programs' system services on Windows (see test_system.h): the C runtime's
// environment, which SDL and the library read with getenv, and its descriptors.
#include "test_system.h"

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace vt_test {

void set_env(const char *name, const std::string &value, bool overwrite) {
    if (!overwrite && getenv(name)) return;
    _putenv_s(name, value.c_str());
}

void unset_env(const char *name) { _putenv_s(name, ""); }

std::string make_unique_folder(const std::string &pattern) {
    static std::mt19937 random{std::random_device{}()};
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = pattern;
        for (size_t i = path.size() - 6; i < path.size(); ++i)
            path[i] = kLetters[random() % (sizeof kLetters - 1)];
        if (CreateDirectoryA(path.c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

StdoutToFile::StdoutToFile(const std::string &path) {
    std::fflush(stdout);
    file_ = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (file_ < 0) return;
    saved_ = _dup(_fileno(stdout));
    _dup2(file_, _fileno(stdout));
}

StdoutToFile::~StdoutToFile() {
    std::fflush(stdout);
    if (saved_ >= 0) {
        _dup2(saved_, _fileno(stdout));
        _close(saved_);
    }
    if (file_ >= 0) _close(file_);
}

// cmd /c drops the first and the last quote of a line that starts with one: the line goes in
// quotes of its own, so that a quoted program path keeps its quotes.
int run_command(const std::string &command) { return std::system(("\"" + command + "\"").c_str()); }

bool sound_output_heard_through_sdl() { return false; }

bool resource_limits_available() { return false; }

void with_file_size_limit(uint64_t, const std::function<void()> &body) { body(); }

void with_address_space_limit(uint64_t, const std::function<void()> &body) { body(); }

int64_t page_faults() { return -1; }
int64_t resident_bytes() { return -1; }

double cpu_ms() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME &time) {
        return double(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns ticks
}

void *sdl_function(const char *name) {
    const HMODULE sdl = GetModuleHandleA("SDL2.dll");
    return sdl ? reinterpret_cast<void *>(GetProcAddress(sdl, name)) : nullptr;
}

void prepare_system_libraries() {}

}  // namespace vt_test
