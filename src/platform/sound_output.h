// A sound output device for PCM buffers, shaped like the Windows waveOut device: open with a
// format, queue prepared buffers, which play one after the other without a gap, reset (stop
// and drop what is queued), close. The device reports its buffers played and its closing
// through a callback on the system's audio thread.
#pragma once

#include <cstdint>

namespace platform {

// WAVEFORMATEX as stored in video files: 18 bytes, little-endian.
#pragma pack(push, 1)
struct WaveFormat {
    uint16_t formatTag;       // 1 = PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "WaveFormat must match WAVEFORMATEX");

// The sample rates a sound from a file may have. Every sound is converted to its output's rate:
// a few bytes announcing 1 Hz become hours of sound (and hundreds of MB where it is converted
// in memory), and a rate of a GHz makes the converter build a filter of hundreds of MB.
constexpr uint32_t kLowestSoundRate = 1000;
constexpr uint32_t kHighestSoundRate = 384000;

// One buffer handed to the device (WAVEHDR): the device reads data while it plays.
struct WaveHeader {
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    bool prepared = false;
};

enum class SoundOutputMessage { Open, Close, Done };

struct SoundOutput;  // an open device

using SoundOutputCallback = void (*)(SoundOutput *device, SoundOutputMessage message,
                                     void *instance);

// Opens the default output device for 8- or 16-bit PCM in format; it sounds together with the
// sound player and with other open devices. Null when it cannot be opened (the reason is
// logged). callback receives Done once when every buffer written has played (on the device's
// audio thread, or in the caller of sound_output_reset for buffers it drops, or of
// sound_output_write where the device has played everything before it) and Close from
// sound_output_close; it must not call these functions.
SoundOutput *sound_output_open(const WaveFormat &format, SoundOutputCallback callback,
                               void *instance);

// Marks header ready for writing. False without a device or data.
bool sound_output_prepare(SoundOutput *device, WaveHeader &header);

// Queues a prepared buffer: it plays once, after the buffers queued before it. The data must
// stay valid until Done. False without a device or for an unprepared header.
bool sound_output_write(SoundOutput *device, const WaveHeader &header);

// How far the sound has played since a buffer was written to the idle device: its sample
// frames that have gone to the device, which may be a buffer of the device's own ahead of what
// is heard. False without a device or when the device cannot say.
bool sound_output_position(SoundOutput *device, uint64_t &frames);

// Stops playing and drops the queued buffers (reported Done). Nothing without a device.
void sound_output_reset(SoundOutput *device);

// Stops and closes the device (reported Close). Nothing without a device.
void sound_output_close(SoundOutput *device);

}  // namespace platform
