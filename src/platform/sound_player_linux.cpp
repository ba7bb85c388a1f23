// The system sound player on Linux: decodes the WAV with SDL, plays it as a voice of the shared
// audio output (so it sounds together with a video's sound, as PlaySound does with waveOut) and
// sleeps until the voice reports that the last of it has gone to the device.
#include "platform/sound_player.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/audio_mixer.h"
#include "platform/console_output.h"

namespace platform {

namespace {

// Slack beyond a sound's own length before a device that stopped consuming is given up.
constexpr std::chrono::milliseconds kStall(1000);

struct WavDeleter {
    void operator()(Uint8 *buffer) const { SDL_FreeWAV(buffer); }
};

// One line on standard output, where the library's sound messages go.
void report(const char *what, const char *name, const char *reason) {
    print("vistrak_core_graphics: %s \"%s\": %s\n", what, name, reason);
    std::fflush(stdout);
}

// The end of one sound, signalled from the audio thread.
struct SoundEnd {
    std::mutex lock;
    std::condition_variable signal;
    bool reached = false;
};

void sound_ended(AudioVoice *, void *user) {
    auto *end = static_cast<SoundEnd *>(user);
    {
        const std::lock_guard<std::mutex> guard(end->lock);
        end->reached = true;
    }
    end->signal.notify_one();
}

std::chrono::milliseconds duration(const SDL_AudioSpec &spec, Uint32 bytes) {
    const Uint64 frame = Uint64(SDL_AUDIO_BITSIZE(spec.format) / 8) * spec.channels;
    return std::chrono::milliseconds(Uint64(bytes) * 1000 /
                                     std::max<Uint64>(1, frame * Uint64(spec.freq)));
}

// Decodes the WAV in source (closed here) and plays it to its end; false when it could not
// play. name identifies the sound in messages.
bool play(SDL_RWops *source, const char *name) {
    SDL_AudioSpec spec;
    Uint8 *raw = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(source, 1, &spec, &raw, &length)) {
        report("cannot decode sound", name, SDL_GetError());
        return false;
    }
    const std::unique_ptr<Uint8, WavDeleter> samples(raw);
    if (length == 0) return true;
    SoundEnd end;
    // The output logs why it cannot play.
    AudioVoice *voice =
        audio_voice_create(spec.format, spec.channels, spec.freq, sound_ended, &end);
    if (!voice) return false;
    const bool queued = audio_voice_play(voice, samples.get(), length);
    if (!queued) {
        report("cannot play sound", name, "no memory to convert it");
    } else {
        std::unique_lock<std::mutex> guard(end.lock);
        if (!end.signal.wait_for(guard, duration(spec, length) + kStall,
                                 [&] { return end.reached; }))
            report("sound device stopped playing sound", name, "sound cut short");
    }
    // After this the audio thread no longer touches end or the samples.
    audio_voice_destroy(voice);
    return queued;
}

}  // namespace

void play_sound_memory(const uint8_t *wav, size_t size) {
    if (!wav || size == 0) return;
    SDL_RWops *source = SDL_RWFromConstMem(wav, int(std::min<size_t>(size, SDL_MAX_SINT32)));
    if (!source) {
        report("cannot read sound", "built-in clip", SDL_GetError());
        return;
    }
    play(source, "built-in clip");
}

bool play_sound_file(const char *path) {
    if (!path) return false;
    SDL_RWops *source = SDL_RWFromFile(path, "rb");
    if (!source) {
        report("cannot open sound file", path, SDL_GetError());
        return false;
    }
    return play(source, path);
}

// The player above works with every SDL 2 runtime on Linux.
bool system_player_preferred() { return true; }

}  // namespace platform
