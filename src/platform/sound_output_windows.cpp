// The sound output on Windows is the waveOut device itself. Each device keeps a WAVEHDR for
// every buffer written until the system has played it; they are given back, in the order
// written, at the next write, a reset or the close. Whether the device has played everything
// is read from the headers' WHDR_DONE flags, never counted from WOM_DONE callbacks: after a
// reset those may come late, on the system's thread, when a new sound has begun. A buffer
// plays once: the header's loop fields are not handed on, since a loop begun without an end is
// never reported done by Wine's waveOut.
#include "platform/sound_output.h"

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <cmath>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "platform/console_output.h"
#include "platform/sound_device.h"
#include "platform/system_error_windows.h"

namespace platform {

struct SoundOutput {
    HWAVEOUT handle = nullptr;
    SoundOutputCallback callback = nullptr;
    void *instance = nullptr;
    // The list changes on the caller's thread only, under lock; the system's thread reads it.
    std::mutex lock;
    // Prepared, written and not yet given back, oldest first; with its samples mixed down to
    // stereo where the device took no more channels.
    struct Buffer {
        WAVEHDR header{};
        std::vector<uint8_t> mixed;
    };
    std::deque<Buffer> buffers;
    bool reported = true;         // the end of what was written has been reported
    uint32_t block = 1;           // bytes of one sample frame on the device
    uint16_t channels = 0;        // of the sound, when mixed down to stereo; else 0
    uint16_t bits = 16;
    uint32_t source_block = 1;
    DWORD written_at = 0;       // the device's position in bytes when it was written to idle
    uint64_t written_bytes = 0;  // written since then
};

namespace {

// One line on standard output naming the failed call, what it was for, and the system's text.
void report(const char *call, const char *what, MMRESULT result) {
    print("sound output: %s%s: %s\n", call, what, sound_message(result).c_str());
    std::fflush(stdout);
}

// KSDATAFORMAT_SUBTYPE_PCM, spelled out so that no GUID library is needed.
constexpr GUID kPcmSubFormat = {0x00000001, 0x0000, 0x0010,
                                {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The usual speakers of a channel count (3.0, quad, 5.0, 5.1, 6.1, 7.1), as FFmpeg and the
// common encoders lay the channels out.
DWORD speakers(uint16_t channels) {
    switch (channels) {
        case 3: return 0x7;    // front left, right, centre
        case 4: return 0x33;   // front left, right, back left, right
        case 5: return 0x37;   // front left, right, centre, back left, right
        case 6: return 0x3F;   // the same and low frequency
        case 7: return 0x70F;  // front left, right, centre, LFE, back centre, side left, right
        case 8: return 0x63F;  // 5.1 and side left, right
        default: return 0;     // no speaker named: the system decides
    }
}

// Whether the device has played every buffer written; under the lock.
bool all_played(const SoundOutput &device) {
    return std::all_of(device.buffers.begin(), device.buffers.end(), [](const auto &buffer) {
        return (buffer.header.dwFlags & WHDR_DONE) != 0;
    });
}

// Reports Done once the device has played everything written, once for each sound: from the
// system's thread as a buffer ends, or from the caller where it finds the device idle first.
void report_end(SoundOutput &device) {
    {
        const std::lock_guard<std::mutex> held(device.lock);
        if (device.reported || !all_played(device)) return;
        device.reported = true;
    }
    if (device.callback) device.callback(&device, SoundOutputMessage::Done, device.instance);
}

// Runs on the system's audio thread, where no waveOut function may be called.
void CALLBACK device_message(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    auto *device = reinterpret_cast<SoundOutput *>(instance);
    if (message == WOM_DONE) {
        report_end(*device);
        return;
    }
    if (message != WOM_OPEN && message != WOM_CLOSE) return;
    const SoundOutputMessage forwarded =
        message == WOM_OPEN ? SoundOutputMessage::Open : SoundOutputMessage::Close;
    if (device->callback) device->callback(device, forwarded, device->instance);
}

// Gives the system's WAVEHDRs back, the played ones or (after a reset) all. The system may
// hold a header only while it is queued.
void give_back(SoundOutput &device, bool all) {
    while (!device.buffers.empty() &&
           (all || (device.buffers.front().header.dwFlags & WHDR_DONE))) {
        const MMRESULT result = waveOutUnprepareHeader(
            device.handle, &device.buffers.front().header, sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR) {
            report("waveOutUnprepareHeader", "", result);
            return;
        }
        const std::lock_guard<std::mutex> held(device.lock);
        device.buffers.pop_front();
    }
}

// Mixes frames of PCM of channels (8-bit unsigned or 16-bit signed, their speakers as
// speakers() names them) down to stereo: each speaker into the side it is on, a centre one into
// both at -3 dB, the low-frequency one left out, scaled so that no sum can clip.
void mix_down(const uint8_t *in, size_t frames, uint16_t channels, uint16_t bits,
              uint8_t *out) {
    constexpr float kHalf = 0.7071f;
    // Per speaker bit: front left, right, centre, LFE, back left, right, front left and right
    // of centre, back centre, side left, right.
    constexpr float kLeft[] = {1, 0, kHalf, 0, kHalf, 0, 1, 0, kHalf, kHalf, 0};
    constexpr float kRight[] = {0, 1, kHalf, 0, 0, kHalf, 0, 1, kHalf, 0, kHalf};
    float left[8] = {}, right[8] = {}, left_sum = 0, right_sum = 0;
    DWORD mask = speakers(channels);
    for (uint16_t c = 0; c < channels && c < 8; ++c) {
        unsigned bit = 11;  // no speaker named: into both sides
        if (mask) {
            for (bit = 0; !(mask >> bit & 1); ++bit) continue;
            mask &= mask - 1;
        }
        left[c] = bit < 11 ? kLeft[bit] : 0.5f;
        right[c] = bit < 11 ? kRight[bit] : 0.5f;
        left_sum += left[c];
        right_sum += right[c];
    }
    const float scale = 1 / std::max({left_sum, right_sum, 1.0f});
    const size_t bytes = bits / 8;
    for (size_t f = 0; f < frames; ++f, in += channels * bytes) {
        float l = 0, r = 0;
        for (uint16_t c = 0; c < channels; ++c) {
            const float sample =
                bits == 8 ? float(int(in[c]) - 128)
                          : float(int16_t(uint16_t(in[2 * c] | in[2 * c + 1] << 8)));
            l += left[c] * sample;
            r += right[c] * sample;
        }
        for (const float mixed : {l * scale, r * scale}) {
            if (bits == 8) {
                *out++ = uint8_t(std::clamp(int(std::lround(mixed)) + 128, 0, 255));
            } else {
                const long value = std::clamp(std::lround(mixed), -32768L, 32767L);
                *out++ = uint8_t(uint16_t(value));
                *out++ = uint8_t(uint16_t(value) >> 8);
            }
        }
    }
}

// The device's position in bytes since it opened or was last reset (a 32-bit count that wraps
// after 4 GB); false when the driver counts in something else.
bool played_bytes(SoundOutput &device, DWORD &bytes) {
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(device.handle, &time, sizeof time) != MMSYSERR_NOERROR) return false;
    if (time.wType == TIME_BYTES)
        bytes = time.u.cb;
    else if (time.wType == TIME_SAMPLES)
        bytes = time.u.sample * device.block;
    else
        return false;
    return true;
}

}  // namespace

SoundOutput *sound_output_open(const WaveFormat &format, SoundOutputCallback callback,
                               void *instance) {
    auto *device = new (std::nothrow) SoundOutput;
    if (!device) return nullptr;
    device->callback = callback;
    device->instance = instance;
    device->block = format.blockAlign ? format.blockAlign : 1;
    WAVEFORMATEXTENSIBLE extensible{};
    WAVEFORMATEX &wave = extensible.Format;
    wave.wFormatTag = format.formatTag;
    wave.nChannels = format.channels;
    wave.nSamplesPerSec = format.samplesPerSec;
    wave.nAvgBytesPerSec = format.avgBytesPerSec;
    wave.nBlockAlign = format.blockAlign;
    wave.wBitsPerSample = format.bitsPerSample;
    // Windows takes PCM of more than two channels only as WAVE_FORMAT_EXTENSIBLE, which says
    // which speaker each channel is for.
    if (format.formatTag == WAVE_FORMAT_PCM && format.channels > 2) {
        wave.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        wave.cbSize = sizeof extensible - sizeof wave;
        extensible.Samples.wValidBitsPerSample = format.bitsPerSample;
        extensible.dwChannelMask = speakers(format.channels);
        extensible.SubFormat = kPcmSubFormat;
    }
    // WOM_OPEN arrives during the call: the device record is complete before it.
    const auto open = [device](const WAVEFORMATEX &asked) {
        return waveOutOpen(&device->handle, WAVE_MAPPER, &asked,
                           reinterpret_cast<DWORD_PTR>(device_message),
                           reinterpret_cast<DWORD_PTR>(device), CALLBACK_FUNCTION);
    };
    MMRESULT result = open(wave);
    // A device that takes no more than two channels plays the sound mixed down to stereo.
    if (result == WAVERR_BADFORMAT && format.channels > 2 &&
        (format.bitsPerSample == 8 || format.bitsPerSample == 16)) {
        WAVEFORMATEX stereo{};
        stereo.wFormatTag = WAVE_FORMAT_PCM;
        stereo.nChannels = 2;
        stereo.nSamplesPerSec = format.samplesPerSec;
        stereo.wBitsPerSample = format.bitsPerSample;
        stereo.nBlockAlign = WORD(2 * format.bitsPerSample / 8);
        stereo.nAvgBytesPerSec = format.samplesPerSec * stereo.nBlockAlign;
        result = open(stereo);
        if (result == MMSYSERR_NOERROR) {
            print("sound output: the device takes no %u channels: the sound plays mixed "
                  "down to stereo\n",
                  unsigned(format.channels));
            std::fflush(stdout);
            device->channels = format.channels;
            device->bits = format.bitsPerSample;
            device->source_block = device->block;
            device->block = stereo.nBlockAlign;
        }
    }
    if (result == MMSYSERR_BADDEVICEID || result == MMSYSERR_NODRIVER) {
        note_sound_device(false, sound_message(result).c_str());
        delete device;
        return nullptr;
    }
    if (result != MMSYSERR_NOERROR) {
        char what[96];
        std::snprintf(what, sizeof what, " (tag %u, %u bits, %u channels, %u Hz)",
                      unsigned(format.formatTag), unsigned(format.bitsPerSample),
                      unsigned(format.channels), unsigned(format.samplesPerSec));
        report("waveOutOpen", what, result);
        delete device;
        return nullptr;
    }
    note_sound_device(true);
    return device;
}

bool sound_output_prepare(SoundOutput *device, WaveHeader &header) {
    if (!device || (!header.data && header.length > 0)) return false;
    header.prepared = true;  // the system's header is prepared as the buffer is written
    return true;
}

bool sound_output_write(SoundOutput *device, const WaveHeader &header) {
    if (!device || !header.prepared) return false;
    // The end of a sound the device has played out is reported before the next begins.
    report_end(*device);
    give_back(*device, false);
    // Written to the idle device, the buffer begins a sound: the position counts from here,
    // running on from the buffers played before.
    const bool idle = device->buffers.empty();
    SoundOutput::Buffer prepared;
    try {
        if (device->channels) {
            const size_t frames = header.length / device->source_block;
            prepared.mixed.resize(frames * device->block);
            mix_down(header.data, frames, device->channels, device->bits, prepared.mixed.data());
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    WAVEHDR *buffer = nullptr;
    try {
        const std::lock_guard<std::mutex> held(device->lock);
        buffer = &device->buffers.emplace_back(std::move(prepared)).header;
        device->reported = false;
    } catch (const std::bad_alloc &) {
        return false;
    }
    const bool mixed = device->channels != 0;
    buffer->lpData = reinterpret_cast<LPSTR>(
        mixed ? device->buffers.back().mixed.data() : const_cast<uint8_t *>(header.data));
    buffer->dwBufferLength =
        mixed ? DWORD(device->buffers.back().mixed.size()) : header.length;
    // Taken back from the list when the system refuses the buffer; the end of the sound
    // before it stays reported.
    const auto take_back = [device, idle] {
        const std::lock_guard<std::mutex> held(device->lock);
        device->buffers.pop_back();
        device->reported = device->reported || idle;
    };
    MMRESULT result = waveOutPrepareHeader(device->handle, buffer, sizeof *buffer);
    if (result != MMSYSERR_NOERROR) {
        take_back();
        report("waveOutPrepareHeader", "", result);
        return false;
    }
    if (idle) {
        if (!played_bytes(*device, device->written_at)) device->written_at = 0;
        device->written_bytes = 0;
    }
    result = waveOutWrite(device->handle, buffer, sizeof *buffer);
    if (result != MMSYSERR_NOERROR) {
        waveOutUnprepareHeader(device->handle, buffer, sizeof *buffer);
        take_back();
        report("waveOutWrite", "", result);
        return false;
    }
    device->written_bytes += buffer->dwBufferLength;
    return true;
}

bool sound_output_position(SoundOutput *device, uint64_t &frames) {
    DWORD bytes = 0;
    if (!device || !played_bytes(*device, bytes)) return false;
    frames = std::min<uint64_t>(DWORD(bytes - device->written_at), device->written_bytes) /
             device->block;
    return true;
}

void sound_output_reset(SoundOutput *device) {
    if (!device) return;
    const MMRESULT result = waveOutReset(device->handle);
    if (result != MMSYSERR_NOERROR) report("waveOutReset", "", result);
    // The system marks the dropped buffers done, perhaps a moment later: waited for (at most
    // 50 ms), so that a sound written next begins on an idle device with its position at 0.
    for (int waited = 0; waited < 50; ++waited) {
        {
            const std::lock_guard<std::mutex> held(device->lock);
            if (all_played(*device)) break;
        }
        Sleep(1);
    }
    report_end(*device);
    give_back(*device, true);
}

void sound_output_close(SoundOutput *device) {
    if (!device) return;
    // Closing with buffers still queued fails (WAVERR_STILLPLAYING): the reset gives them back.
    sound_output_reset(device);
    const MMRESULT result = waveOutClose(device->handle);  // WOM_CLOSE arrives during the call
    if (result != MMSYSERR_NOERROR) {
        // The system may still call back with this record: it is left to it rather than freed.
        report("waveOutClose", "", result);
        return;
    }
    delete device;
}

}  // namespace platform
