// The system sound player on Windows is PlaySound, synchronous, without the system's default
// sound as a stand-in for a clip or file it cannot play.
#include "platform/sound_player.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>

#include "platform/sound_device.h"
#include "platform/wide_text_windows.h"

namespace platform {

namespace {

// One line on standard output, where the library's sound messages go.
void report(const char *what, const char *name, const char *reason) {
    std::printf("vistrak_core_graphics: %s \"%s\": %s\n", what, name, reason);
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
    return played(PlaySoundW(multimedia_path(path).c_str(), nullptr,
                             SND_FILENAME | SND_SYNC | SND_NODEFAULT),
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
