// Feedback sounds: the six sound settings, the four sound hooks, and their playing through the
// system player or SDL_mixer. Every sound plays synchronously: a hook returns after its
// sound has ended.
#include "calibration/feedback_sounds.h"

#include <SDL_mixer.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "calibration/sound_device_notice.h"
#include "frame/display_hooks.h"
#include "frame/sound_backend.h"
#include "platform/console_output.h"
#include "platform/file_paths.h"
#include "platform/sound_output.h"
#include "platform/sound_player.h"
#include "vistrak_core_graphics_sdl2.h"

// The clips generated at build time (resources/make_feedback_clips.cpp).
extern "C" const unsigned char vt_clip_target[], vt_clip_target_end[];
extern "C" const unsigned char vt_clip_done[], vt_clip_done_end[];
extern "C" const unsigned char vt_clip_error[], vt_clip_error_end[];

namespace {

// One setting per kind: a WAV path, "off", or empty for the built-in clip.
constexpr size_t kSettingSize = 208;
std::array<std::array<char, kSettingSize>, kDcorrTargetSound - kDcorrErrorSound + 1>
    soundSettings{};

constexpr bool valid_kind(int32_t kind) {
    return kind >= kDcorrErrorSound && kind <= kDcorrTargetSound;
}

std::array<char, kSettingSize> &setting(int32_t kind) {
    return soundSettings[size_t(kind - kDcorrErrorSound)];
}

// Copies text into the setting of kind. Texts that do not fit and missing texts are refused
// with a line naming the setter and the sound; the previous setting stays.
void store_setting(const char *setter, const char *sound, int32_t kind, const char *text) {
    if (!text) {
        platform::print("%s: no %s sound given (null); the previous setting is kept\n", setter,
                        sound);
        std::fflush(stdout);
        return;
    }
    const size_t length = strnlen(text, kSettingSize);
    if (length >= kSettingSize) {
        platform::print("%s: %s sound \"%s\" is longer than %zu characters and is refused; the "
                        "previous setting is kept\n",
                        setter, sound, text, kSettingSize - 1);
        std::fflush(stdout);
        return;
    }
    std::memcpy(setting(kind).data(), text, length + 1);
}

bool is_off(const char *text) { return std::strcmp(text, "off") == 0; }

struct RWCloser {
    void operator()(SDL_RWops *source) const { SDL_RWclose(source); }
};

// SDL reads no more chunks than this before the data.
constexpr int kMostChunks = 10000;

uint32_t little_endian(const uint8_t *bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

// Why the RIFF WAVE file in source must not play, read from its chunks up to the data: a
// sample rate outside the bounds, or a data chunk announcing more bytes than the file holds,
// which SDL would allocate whole. Empty when neither, or for anything else (the back-end
// judges it). SDL also reads a file that begins at "WAVE", without the RIFF header. source is
// left at its start.
std::string refusal(SDL_RWops *source) {
    const Sint64 size = SDL_RWsize(source);
    uint8_t chunk[16];
    std::string reason;
    Sint64 at = -1;  // the first chunk
    if (SDL_RWread(source, chunk, 1, 12) == 12) {
        if (std::memcmp(chunk, "RIFF", 4) == 0 && std::memcmp(chunk + 8, "WAVE", 4) == 0)
            at = 12;
        else if (std::memcmp(chunk, "WAVE", 4) == 0)
            at = 4;
    }
    if (at > 0) {
        for (int count = 0; count < kMostChunks && reason.empty(); ++count) {
            if (SDL_RWseek(source, at, RW_SEEK_SET) != at || SDL_RWread(source, chunk, 1, 8) != 8)
                break;
            const uint32_t length = little_endian(chunk + 4);
            if (std::memcmp(chunk, "fmt ", 4) == 0 && length >= 8 &&
                SDL_RWread(source, chunk + 8, 1, 8) == 8) {
                using platform::kHighestSoundRate, platform::kLowestSoundRate;
                const uint32_t rate = little_endian(chunk + 12);
                if (rate < kLowestSoundRate || rate > kHighestSoundRate)
                    reason = "its sample rate, " + std::to_string(rate) + " Hz, is outside " +
                             std::to_string(kLowestSoundRate) + "-" +
                             std::to_string(kHighestSoundRate) + " Hz";
            } else if (std::memcmp(chunk, "data", 4) == 0) {
                if (size >= 0 && Sint64(length) > size - at - 8)
                    reason = "its data chunk announces " + std::to_string(length) +
                             " bytes but the file holds " + std::to_string(size - at - 8);
                break;
            }
            at += 8 + Sint64(length) + (length & 1);
        }
    }
    SDL_RWseek(source, 0, RW_SEEK_SET);
    return reason;
}

// Whether the WAV file named text, open in source, may play; prints why not.
bool playable(const char *text, SDL_RWops *source) {
    const std::string reason = refusal(source);
    if (reason.empty()) return true;
    platform::print("vistrak_core_graphics: cannot play sound \"%s\": %s\n", text, reason.c_str());
    std::fflush(stdout);
    return false;
}

// The same for the file text names, opened for the check alone: one that cannot be opened is
// the player's to report.
bool file_playable(const char *text) {
    const std::unique_ptr<SDL_RWops, RWCloser> source(
        SDL_RWFromFile(platform::utf8_path(text).c_str(), "rb"));
    return !source || playable(text, source.get());
}

void play_with_system_player(const char *text, const BuiltinClip &clip) {
    if (!*text) {
        platform::play_sound_memory(clip.data, clip.size);
    } else if (!is_off(text) && std::strcmp(text, "OFF") != 0) {
        if (!file_playable(text)) return;
        platform::play_sound_file(text);
    } else {
        return;
    }
    report_sound_device();
}

void play_with_mixer(const char *text, const BuiltinClip &clip) {
    std::unique_ptr<SDL_RWops, RWCloser> source;
    if (!*text) {
        source.reset(SDL_RWFromConstMem(clip.data, int(clip.size)));
    } else {
        // Only the lower-case word switches a sound off on this path.
        if (is_off(text)) return;
        source.reset(SDL_RWFromFile(platform::utf8_path(text).c_str(), "rb"));
        if (!source) {
            platform::print("vistrak_core_graphics: %s \n", SDL_GetError());
            std::fflush(stdout);
            return;
        }
        if (!playable(text, source.get())) return;
    }
    if (source) play_clip_mixer(source.get());
}

}  // namespace

BuiltinClip builtin_clip(int32_t kind) {
    switch (kind) {
        case kCalTargetSound:
        case kDcorrTargetSound:
            return {vt_clip_target, size_t(vt_clip_target_end - vt_clip_target)};
        case kCalDoneSound:
        case kDcorrDoneSound:
            return {vt_clip_done, size_t(vt_clip_done_end - vt_clip_done)};
        default:
            return {vt_clip_error, size_t(vt_clip_error_end - vt_clip_error)};
    }
}

void play_feedback_sound(int32_t kind) {
    if (!valid_kind(kind)) return;
    const char *text = setting(kind).data();
    const BuiltinClip clip = builtin_clip(kind);
    if (use_system_player())
        play_with_system_player(text, clip);
    else
        play_with_mixer(text, clip);
}

void play_clip_mixer(SDL_RWops *source) {
    Mix_Chunk *chunk = Mix_LoadWAV_RW(source, 0);
    if (!chunk) return;
    Mix_HaltChannel(-1);
    Mix_Volume(-1, MIX_MAX_VOLUME);
    const int channel = Mix_PlayChannelTimed(-1, chunk, 0, -1);
    if (channel == -1) {
        platform::print("Mix_PlayChannel: %s\n", SDL_GetError());
        std::fflush(stdout);
        Mix_FreeChunk(chunk);
        return;
    }
    // Synchronous, but without holding a core: the mixer runs on SDL's audio thread.
    while (Mix_Playing(channel)) SDL_Delay(1);
    Mix_FreeChunk(chunk);
}

void cal_target_sound_hook() { play_feedback_sound(kCalTargetSound); }
void cal_done_sound_hook(int16_t error) {
    play_feedback_sound(error != 0 ? kCalErrorSound : kCalDoneSound);
}
void dcorr_done_sound_hook(int16_t error) {
    play_feedback_sound(error != 0 ? kDcorrErrorSound : kDcorrDoneSound);
}
void dcorr_target_sound_hook() { play_feedback_sound(kDcorrTargetSound); }

extern "C" {

void set_cal_sounds(const char *target, const char *done, const char *error) {
    store_setting("set_cal_sounds", "target", kCalTargetSound, target);
    store_setting("set_cal_sounds", "done", kCalDoneSound, done);
    store_setting("set_cal_sounds", "error", kCalErrorSound, error);
}

void set_dcorr_sounds(const char *target, const char *done, const char *error) {
    store_setting("set_dcorr_sounds", "target", kDcorrTargetSound, target);
    store_setting("set_dcorr_sounds", "done", kDcorrDoneSound, done);
    store_setting("set_dcorr_sounds", "error", kDcorrErrorSound, error);
}

}  // extern "C"
