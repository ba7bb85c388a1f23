// The system sound player on Linux: SDL's own audio device, opened for each sound in the
// clip's format (SDL converts for the hardware), fed from SDL's queue and closed once the
// sound has been heard. Starts SDL's audio subsystem when nobody has.
#include "platform/sound_player.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace platform {

namespace {

// Device buffers of about 10 ms: the end of a sound is heard, and the device closed (SDL lets
// up to three buffers play out), soon after the queue runs dry.
Uint16 device_frames(int freq) {
    Uint16 frames = 64;
    while (frames < 4096 && frames * 2 <= freq / 64) frames = Uint16(frames * 2);
    return frames;
}
// Slack beyond a sound's own length before a device that stopped consuming is given up.
constexpr Uint32 kStallMs = 1000;

struct WavDeleter {
    void operator()(Uint8 *buffer) const { SDL_FreeWAV(buffer); }
};

// One line on standard output, where the library's sound messages go.
void report(const char *what, const char *name, const char *reason) {
    std::printf("vistrak_core_graphics: %s \"%s\": %s\n", what, name, reason);
    std::fflush(stdout);
}

bool audio_ready() {
    if (SDL_WasInit(SDL_INIT_AUDIO)) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) return true;
    std::printf("vistrak_core_graphics: audio cannot start for sounds: %s\n", SDL_GetError());
    std::fflush(stdout);
    return false;
}

Uint32 duration_ms(const SDL_AudioSpec &spec, Uint32 bytes) {
    const Uint32 frame = SDL_AUDIO_BITSIZE(spec.format) / 8 * spec.channels;
    return Uint32(Uint64(bytes) * 1000 / (Uint64(frame) * Uint64(spec.freq)));
}

// Decodes the WAV in source (closed here) and plays it to its end. name identifies the sound
// in messages.
void play(SDL_RWops *source, const char *name) {
    SDL_AudioSpec spec;
    Uint8 *raw = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(source, 1, &spec, &raw, &length)) {
        report("cannot decode sound", name, SDL_GetError());
        return;
    }
    const std::unique_ptr<Uint8, WavDeleter> samples(raw);
    if (length == 0) return;
    spec.samples = device_frames(spec.freq);
    spec.callback = nullptr;
    spec.userdata = nullptr;
    // No changes allowed: SDL converts the clip's format to whatever the hardware takes.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &spec, nullptr, 0);
    if (device == 0) {
        report("no sound device for sound", name, SDL_GetError());
        return;
    }
    if (SDL_QueueAudio(device, samples.get(), length) != 0) {
        report("cannot queue sound", name, SDL_GetError());
        SDL_CloseAudioDevice(device);
        return;
    }
    SDL_PauseAudioDevice(device, 0);
    const Uint32 deadline = SDL_GetTicks() + duration_ms(spec, length) + kStallMs;
    // Sleep through what is still queued; the queue drains one device buffer at a time.
    while (const Uint32 queued = SDL_GetQueuedAudioSize(device)) {
        if (SDL_TICKS_PASSED(SDL_GetTicks(), deadline)) {
            report("sound device stopped playing sound", name, "sound cut short");
            break;
        }
        SDL_Delay(std::max<Uint32>(1, duration_ms(spec, queued)));
    }
    // The last buffer taken from the queue is still being played.
    SDL_Delay(duration_ms(spec, spec.samples * SDL_AUDIO_BITSIZE(spec.format) / 8 *
                                    spec.channels) + 1);
    SDL_CloseAudioDevice(device);
}

}  // namespace

void play_sound_memory(const uint8_t *wav, size_t size) {
    if (!wav || size == 0 || !audio_ready()) return;
    SDL_RWops *source = SDL_RWFromConstMem(wav, int(std::min<size_t>(size, SDL_MAX_SINT32)));
    if (!source) {
        report("cannot read sound", "built-in clip", SDL_GetError());
        return;
    }
    play(source, "built-in clip");
}

void play_sound_file(const char *path) {
    if (!path || !audio_ready()) return;
    SDL_RWops *source = SDL_RWFromFile(path, "rb");
    if (!source) {
        report("cannot open sound file", path, SDL_GetError());
        return;
    }
    play(source, path);
}

// The player above works with every SDL 2 runtime on Linux.
bool system_player_preferred() { return true; }

}  // namespace platform
