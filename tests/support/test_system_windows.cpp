// The test programs' system services on Windows (see test_system.h): the C runtime's
// environment, which SDL and the library read with getenv, its descriptors, and the process's
// handles and memory as the system counts them.
#include "test_system.h"

#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

OutputToFile::OutputToFile(std::FILE *stream, const std::string &path) : stream_(stream) {
    std::fflush(stream_);
    file_ = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (file_ < 0) return;
    saved_ = _dup(_fileno(stream_));
    _dup2(file_, _fileno(stream_));
}

OutputToFile::~OutputToFile() {
    std::fflush(stream_);
    if (saved_ >= 0) {
        _dup2(saved_, _fileno(stream_));
        _close(saved_);
    }
    if (file_ >= 0) _close(file_);
}

// cmd /c drops the first and the last quote of a line that starts with one: the line goes in
// quotes of its own, so that a quoted program path keeps its quotes.
int run_command(const std::string &command) { return std::system(("\"" + command + "\"").c_str()); }

namespace {

// Starts line (program when given, else the line's first word) without waiting for it.
bool start_process(const char *program, std::string line, DWORD flags) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(program, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &started))
        return false;
    // For a program of the machine Wine hands out no process and leaves the thread's field
    // undefined: closing it would close whatever handle of this process has that value.
    if (started.hProcess) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
    return true;
}

// The program's path on drive Z:, the machine's root; empty when it is not there.
std::string host_path(const char *name) {
    for (const char *folder : {"Z:\\usr\\bin\\", "Z:\\bin\\"}) {
        const std::string path = folder + std::string(name);
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
    }
    return "";
}

}  // namespace

// The ctest time-out ends a program left running.
bool start_command(const std::string &command, int) {
    return start_process(nullptr, "cmd /c \"" + command + "\"", CREATE_NO_WINDOW);
}

// Started directly: the command interpreter runs only programs with a Windows extension. Wine
// gives no handle to a program of the machine: it runs on its own, and 0 says it started.
int run_host_program(const char *name, const std::string &arguments) {
    const std::string path = host_path(name);
    return !path.empty() && start_process(path.c_str(), std::string(name) + " " + arguments, 0)
               ? 0
               : -1;
}

bool host_program_installed(const char *name) { return !host_path(name).empty(); }

std::string host_file_path(const std::string &path) {
    // Wine's own export; Windows has none.
    using UnixName = char *(CDECL *)(const wchar_t *);
    static const auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    const int size = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    if (!unix_name || size <= 0) return "";
    std::wstring wide(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), size);
    char *name = unix_name(wide.c_str());
    if (!name) return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

int run_host_script(const std::string &script, int seconds) {
    char temp[MAX_PATH + 1];
    if (!GetTempPathA(sizeof temp, temp)) return -1;
    const std::string folder = make_unique_folder(std::string(temp) + "vt_host_XXXXXX");
    if (folder.empty()) return -1;
    const std::string status = folder + "\\status", unix_status = host_file_path(status);
    int result = -1;
    // The status is written under another name and renamed, so that it is read whole.
    if (!unix_status.empty() &&
        run_host_program("sh", "-c \"(" + script + "); echo $? > '" + unix_status +
                                   ".part' && mv '" + unix_status + ".part' '" + unix_status +
                                   "'\"") == 0) {
        for (int waited = 0; waited < seconds * 20; ++waited) {
            if (std::FILE *file = std::fopen(status.c_str(), "r")) {
                if (std::fscanf(file, "%d", &result) != 1) result = -1;
                std::fclose(file);
                break;
            }
            Sleep(50);
        }
    }
    DeleteFileA(status.c_str());
    RemoveDirectoryA(folder.c_str());
    return result;
}

const char *window_video_driver() { return "windows"; }
const char *window_renderer() { return "direct3d"; }

bool sound_output_heard_through_sdl() { return false; }

bool resource_limits_available() { return false; }

void with_file_size_limit(uint64_t, const std::function<void()> &body) { body(); }

void with_address_space_limit(uint64_t, const std::function<void()> &body) { body(); }

// The working set and its peak (Wine fills them with the resident sizes the host reports).
namespace {
PROCESS_MEMORY_COUNTERS memory_counters() {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
        memory.WorkingSetSize = memory.PeakWorkingSetSize = SIZE_MAX;
    return memory;
}
}  // namespace

int64_t resident_bytes() {
    const size_t bytes = memory_counters().WorkingSetSize;
    return bytes == SIZE_MAX ? -1 : int64_t(bytes);
}

int64_t peak_resident_bytes() {
    const size_t bytes = memory_counters().PeakWorkingSetSize;
    return bytes == SIZE_MAX ? -1 : int64_t(bytes);
}

double cpu_ms() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME &time) {
        return double(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns ticks
}

namespace {

// Wine (8.0) answers the handle count with 0, GetGuiResources with ERROR_CALL_NOT_IMPLEMENTED
// and leaves PrivateUsage 0: each measure then comes from what Wine keeps of the same objects.

// This process's entries in the system's list of open handles (SystemExtendedHandleInformation).
int64_t listed_handles() {
    struct Entry {
        void *object;
        ULONG_PTR process;
        ULONG_PTR handle;
        ULONG access;
        USHORT creator_trace;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    constexpr auto kExtendedHandles = SYSTEM_INFORMATION_CLASS(64);
    constexpr NTSTATUS kTooSmall = NTSTATUS(0xC0000004L);
    std::vector<ULONG_PTR> list(1 << 16);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kExtendedHandles, list.data(),
                                              ULONG(list.size() * sizeof list[0]), nullptr)) ==
           kTooSmall)
        list.resize(list.size() * 2);
    if (status != 0) return -1;
    // The list: its length, a reserved word, then the entries.
    const auto *entries = reinterpret_cast<const Entry *>(list.data() + 2);
    int64_t count = 0;
    for (ULONG_PTR i = 0; i < list[0]; ++i) count += entries[i].process == GetCurrentProcessId();
    return count;
}

// The GDI objects in the handle table the process environment block points to (its
// GdiSharedHandleTable, as Wine fills it), the stock objects left out.
int64_t gdi_table_objects() {
    struct Entry {
        uint64_t object;
        uint32_t owner;
        uint8_t stock_and_type;  // bit 7: a stock object
        uint8_t generation;
        uint8_t type;  // 0: a free entry
        uint8_t flags;
        uint64_t user;
    };
    constexpr size_t kTableOffset = 0xF8, kEntries = 0x10000;
    PROCESS_BASIC_INFORMATION process{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &process,
                                  sizeof process, nullptr) != 0)
        return -1;
    const Entry *table = nullptr;
    std::memcpy(&table, reinterpret_cast<const uint8_t *>(process.PebBaseAddress) + kTableOffset,
                sizeof table);
    if (!table) return -1;
    int64_t count = 0;
    for (size_t i = 0; i < kEntries; ++i)
        count += table[i].type != 0 && !(table[i].stock_and_type & 0x80);
    return count;
}

// The process's windows, message-only ones and children included: the USER objects Wine's
// system holds for it.
int64_t own_windows() {
    struct Count {
        int64_t windows = 0;
        static BOOL CALLBACK add(HWND window, LPARAM count) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process != GetCurrentProcessId()) return TRUE;
            ++reinterpret_cast<Count *>(count)->windows;
            EnumChildWindows(window, add_child, count);
            return TRUE;
        }
        static BOOL CALLBACK add_child(HWND, LPARAM count) {
            ++reinterpret_cast<Count *>(count)->windows;
            return TRUE;
        }
    } count;
    EnumWindows(Count::add, LPARAM(&count));
    for (HWND window = nullptr;
         (window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr;)
        Count::add(window, LPARAM(&count));
    return count.windows;
}

// GetGuiResources' count of kind, or -1 where the system does not count it.
int64_t gui_resources(DWORD kind) {
    SetLastError(0);
    const DWORD count = GetGuiResources(GetCurrentProcess(), kind);
    return count == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? -1 : int64_t(count);
}

}  // namespace

std::vector<ProcessMeasure> process_measures() {
    _heapmin();
    const HANDLE self = GetCurrentProcess();
    // PrivateUsage is the commit charge, as is PagefileUsage; Wine fills the latter only (with
    // the process's anonymous memory).
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    int64_t private_bytes = -1;
    if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory),
                             sizeof memory))
        private_bytes = int64_t(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
    DWORD handles = 0;  // stays 0 when the count fails
    GetProcessHandleCount(self, &handles);
    const int64_t gdi = gui_resources(GR_GDIOBJECTS), user = gui_resources(GR_USEROBJECTS);
    // Under Wine an unnamed event or two comes once each, at a cycle that varies from run to
    // run (from the first to the twentieth of the endurance cycles); a leaked handle would come
    // every cycle.
    return {{"private", private_bytes, true, 1.0},
            {"handles", handles ? int64_t(handles) : listed_handles(), false, 4},
            {"GDI objects", gdi >= 0 ? gdi : gdi_table_objects(), false, 0},
            {user >= 0 ? "USER objects" : "windows", user >= 0 ? user : own_windows(), false, 0}};
}

void *sdl_function(const char *name) {
    const HMODULE sdl = GetModuleHandleA("SDL2.dll");
    return sdl ? reinterpret_cast<void *>(GetProcAddress(sdl, name)) : nullptr;
}

void prepare_system_libraries() {}

}  // namespace vt_test
