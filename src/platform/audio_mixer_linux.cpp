// The shared audio output on Linux: one SDL audio device in a fixed format, whose callback
// converts each voice's PCM as it plays, adds the voices up and saturates the sum.
#include "platform/audio_mixer.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <array>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#include "platform/console_output.h"
#include "platform/sound_device.h"

namespace platform {

namespace {

// The output format: the native rate of most current hardware, so that no source a video or a
// WAV file brings is made worse. Buffers of exactly 10 ms: drivers that pace themselves with a
// millisecond timer (disk, dummy) then keep real time.
constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr Uint16 kFrames = 480;
// Frames mixed in one step.
constexpr int kStepFrames = 512;

enum class VoiceState {
    Idle,     // nothing to play
    Playing,  // converting and mixing
    Played,   // all mixed: the end is reported with the device's next buffer, once the
              // last samples have gone to the device
};

// libswresample converts: SDL 2.26's SDL_AudioStream drops frames when one put resamples to
// more than about a thousand, and shifts a steady tone by half a sample now and then.
struct ConverterFree {
    void operator()(SwrContext *converter) const { swr_free(&converter); }
};
using ConverterPtr = std::unique_ptr<SwrContext, ConverterFree>;

}  // namespace

struct AudioVoice {
    ConverterPtr converter;  // source format to the output format
    AudioVoiceEnded ended = nullptr;
    void *user = nullptr;
    int frameBytes = 0;  // one frame of the source
    int rate = 0;
    // Guarded by the mix lock.
    VoiceState state = VoiceState::Idle;
    const uint8_t *data = nullptr;
    uint32_t frames = 0;
    uint32_t fed = 0;     // frames handed to the converter
    uint64_t mixed = 0;   // frames of the output the sound has been mixed into
    struct Piece {
        const uint8_t *data;
        uint32_t frames;
    };
    std::vector<Piece> queued;  // the sound's pieces after data, in order
    size_t nextQueued = 0;      // the first of them not yet begun

    void begin(const Piece &piece) {
        data = piece.data;
        frames = piece.frames;
        fed = 0;
    }
    AudioVoice *next = nullptr;
};

namespace {

// Trivially destructible: the library's unload step, which closes the device, runs after the
// process's static destructors.
struct Output {
    std::mutex lifecycle;          // opening and closing the device; taken before mix
    std::mutex mix;                // the voices and their playing state; held by the callback
    SDL_AudioDeviceID device = 0;  // guarded by lifecycle
    bool closeWhenIdle = false;    // guarded by lifecycle
    AudioVoice *voices = nullptr;  // guarded by mix
};
static_assert(std::is_trivially_destructible_v<Output>);
Output output;

// Converts the voice's next frames (fewer at its end) into out, interleaved, and returns how
// many. Marks the voice played once the converter has given out its last frames.
int convert(AudioVoice &voice, Sint16 *out, int frames) {
    int made = 0;
    while (made < frames) {
        if (voice.fed == voice.frames && voice.nextQueued < voice.queued.size()) {
            voice.begin(voice.queued[voice.nextQueued++]);
            continue;
        }
        const int room = frames - made;
        // About as much as room needs; what the converter cannot give out yet it keeps.
        const int give =
            int(std::min<Sint64>(voice.frames - voice.fed, Sint64(room) * voice.rate / kRate + 1));
        const uint8_t *in = voice.data + size_t(voice.fed) * size_t(voice.frameBytes);
        auto *to = reinterpret_cast<uint8_t *>(out + made * kChannels);
        // No input asks for the converter's last frames.
        const int got = swr_convert(voice.converter.get(), &to, room, give ? &in : nullptr, give);
        if (got < 0 || (give == 0 && got == 0)) {
            voice.state = VoiceState::Played;
            break;
        }
        voice.fed += uint32_t(give);
        made += got;
    }
    return made;
}

// SDL's audio callback: reports the voices whose last samples went out with the previous
// buffer, then mixes the playing ones.
void mix_voices(void *, Uint8 *stream, int bytes) {
    const std::lock_guard<std::mutex> lock(output.mix);
    for (AudioVoice *voice = output.voices; voice; voice = voice->next) {
        if (voice->state != VoiceState::Played) continue;
        voice->state = VoiceState::Idle;
        voice->data = nullptr;
        voice->ended(voice, voice->user);
    }
    auto *out = reinterpret_cast<Sint16 *>(stream);
    const int frames = bytes / int(sizeof(Sint16) * kChannels);
    for (int at = 0; at < frames; at += kStepFrames) {
        const int count = std::min(kStepFrames, frames - at);
        std::array<Sint32, kStepFrames * kChannels> sum{};
        std::array<Sint16, kStepFrames * kChannels> samples;
        for (AudioVoice *voice = output.voices; voice; voice = voice->next) {
            if (voice->state != VoiceState::Playing) continue;
            const int made = convert(*voice, samples.data(), count);
            voice->mixed += uint64_t(made);
            for (size_t i = 0; i < size_t(made * kChannels); ++i) sum[i] += samples[i];
        }
        for (size_t i = 0; i < size_t(count * kChannels); ++i)
            out[size_t(at * kChannels) + i] =
                Sint16(std::clamp<Sint32>(sum[i], SDL_MIN_SINT16, SDL_MAX_SINT16));
    }
}

// ALSA prints its own errors on standard error, nine lines for a missing card at every try.
// While this thread opens the output they go nowhere: the library tells the user once why no
// sound is heard. ALSA's handler for one thread is used, so an application's own ALSA messages
// and handler stay as they are; nothing happens unless SDL has loaded ALSA.
class QuietAlsa {
public:
    QuietAlsa() {
        library_ = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
        if (!library_) return;
        set_local_ = reinterpret_cast<SetLocal>(dlsym(library_, "snd_lib_error_set_local"));
        if (set_local_) previous_ = set_local_(ignore);
    }
    ~QuietAlsa() {
        if (set_local_) set_local_(previous_);
        if (library_) dlclose(library_);
    }
    QuietAlsa(const QuietAlsa &) = delete;
    QuietAlsa &operator=(const QuietAlsa &) = delete;

private:
    using Handler = void (*)(const char *, int, const char *, int, const char *, va_list);
    using SetLocal = Handler (*)(Handler);
    static void ignore(const char *, int, const char *, int, const char *, va_list) {}
    void *library_ = nullptr;
    SetLocal set_local_ = nullptr;
    Handler previous_ = nullptr;
};

// With the lifecycle lock held. A device that cannot open is tried again by the next sound.
bool open_device() {
    if (output.device) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        note_sound_device(false, SDL_GetError());
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = kRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = kChannels;
    wanted.samples = kFrames;
    wanted.callback = mix_voices;
    {
        const QuietAlsa quiet;
        // No changes allowed: SDL converts to whatever the hardware takes.
        output.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    }
    if (!output.device) {
        note_sound_device(false, SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    note_sound_device(true);
    SDL_PauseAudioDevice(output.device, 0);
    return true;
}

// With the lifecycle lock held and no voice left.
void close_device() {
    output.closeWhenIdle = false;
    if (!output.device) return;
    SDL_CloseAudioDevice(output.device);  // returns after the audio thread has ended
    output.device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// The converter's name for an SDL sample format; none for byte orders other than this
// machine's and for signed 8-bit or unsigned 16-bit samples, which no WAV or video brings.
AVSampleFormat sample_format(SDL_AudioFormat format) {
    switch (format) {
        case AUDIO_U8:
            return AV_SAMPLE_FMT_U8;
        case AUDIO_S16SYS:
            return AV_SAMPLE_FMT_S16;
        case AUDIO_S32SYS:
            return AV_SAMPLE_FMT_S32;
        case AUDIO_F32SYS:
            return AV_SAMPLE_FMT_FLT;
        default:
            return AV_SAMPLE_FMT_NONE;
    }
}

ConverterPtr make_converter(SDL_AudioFormat format, int channels, int rate) {
    const AVSampleFormat from = sample_format(format);
    if (from == AV_SAMPLE_FMT_NONE || channels < 1 || channels > 8 || rate < 1) return nullptr;
    AVChannelLayout in_layout, out_layout;
    av_channel_layout_default(&in_layout, channels);
    av_channel_layout_default(&out_layout, kChannels);
    SwrContext *made = nullptr;
    if (swr_alloc_set_opts2(&made, &out_layout, AV_SAMPLE_FMT_S16, kRate, &in_layout, from, rate, 0,
                            nullptr) < 0)
        return nullptr;
    ConverterPtr converter(made);
    // Mono plays at full level on both sides, as on Windows; the converter's own mix would
    // lower it by 3 dB.
    static constexpr double kMonoToStereo[kChannels] = {1.0, 1.0};
    if (channels == 1 && swr_set_matrix(made, kMonoToStereo, 1) < 0) return nullptr;
    if (swr_init(made) < 0) return nullptr;
    return converter;
}

}  // namespace

AudioVoice *audio_voice_create(SDL_AudioFormat format, int channels, int rate,
                               AudioVoiceEnded ended, void *user) {
    ConverterPtr converter = make_converter(format, channels, rate);
    if (!converter) {
        print("audio output: cannot convert sound of format 0x%04X, %d channels, %d Hz\n",
              unsigned(format), channels, rate);
        std::fflush(stdout);
        return nullptr;
    }
    auto *voice = new (std::nothrow) AudioVoice;
    if (!voice) return nullptr;
    voice->converter = std::move(converter);
    voice->ended = ended;
    voice->user = user;
    voice->frameBytes = int(SDL_AUDIO_BITSIZE(format)) / 8 * channels;
    voice->rate = rate;
    const std::lock_guard<std::mutex> lifecycle(output.lifecycle);
    if (!open_device()) {
        delete voice;
        return nullptr;
    }
    const std::lock_guard<std::mutex> mix(output.mix);
    voice->next = output.voices;
    output.voices = voice;
    return voice;
}

namespace {

// With the mix lock held: the voice plays data from its beginning, its position counted anew.
bool start_sound(AudioVoice &voice, const uint8_t *data, uint32_t length) {
    // Initialising again drops what an earlier sound left in the converter.
    if (swr_init(voice.converter.get()) < 0) return false;
    voice.begin({data, length / uint32_t(voice.frameBytes)});
    voice.mixed = 0;
    voice.queued.clear();
    voice.nextQueued = 0;
    voice.state = VoiceState::Playing;
    return true;
}

}  // namespace

bool audio_voice_play(AudioVoice *voice, const uint8_t *data, uint32_t length) {
    if (!voice || (!data && length > 0)) return false;
    const std::lock_guard<std::mutex> lock(output.mix);
    return voice->state == VoiceState::Idle && start_sound(*voice, data, length);
}

bool audio_voice_queue(AudioVoice *voice, const uint8_t *data, uint32_t length) {
    if (!voice || (!data && length > 0)) return false;
    const std::lock_guard<std::mutex> lock(output.mix);
    if (voice->state == VoiceState::Idle) return start_sound(*voice, data, length);
    const AudioVoice::Piece piece{data, length / uint32_t(voice->frameBytes)};
    if (voice->state == VoiceState::Played) {
        // All mixed, its end not yet reported: it goes on with this piece, from where it is.
        // The converter gave out its last frames and starts again.
        if (swr_init(voice->converter.get()) < 0) return false;
        voice->begin(piece);
        voice->state = VoiceState::Playing;
        return true;
    }
    try {
        voice->queued.push_back(piece);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

uint64_t audio_voice_position(AudioVoice *voice) {
    if (!voice) return 0;
    const std::lock_guard<std::mutex> lock(output.mix);
    return voice->mixed * uint64_t(voice->rate) / uint64_t(kRate);
}

bool audio_voice_reset(AudioVoice *voice) {
    if (!voice) return false;
    const std::lock_guard<std::mutex> lock(output.mix);
    const bool dropped = voice->state != VoiceState::Idle;
    voice->state = VoiceState::Idle;
    voice->data = nullptr;
    voice->queued.clear();
    return dropped;
}

void audio_voice_destroy(AudioVoice *voice) {
    if (!voice) return;
    const std::lock_guard<std::mutex> lifecycle(output.lifecycle);
    bool last = false;
    {
        const std::lock_guard<std::mutex> mix(output.mix);
        AudioVoice **link = &output.voices;
        while (*link && *link != voice) link = &(*link)->next;
        if (*link) *link = voice->next;
        last = output.voices == nullptr;
    }
    delete voice;
    if (last && output.closeWhenIdle) close_device();
}

void audio_output_close() {
    const std::lock_guard<std::mutex> lifecycle(output.lifecycle);
    bool idle = false;
    {
        const std::lock_guard<std::mutex> mix(output.mix);
        idle = output.voices == nullptr;
    }
    if (idle)
        close_device();
    else
        output.closeWhenIdle = true;
}

}  // namespace platform
