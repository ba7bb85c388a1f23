// The system services the test programs use themselves, one implementation per system
// (test_system_linux.cpp, test_system_windows.cpp): the environment, fresh folders, standard
// output and error sent to a file, the command interpreter, resource limits, CPU time, the
// process's resources, SDL's own functions behind a test's stand-ins, and what each system's
// tests can hear.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vt_test {

// Sets (or, with overwrite false, sets only when unset) an environment variable of this
// process, where SDL and the library read it. On Windows an empty value removes the variable.
void set_env(const char *name, const std::string &value, bool overwrite = true);
void unset_env(const char *name);

// An environment variable set while the object lives, and put back as it was after.
class EnvironmentOverride {
public:
    EnvironmentOverride(const char *name, const std::string &value) : name_(name) {
        if (const char *previous = std::getenv(name)) previous_ = previous;
        set_env(name, value);
    }
    ~EnvironmentOverride() {
        if (previous_)
            set_env(name_.c_str(), *previous_);
        else
            unset_env(name_.c_str());
    }
    EnvironmentOverride(const EnvironmentOverride &) = delete;
    EnvironmentOverride &operator=(const EnvironmentOverride &) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Makes a new folder named from a pattern ending in "XXXXXX"; empty on failure.
std::string make_unique_folder(const std::string &pattern);

// Sends a standard stream (its descriptor, so C and C++ output alike) to a file until restored.
class OutputToFile {
public:
    OutputToFile(std::FILE *stream, const std::string &path);
    ~OutputToFile();
    OutputToFile(const OutputToFile &) = delete;
    OutputToFile &operator=(const OutputToFile &) = delete;

private:
    std::FILE *stream_;
    int saved_ = -1;
    int file_ = -1;
};

// Runs command through the system's command interpreter (sh, cmd) and returns its exit status.
int run_command(const std::string &command);

// Starts command through the command interpreter and returns without waiting for it; it is
// ended after seconds (Linux) should it run on. False when it cannot start.
bool start_command(const std::string &command, int seconds);

// Runs a program of the build machine (xdotool) with arguments (double quotes group words)
// and returns its exit status, -1 when it cannot start. Under Wine it is started from the
// drive that shows the machine's root, and Wine runs it as the machine's own program, on its
// own: 0 then says that it started, and the caller waits for what it does.
int run_host_program(const char *name, const std::string &arguments);
bool host_program_installed(const char *name);

// Runs script (no double quotes in it) through the build machine's sh to its end and returns
// its exit status; -1 when it cannot start or has not ended after seconds. Under Wine the
// status comes back through a file, since Wine hands out no handle to the machine's programs.
int run_host_script(const std::string &script, int seconds = 120);

// A path of this system as the build machine's programs name it: on Linux the path itself,
// under Wine the Unix path of the drive's file; empty when there is none (on Windows itself).
std::string host_file_path(const std::string &path);

// SDL's video driver for windows on a display, and the renderer it makes for them by default:
// x11 and OpenGL on Linux, windows and Direct3D (through Wine, on Xvfb) on Windows.
const char *window_video_driver();
const char *window_renderer();

// Whether the tests hear the library's sound output: on Linux the library plays through SDL
// audio, whose disk driver writes it to a file the tests read. On Windows the system plays it
// (waveOut, PlaySound), heard by the Windows sound tests through Wine instead.
bool sound_output_heard_through_sdl();
constexpr const char *kSoundNotThroughSdl =
    "listens to the library's sound through SDL's disk audio driver, which plays it on Linux "
    "only (Linux only)";

// Limits the system puts on this process, to make the library's requests fail where they would
// on a full disk or in an exhausted address space: Linux's resource limits. Windows has none
// that apply to a running process alone, and the cases using them are Linux's.
bool resource_limits_available();
constexpr const char *kNoResourceLimits =
    "needs per-process resource limits (setrlimit), which only Linux has (Linux only)";
// Runs body with files limited to bytes: writes past it fail (EFBIG), with no signal.
void with_file_size_limit(uint64_t bytes, const std::function<void()> &body);
// Runs body with the address space limited to what is in use now and extra bytes.
void with_address_space_limit(uint64_t extra, const std::function<void()> &body);

// CPU time used by the whole process so far, in milliseconds.
double cpu_ms();

// The bytes of memory this process holds now, and the most it has held at once so far: its
// resident set (Windows: its working set); -1 when the system does not say.
int64_t resident_bytes();
int64_t peak_resident_bytes();

// What the endurance runs watch of this process, each sampled after the C library's allocator
// has handed its free memory back to the system, so that memory counts what is in use rather
// than what happens to lie free below a block in use. Linux: resident memory, the heap in use
// (counted when a sanitizer's allocator runs the program) and open descriptors; Windows:
// private bytes and the handles, GDI and USER objects the system holds for the process (Wine
// answers none of those calls: there, what it keeps of the same objects, its list of handles,
// its GDI handle table and the process's windows).
struct ProcessMeasure {
    const char *name;
    int64_t value;  // bytes, or a count of objects; -1 when this build does not count it
    bool memory;    // bytes, else a count
    // How far it may rise over a run (memory: MB, for the allocators' spread; a count:
    // objects); below 0 shown only (a measure another one judges more closely in this build).
    double allowed_growth;
};
std::vector<ProcessMeasure> process_measures();

// SDL's own definition of a function that a test program defines in front of it, to watch
// or change what SDL answers the library.
void *sdl_function(const char *name);

// Readies what the system's libraries load once per process before a test runs.
void prepare_system_libraries();

}  // namespace vt_test
