// The system sound player on Windows is PlaySound, synchronous, without the system's default
// sound as a stand-in for a clip or file it cannot play. A file is read by its wide path and
// played from memory: PlaySound's own file names are at most 256 characters and go through
// the ANSI code page, so that a lab's folders in its own language, deep or synced, would
// not play.
#include "platform/sound_player.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/console_output.h"
#include "platform/sound_device.h"
#include "platform/system_error_windows.h"
#include "platform/wide_text_windows.h"

namespace platform {

namespace {

// One line on standard output, where the library's sound messages go.
void report(const char *what, const char *name, const char *reason) {
    print("vistrak_core_graphics: %s \"%s\": %s\n", what, name, reason);
    std::fflush(stdout);
}

// PlaySound reads a clip in memory as far as its RIFF header says, whatever its real size:
// a header claiming more than size bytes is refused here.
bool whole_riff(const uint8_t *wav, size_t size) {
    if (size < 12 || std::memcmp(wav, "RIFF", 4) != 0 || std::memcmp(wav + 8, "WAVE", 4) != 0)
        return false;
    const uint32_t body = uint32_t(wav[4]) | uint32_t(wav[5]) << 8 | uint32_t(wav[6]) << 16 |
                          uint32_t(wav[7]) << 24;
    return uint64_t(body) + 8 <= size;
}

// A play that failed for want of a device is recorded, not reported: the library says so once.
bool played(bool result, const char *what, const char *name) {
    if (result) {
        note_sound_device(true);
    } else if (waveOutGetNumDevs() == 0) {
        note_sound_device(false, "the system has no sound output device");
    } else {
        report(what, name, "PlaySound failed");
    }
    return result;
}

// A feedback sound is a short clip: a larger file is not read.
constexpr LONGLONG kLargestSoundFile = LONGLONG(64) << 20;

// The file's bytes; false, with the reason, when it cannot be read whole.
bool read_sound_file(const char *path, std::vector<uint8_t> &bytes, std::string &reason) {
    const HANDLE file = CreateFileW(wide_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = system_message(GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    bool read = GetFileSizeEx(file, &size) != 0;
    if (!read) {
        reason = system_message(GetLastError());
    } else if (size.QuadPart > kLargestSoundFile) {
        reason = "larger than 64 MB";
        read = false;
    } else {
        try {
            bytes.resize(size_t(size.QuadPart));
            DWORD got = 0;
            read = ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr) != 0 &&
                   got == bytes.size();
            if (!read) reason = system_message(GetLastError());
        } catch (const std::bad_alloc &) {
            reason = "not enough memory";
            read = false;
        }
    }
    CloseHandle(file);
    return read;
}

}  // namespace

void play_sound_memory(const uint8_t *wav, size_t size) {
    if (!wav || size == 0) return;
    if (!whole_riff(wav, size)) {
        report("cannot decode sound", "built-in clip", "not a complete RIFF WAVE file");
        return;
    }
    const LPCWSTR clip = reinterpret_cast<LPCWSTR>(wav);
    played(PlaySoundW(clip, nullptr, SND_MEMORY | SND_SYNC | SND_NODEFAULT), "cannot play sound",
           "built-in clip");
}

bool play_sound_file(const char *path) {
    if (!path) return false;
    std::vector<uint8_t> wav;
    std::string reason;
    if (!read_sound_file(path, wav, reason)) {
        report("cannot play sound file", path, reason.c_str());
        return false;
    }
    if (!whole_riff(wav.data(), wav.size())) {
        report("cannot play sound file", path, "not a complete RIFF WAVE file");
        return false;
    }
    return played(PlaySoundW(reinterpret_cast<LPCWSTR>(wav.data()), nullptr,
                             SND_MEMORY | SND_SYNC | SND_NODEFAULT),
                  "cannot play sound file", path);
}

// Windows 6.1 and 6.2 of the NT family prefer the system player; both bounds apply
// separately, so 6.0 and 10.0 do not. Without a compatibility manifest later systems report
// 6.2 through GetVersionExA.
bool system_player_preferred() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6 &&
           version.dwMinorVersion >= 1;
}

}  // namespace platform
