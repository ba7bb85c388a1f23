// The waveOut-shaped sound output on Linux: an SDL audio device whose callback plays the one
// queued PCM buffer and reports it done from SDL's audio thread.
#include "platform/sound_output.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace platform {

struct SoundOutput {
    SDL_AudioDeviceID id = 0;
    SoundOutputCallback callback = nullptr;
    void *instance = nullptr;
    Uint8 silence = 0;
    // Guarded by the device lock, which SDL holds while fill_stream runs.
    bool playing = false;
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    uint32_t played = 0;
};

namespace {

// SDL's audio callback: the rest of the playing buffer, then silence.
void fill_stream(void *user, Uint8 *stream, int bytes) {
    auto *device = static_cast<SoundOutput *>(user);
    uint32_t copied = 0;
    if (device->playing) {
        copied = std::min(uint32_t(bytes), device->length - device->played);
        if (copied) std::memcpy(stream, device->data + device->played, copied);
        device->played += copied;
    }
    std::memset(stream + copied, device->silence, size_t(bytes) - copied);
    if (device->playing && device->played >= device->length) {
        device->playing = false;
        if (device->callback)
            device->callback(device, SoundOutputMessage::Done, device->instance);
    }
}

}  // namespace

SoundOutput *sound_output_open(const WaveFormat &format, SoundOutputCallback callback,
                               void *instance) {
    if (format.formatTag != 1 || (format.bitsPerSample != 8 && format.bitsPerSample != 16) ||
        format.channels == 0 || format.channels > 8 || format.samplesPerSec == 0 ||
        format.samplesPerSec > 384000) {
        std::printf("sound output: unsupported format: tag %u, %u bits, %u channels, %u Hz\n",
                    unsigned(format.formatTag), unsigned(format.bitsPerSample),
                    unsigned(format.channels), unsigned(format.samplesPerSec));
        return nullptr;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::printf("sound output: SDL audio cannot start: %s\n", SDL_GetError());
        return nullptr;
    }
    auto *device = new (std::nothrow) SoundOutput;
    if (!device) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    device->callback = callback;
    device->instance = instance;
    SDL_AudioSpec wanted{};
    wanted.freq = int(format.samplesPerSec);
    wanted.format = format.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    wanted.channels = Uint8(format.channels);
    wanted.samples = 1024;
    wanted.callback = fill_stream;
    wanted.userdata = device;
    SDL_AudioSpec obtained{};
    // SDL converts to whatever the hardware takes.
    device->id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device->id == 0) {
        std::printf("sound output: SDL_OpenAudioDevice failed: %s\n", SDL_GetError());
        delete device;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    device->silence = obtained.silence;
    SDL_PauseAudioDevice(device->id, 0);
    if (callback) callback(device, SoundOutputMessage::Open, instance);
    return device;
}

bool sound_output_prepare(SoundOutput *device, WaveHeader &header) {
    if (!device || (!header.data && header.length > 0)) return false;
    header.prepared = true;
    return true;
}

bool sound_output_write(SoundOutput *device, const WaveHeader &header) {
    if (!device || !header.prepared) return false;
    SDL_LockAudioDevice(device->id);
    const bool busy = device->playing;
    if (!busy) {
        device->playing = true;
        device->data = header.data;
        device->length = header.length;
        device->played = 0;
    }
    SDL_UnlockAudioDevice(device->id);
    return !busy;
}

void sound_output_reset(SoundOutput *device) {
    if (!device) return;
    SDL_LockAudioDevice(device->id);
    const bool dropped = device->playing;
    device->playing = false;
    SDL_UnlockAudioDevice(device->id);
    if (dropped && device->callback)
        device->callback(device, SoundOutputMessage::Done, device->instance);
}

void sound_output_close(SoundOutput *device) {
    if (!device) return;
    SDL_CloseAudioDevice(device->id);  // returns after the audio thread has ended
    if (device->callback) device->callback(device, SoundOutputMessage::Close, device->instance);
    delete device;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace platform
