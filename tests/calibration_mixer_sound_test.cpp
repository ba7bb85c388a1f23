// Feedback sounds through SDL_mixer, chosen through the backend seam before the window opens so
// that init_sdl opens the mixer on SDL's disk audio driver: clips heard sample for sample at
// full volume, other channels halted first, "off" and "OFF" on this path, missing files, WAV
// files refused for their rate or size.
#include <gtest/gtest.h>

#include <SDL_mixer.h>

#include <filesystem>
#include <string>

#include "audio_output.h"
#include "calibration/feedback_sounds.h"
#include "calibration_support.h"
#include "frame/expt_window.h"
#include "frame/display_hooks.h"
#include "frame/sound_backend.h"
#include "test_support.h"
#include "test_system.h"
#include "test_videos.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using cal_test::clip_samples;
using vt_test::cpu_ms;
using cal_test::find_clip;
using vt_test::read_samples;

std::string outputPath;

// Whether clip is heard, sample for sample, within the second written after sample from.
bool heard_after(size_t from, const std::vector<int16_t> &clip) {
    return find_clip(vt_test::written_after(outputPath, from, clip.size() + 22050), clip) >= 0;
}

class MixerPlayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        outputPath = vt_test::send_audio_to(vt_test::temp_dir() + "/audio.raw");
        force_sound_backend(0);
        vt_test::ensure_window();
    }
    void TearDown() override {
        set_cal_sounds("", "", "");
        set_dcorr_sounds("", "", "");
    }
};

TEST_F(MixerPlayer, InitOpensTheMixerAndEveryClipIsHeardAtFullVolume) {
    EXPECT_EQ(use_system_player(), 0);
    ASSERT_TRUE(exptGraphics.audio_opened);
    int freq = 0, channels = 0;
    Uint16 format = 0;
    ASSERT_EQ(Mix_QuerySpec(&freq, &format, &channels), 1);
    EXPECT_EQ(freq, 22050);
    EXPECT_EQ(format, AUDIO_S16LSB);
    EXPECT_EQ(channels, 1);

    struct Case {
        const char *name;
        void (*hook)();
        int32_t kind;
    };
    const Case cases[] = {
        {"cal target", [] { cal_target_sound_hook(); }, 1},
        {"cal done", [] { cal_done_sound_hook(0); }, 0},
        {"dcorr error", [] { dcorr_done_sound_hook(2); }, -2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const size_t from = read_samples(outputPath).size();
        const double cpu_before = cpu_ms();
        const Uint64 start = SDL_GetTicks64();
        c.hook();
        const double wall = double(SDL_GetTicks64() - start), cpu = cpu_ms() - cpu_before;
        EXPECT_EQ(Mix_Playing(-1), 0) << "returns once the mixer has played it out";
        EXPECT_TRUE(heard_after(from, clip_samples(c.kind)));
        if (c.kind == -2) {
            EXPECT_LT(cpu, 0.1 * wall) << "waiting sleeps";
        }
    }
}

TEST_F(MixerPlayer, ASoundHaltsWhateverElsePlays) {
    const BuiltinClip error = builtin_clip(-1);
    Mix_Chunk *loop = Mix_LoadWAV_RW(SDL_RWFromConstMem(error.data, int(error.size)), 1);
    ASSERT_NE(loop, nullptr);
    ASSERT_NE(Mix_PlayChannel(-1, loop, -1), -1);
    EXPECT_EQ(Mix_Playing(-1), 1);
    const size_t from = read_samples(outputPath).size();
    dcorr_target_sound_hook();
    EXPECT_EQ(Mix_Playing(-1), 0) << "the endless loop was halted";
    EXPECT_TRUE(heard_after(from, clip_samples(3))) << "the target clip plays alone";
    Mix_FreeChunk(loop);
}

TEST_F(MixerPlayer, OnlyLowerCaseOffSilencesAndUnopenableFilesPrintTheSdlError) {
    set_cal_sounds("off", "OFF", "/nonexistent/error.wav");
    const size_t from = read_samples(outputPath).size();
    std::string printed = vt_test::capture_stdout([] { cal_target_sound_hook(); });
    EXPECT_EQ(printed, "");
    const std::vector<int16_t> after = vt_test::written_after(outputPath, from, 22050 / 2);
    EXPECT_EQ(vt_test::sounding_span(after), 0u) << "silence";

    // "OFF" is a file name here. The line carries SDL's error text, which names the file.
    for (const auto &[flag, name] : {std::pair{0, "OFF"}, std::pair{1, "/nonexistent/error.wav"}}) {
        printed = vt_test::capture_stdout([flag = flag] { cal_done_sound_hook(int16_t(flag)); });
        EXPECT_EQ(printed.rfind("vistrak_core_graphics: ", 0), 0u) << printed;
        EXPECT_NE(printed.find(name), std::string::npos) << printed;
        EXPECT_EQ(printed.substr(printed.size() - 2), " \n") << printed;
        EXPECT_EQ(printed.find('\n'), printed.size() - 1) << "one line";
    }
}

TEST_F(MixerPlayer, WavFilesOutsideTheRatesOrShorterThanTheirDataChunkAreRefused) {
    // SDL_mixer converts a sound in memory: a few bytes announcing 1 Hz would take hundreds of
    // MB, and a data chunk announcing more than the file holds is allocated whole.
    const std::string folder = vt_test::temp_dir();
    const std::string too_slow = folder + "/999 Hz.wav", cut = folder + "/cut.wav";
    ASSERT_TRUE(vt_test::write_wav(too_slow, vt_test::tone(0.05, 999)));
    ASSERT_TRUE(vt_test::write_wav(cut, vt_test::tone(0.05, 8000)));
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 10);
    set_cal_sounds(too_slow.c_str(), cut.c_str(), "");
    const size_t from = read_samples(outputPath).size();
    const std::string printed = vt_test::capture_stdout([] {
        cal_target_sound_hook();
        cal_done_sound_hook(0);
    });
    EXPECT_EQ(printed, "vistrak_core_graphics: cannot play sound \"" + too_slow +
                           "\": its sample rate, 999 Hz, is outside 1000-384000 Hz\n"
                           "vistrak_core_graphics: cannot play sound \"" + cut +
                           "\": its data chunk announces 800 bytes but the file holds 790\n");
    EXPECT_EQ(vt_test::sounding_span(vt_test::written_after(outputPath, from, 22050 / 2)), 0u);
}

}  // namespace
