// The test programs' system services on Linux (see test_system.h).
#include "test_system.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "leak_checks.h"

namespace vt_test {

void set_env(const char *name, const std::string &value, bool overwrite) {
    setenv(name, value.c_str(), overwrite ? 1 : 0);
}

void unset_env(const char *name) { unsetenv(name); }

std::string make_unique_folder(const std::string &pattern) {
    std::string path = pattern;
    return mkdtemp(path.data()) ? path : std::string();
}

OutputToFile::OutputToFile(std::FILE *stream, const std::string &path) : stream_(stream) {
    std::fflush(stream_);
    file_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (file_ < 0) return;
    saved_ = dup(fileno(stream_));
    dup2(file_, fileno(stream_));
}

OutputToFile::~OutputToFile() {
    std::fflush(stream_);
    if (saved_ >= 0) {
        dup2(saved_, fileno(stream_));
        close(saved_);
    }
    if (file_ >= 0) close(file_);
}

int run_command(const std::string &command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool start_command(const std::string &command, int seconds) {
    return run_command("timeout " + std::to_string(seconds) + " " + command + " &") == 0;
}

int run_host_program(const char *name, const std::string &arguments) {
    return run_command(std::string(name) + " " + arguments);
}

bool host_program_installed(const char *name) {
    return run_command(std::string("command -v ") + name + " > /dev/null") == 0;
}

int run_host_script(const std::string &script, int seconds) {
    std::string quoted = "'";
    for (const char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return run_command("timeout " + std::to_string(seconds) + " sh -c " + quoted + "'");
}

std::string host_file_path(const std::string &path) { return path; }

const char *window_video_driver() { return "x11"; }
const char *window_renderer() { return "opengl"; }

bool sound_output_heard_through_sdl() { return true; }

bool resource_limits_available() { return true; }

namespace {

void with_limit(int resource, rlim_t value, const std::function<void()> &body) {
    rlimit saved{};
    getrlimit(resource, &saved);
    rlimit limited = saved;
    limited.rlim_cur = value;
    setrlimit(resource, &limited);
    body();
    setrlimit(resource, &saved);
}

}  // namespace

void with_file_size_limit(uint64_t bytes, const std::function<void()> &body) {
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    with_limit(RLIMIT_FSIZE, rlim_t(bytes), body);
    std::signal(SIGXFSZ, previous);
}

void with_address_space_limit(uint64_t extra, const std::function<void()> &body) {
    std::ifstream status("/proc/self/statm");
    uint64_t pages = 0;
    status >> pages;
    with_limit(RLIMIT_AS, rlim_t(pages * uint64_t(sysconf(_SC_PAGESIZE)) + extra), body);
}

double cpu_ms() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

int64_t resident_bytes() {
    long pages = 0, resident = -1;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident < 0 ? -1 : int64_t(resident) * sysconf(_SC_PAGESIZE);
}

int64_t peak_resident_bytes() {
    rusage usage{};
    return getrusage(RUSAGE_SELF, &usage) == 0 ? int64_t(usage.ru_maxrss) * 1024 : -1;
}

namespace {

int open_descriptors() {
    DIR *folder = opendir("/proc/self/fd");
    if (!folder) return -1;
    int count = 0;
    while (const dirent *entry = readdir(folder)) count += entry->d_name[0] != '.';
    closedir(folder);
    return count - 1;  // the folder's own descriptor
}

}  // namespace

// Under a sanitizer the heap in use is judged and resident memory only shown: the sanitizer
// keeps about 4 KB of records for every thread ever started, and each sound of a calibration
// opens an audio device with a thread of its own.
std::vector<ProcessMeasure> process_measures() {
    malloc_trim(0);
    const int64_t heap = heap_in_use();
    return {{"resident", resident_bytes(), true, heap < 0 ? 1.0 : -1.0},
            {"heap in use", heap, true, 0.25},
            {"descriptors", open_descriptors(), false, 0}};
}

void *sdl_function(const char *name) { return dlsym(RTLD_NEXT, name); }

// fontconfig loses a few blocks while it loads its configuration (once per process, in FcInit):
// loaded before anything else, with the leak checker looking away from exactly that.
void prepare_system_libraries() { unchecked([] { FcInit(); }); }

}  // namespace vt_test
