// The shared audio output heard through SDL's disk audio driver: voices of different formats
// mixed into one device, sums beyond full scale saturated, reset and replay, a sound queued in
// pieces, ends reported once, the device kept open under a playing voice and opened again after closing, and formats
// that cannot be converted.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio_output.h"
#include "platform/audio_mixer.h"
#include "test_support.h"
#include "test_videos.h"

namespace {

using platform::AudioVoice;

std::string outputPath;

void count_end(AudioVoice *, void *user) { ++*static_cast<std::atomic<int> *>(user); }

// Waits up to two seconds for count to reach at least expected.
bool wait_for(const std::atomic<int> &count, int expected) {
    for (int i = 0; i < 400 && count < expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return count >= expected;
}

size_t written() { return vt_test::read_samples(outputPath).size(); }

// Output samples of one constant value for ms, 48 kHz stereo: no conversion changes them.
std::vector<int16_t> constant(int16_t value, double ms) {
    return std::vector<int16_t>(vt_test::output_samples(ms), value);
}

class AudioMixer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        outputPath = vt_test::send_audio_to(vt_test::temp_dir() + "/audio.raw");
    }
    // Each case ends with the device closed: its file is complete.
    void TearDown() override { platform::audio_output_close(); }
};

TEST_F(AudioMixer, VoicesOfAnyFormatSoundTogetherOnOneDevice) {
    struct Source {
        SDL_AudioFormat format;
        double hz, level;
        vt_test::PcmSound sound;
    };
    std::vector<Source> sources{
        {AUDIO_S16SYS, 500, 6000, vt_test::sine(0.3, 500, 6000, 44100, 2)},
        {AUDIO_S16SYS, 1500, 9000, vt_test::sine(0.3, 1500, 9000, 22050, 1)},
        {AUDIO_U8, 2500, 6000, vt_test::sine(0.3, 2500, 6000, 8000, 1)},
    };
    // 16-bit to unsigned 8-bit, rounded.
    std::vector<uint8_t> eight_bit;
    for (size_t i = 0; i + 1 < sources[2].sound.data.size(); i += 2) {
        const auto sample = int16_t(sources[2].sound.data[i] | sources[2].sound.data[i + 1] << 8);
        eight_bit.push_back(uint8_t(std::lround(sample / 256.0) + 128));
    }
    sources[2].sound.data = eight_bit;
    sources[2].sound.bits = 8;

    std::atomic<int> ends{0};
    std::vector<AudioVoice *> voices;
    for (const Source &s : sources) {
        voices.push_back(platform::audio_voice_create(s.format, s.sound.channels, int(s.sound.rate),
                                                      count_end, &ends));
        ASSERT_NE(voices.back(), nullptr);
    }
    for (size_t i = 0; i < voices.size(); ++i)
        EXPECT_TRUE(platform::audio_voice_play(voices[i], sources[i].sound.data.data(),
                                               uint32_t(sources[i].sound.data.size())));
    ASSERT_TRUE(wait_for(ends, 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ends, 3) << "each end is reported once";
    for (AudioVoice *voice : voices) platform::audio_voice_destroy(voice);

    const std::vector<int16_t> output = vt_test::read_samples(outputPath);
    const std::vector<double> left = vt_test::channel(output, 0);
    EXPECT_EQ(left, vt_test::channel(output, 1));
    size_t together = 0;
    for (const vt_test::ToneFit &fit : vt_test::fit_windows(left, {500, 1500, 2500})) {
        bool all = true;
        for (size_t i = 0; i < sources.size(); ++i)
            all = all && std::abs(fit.amplitudes[i] - sources[i].level) < 0.02 * sources[i].level;
        // What is left over is the 8-bit source's rounding (256 / sqrt(12) = 74).
        together += all && fit.residual < 150;
    }
    EXPECT_GE(together, 25u) << "all three, whole, for most of their 0.3 s";
}

TEST_F(AudioMixer, SumsBeyondFullScaleSaturateInsteadOfWrappingAround) {
    std::atomic<int> ends{0};
    AudioVoice *first = platform::audio_voice_create(AUDIO_S16SYS, 2, 48000, count_end, &ends);
    AudioVoice *second = platform::audio_voice_create(AUDIO_S16SYS, 2, 48000, count_end, &ends);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    int expected = 0;
    for (const int16_t level : {int16_t(20000), int16_t(-20000)}) {
        SCOPED_TRACE(level);
        const std::vector<int16_t> a = constant(level, 100), b = constant(level, 60);
        const size_t from = written();
        platform::audio_voice_play(first, reinterpret_cast<const uint8_t *>(a.data()),
                                   uint32_t(a.size() * 2));
        platform::audio_voice_play(second, reinterpret_cast<const uint8_t *>(b.data()),
                                   uint32_t(b.size() * 2));
        expected += 2;
        ASSERT_TRUE(wait_for(ends, expected));
        const std::vector<int16_t> out =
            vt_test::written_after(outputPath, from, vt_test::output_samples(200));
        const int16_t full = level > 0 ? SDL_MAX_SINT16 : SDL_MIN_SINT16;
        size_t saturated = 0, single = 0, other = 0;
        for (const int16_t s : out) {
            saturated += s == full;
            single += s == level;
            other += s != full && s != level && s != 0;
        }
        EXPECT_EQ(other, 0u) << "nothing wrapped around";
        // The shorter sound starts with the longer one or a buffer later: it lies within it.
        EXPECT_EQ(saturated, b.size());
        EXPECT_EQ(single, a.size() - b.size());
    }
    platform::audio_voice_destroy(first);
    platform::audio_voice_destroy(second);
}

TEST_F(AudioMixer, ResetDropsASoundUnreportedAndTheVoicePlaysAgain) {
    const vt_test::PcmSound sound = vt_test::sine(1.0, 1000, 10000);
    std::atomic<int> ends{0};
    AudioVoice *voice = platform::audio_voice_create(AUDIO_S16SYS, 1, 22050, count_end, &ends);
    ASSERT_NE(voice, nullptr);
    EXPECT_FALSE(platform::audio_voice_reset(voice)) << "nothing to drop";
    const auto *data = sound.data.data();
    const auto length = uint32_t(sound.data.size());
    ASSERT_TRUE(platform::audio_voice_play(voice, data, length));
    EXPECT_FALSE(platform::audio_voice_play(voice, data, length)) << "still playing";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(platform::audio_voice_reset(voice));
    // Past what the driver's file buffer still holds from before the reset.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const std::vector<int16_t> after =
        vt_test::written_after(outputPath, written(), vt_test::output_samples(200));
    EXPECT_EQ(vt_test::sounding_span(after), 0u) << "silent at once";
    EXPECT_EQ(ends, 0) << "a dropped sound's end is not reported";

    // The first 50 ms again, from its beginning, at the same level.
    std::vector<int16_t> start(22050 / 20);
    std::memcpy(start.data(), data, start.size() * 2);
    const size_t from = written();
    ASSERT_TRUE(platform::audio_voice_play(voice, data, uint32_t(start.size() * 2)));
    ASSERT_TRUE(wait_for(ends, 1));
    // The position counts the new sound alone, in its own frames.
    EXPECT_NEAR(double(platform::audio_voice_position(voice)), double(start.size()), 2);
    const std::vector<double> again =
        vt_test::channel(vt_test::written_after(outputPath, from, vt_test::output_samples(150)), 0);
    const vt_test::Match match = vt_test::find_clip(again, start, 22050);
    EXPECT_GT(match.correlation, 0.9999);
    EXPECT_NEAR(match.gain, 1.0, 0.01);
    platform::audio_voice_destroy(voice);
}

// A sound handed over in pieces, as a video's sound is read while it plays: one sound without
// a seam, its end reported once, after the last piece, its position counted across them.
TEST_F(AudioMixer, QueuedPiecesPlayAsOneSoundEndedOnceAfterTheLast) {
    const vt_test::PcmSound sound = vt_test::sine(0.3, 1000, 10000);
    std::atomic<int> ends{0};
    AudioVoice *voice = platform::audio_voice_create(AUDIO_S16SYS, 1, 22050, count_end, &ends);
    ASSERT_NE(voice, nullptr);
    const size_t from = written();
    const uint32_t third = uint32_t(sound.data.size() / 3) & ~1u;
    for (int i = 0; i < 3; ++i) {
        const uint32_t length = i < 2 ? third : uint32_t(sound.data.size()) - 2 * third;
        ASSERT_TRUE(platform::audio_voice_queue(voice, sound.data.data() + i * third, length));
    }
    ASSERT_TRUE(wait_for(ends, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ends, 1) << "one end, after the last piece";
    EXPECT_NEAR(double(platform::audio_voice_position(voice)), double(sound.data.size() / 2), 2);
    std::vector<int16_t> samples(sound.data.size() / 2);
    std::memcpy(samples.data(), sound.data.data(), sound.data.size());
    const std::vector<double> heard =
        vt_test::channel(vt_test::written_after(outputPath, from, vt_test::output_samples(400)), 0);
    const vt_test::Match match = vt_test::find_clip(heard, samples, 22050);
    EXPECT_GT(match.correlation, 0.9999) << "no seam between the pieces";
    EXPECT_NEAR(match.gain, 1.0, 0.01);
    platform::audio_voice_destroy(voice);
}

TEST_F(AudioMixer, TheDeviceClosesOnlyWithoutVoicesAndOpensAgainOnDemand) {
    ASSERT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "closed by the previous case";
    const std::vector<int16_t> sound = constant(10000, 200);
    std::atomic<int> ends{0};
    AudioVoice *voice = platform::audio_voice_create(AUDIO_S16SYS, 2, 48000, count_end, &ends);
    ASSERT_NE(voice, nullptr);
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    platform::audio_voice_play(voice, reinterpret_cast<const uint8_t *>(sound.data()),
                               uint32_t(sound.size() * 2));
    platform::audio_output_close();  // as close_expt_graphics under a playing sound
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "the sound plays on";
    ASSERT_TRUE(wait_for(ends, 1));
    platform::audio_voice_destroy(voice);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "closed with its last voice";
    size_t loud = 0;
    for (const int16_t s : vt_test::read_samples(outputPath)) loud += s == 10000;
    EXPECT_EQ(loud, sound.size()) << "heard whole";

    // A voice opens it again; closing without voices closes at once.
    voice = platform::audio_voice_create(AUDIO_S16SYS, 2, 48000, count_end, &ends);
    ASSERT_NE(voice, nullptr);
    platform::audio_voice_play(voice, reinterpret_cast<const uint8_t *>(sound.data()),
                               uint32_t(sound.size() * 2));
    ASSERT_TRUE(wait_for(ends, 2));
    platform::audio_voice_destroy(voice);
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "no close was asked for";
    platform::audio_output_close();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

TEST_F(AudioMixer, FormatsThatCannotBeConvertedAreRefusedWithAMessage) {
    std::atomic<int> ends{0};
    struct Case {
        SDL_AudioFormat format;
        int channels, rate;
        const char *text;
    };
    for (const Case c :
         {Case{AUDIO_S16MSB, 1, 22050, "format 0x9010, 1 channels, 22050 Hz"},
          Case{AUDIO_S8, 1, 22050, "format 0x8008"}, Case{AUDIO_S16SYS, 0, 22050, "0 channels"},
          Case{AUDIO_S16SYS, 9, 22050, "9 channels"}, Case{AUDIO_S16SYS, 2, 0, "0 Hz"},
          Case{AUDIO_S16SYS, 2, -44100, "-44100 Hz"}}) {
        SCOPED_TRACE(c.text);
        AudioVoice *voice = nullptr;
        const std::string printed = vt_test::capture_stdout([&] {
            voice = platform::audio_voice_create(c.format, c.channels, c.rate, count_end, &ends);
        });
        EXPECT_EQ(voice, nullptr);
        EXPECT_EQ(printed.rfind("audio output: cannot convert sound of ", 0), 0u) << printed;
        EXPECT_NE(printed.find(c.text), std::string::npos) << printed;
    }
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "no device opened for them";
}

}  // namespace
