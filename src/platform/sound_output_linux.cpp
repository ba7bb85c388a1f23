// The waveOut-shaped sound output on Linux: one voice of the shared audio output, which plays
// the queued PCM buffers as one sound and reports them done from SDL's audio thread.
#include "platform/sound_output.h"

#include <cstdio>
#include <new>

#include "platform/audio_mixer.h"
#include "platform/console_output.h"

namespace platform {

struct SoundOutput {
    AudioVoice *voice = nullptr;
    SoundOutputCallback callback = nullptr;
    void *instance = nullptr;
};

namespace {

void buffer_played(AudioVoice *, void *user) {
    auto *device = static_cast<SoundOutput *>(user);
    if (device->callback) device->callback(device, SoundOutputMessage::Done, device->instance);
}

}  // namespace

SoundOutput *sound_output_open(const WaveFormat &format, SoundOutputCallback callback,
                               void *instance) {
    if (format.formatTag != 1 || (format.bitsPerSample != 8 && format.bitsPerSample != 16) ||
        format.channels == 0 || format.channels > 8 || format.samplesPerSec == 0 ||
        format.samplesPerSec > 384000) {
        print("sound output: unsupported format: tag %u, %u bits, %u channels, %u Hz\n",
              unsigned(format.formatTag), unsigned(format.bitsPerSample),
              unsigned(format.channels), unsigned(format.samplesPerSec));
        return nullptr;
    }
    auto *device = new (std::nothrow) SoundOutput{nullptr, callback, instance};
    if (!device) return nullptr;
    device->voice =
        audio_voice_create(format.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB, format.channels,
                           int(format.samplesPerSec), buffer_played, device);
    if (!device->voice) {
        delete device;
        return nullptr;
    }
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
    return audio_voice_queue(device->voice, header.data, header.length);
}

bool sound_output_position(SoundOutput *device, uint64_t &frames) {
    if (!device) return false;
    frames = audio_voice_position(device->voice);
    return true;
}

void sound_output_reset(SoundOutput *device) {
    if (!device) return;
    if (audio_voice_reset(device->voice) && device->callback)
        device->callback(device, SoundOutputMessage::Done, device->instance);
}

void sound_output_close(SoundOutput *device) {
    if (!device) return;
    audio_voice_destroy(device->voice);  // its end can no longer be reported
    if (device->callback) device->callback(device, SoundOutputMessage::Close, device->instance);
    delete device;
}

}  // namespace platform
