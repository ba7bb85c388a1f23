// Feedback sounds through the system player, heard through SDL's disk audio driver: the
// built-in clips, each hook's sound, "off", WAV files, missing and unreadable files, WAV files
// refused for their rate or size, refused settings, and that a hook returns only after its
// sound has ended, without spinning.
// The output device stays open from the first sound on, so each call is heard in what the
// driver writes after the call began.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "audio_output.h"
#include "calibration/feedback_sounds.h"
#include "calibration/sound_device_notice.h"
#include "calibration_support.h"
#include "platform/audio_mixer.h"
#include "frame/display_hooks.h"
#include "frame/expt_window.h"
#include "frame/sound_backend.h"
#include "test_support.h"
#include "test_system.h"
#include "test_videos.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using cal_test::clip_samples;
using vt_test::cpu_ms;

std::string outputPath;

// How long is listened to after a hook has returned: past the tail that the driver's file
// buffer holds back.
constexpr double kListenMs = 100;

struct Heard {
    Uint64 took = 0;              // wall time of the call, ms
    double cpu = 0;               // processor time used meanwhile, ms
    std::vector<int16_t> output;  // written from the call's start until kListenMs after it
};

template <typename Hook>
Heard play(Hook hook) {
    const size_t from = vt_test::read_samples(outputPath).size();
    const Uint64 start = SDL_GetTicks64();
    const double cpu_before = cpu_ms();
    hook();
    Heard heard;
    heard.cpu = cpu_ms() - cpu_before;
    heard.took = SDL_GetTicks64() - start;
    heard.output = vt_test::written_after(outputPath, from,
                                          vt_test::output_samples(double(heard.took) + kListenMs));
    return heard;
}

bool silent(const Heard &heard) { return vt_test::sounding_span(heard.output) == 0; }

// The built-in clip of kind, and nothing else, in output: its shape and level after the change
// to the output's rate, the same on both channels.
void expect_clip(const std::vector<int16_t> &output, int32_t kind) {
    const std::vector<double> left = vt_test::channel(output, 0);
    const vt_test::Match match = vt_test::find_clip(left, clip_samples(kind), 22050);
    EXPECT_GT(match.correlation, 0.9999) << "the clip is heard, without a glitch";
    EXPECT_NEAR(match.gain, 1.0, 0.02) << "at full volume";
    EXPECT_EQ(left, vt_test::channel(output, 1)) << "mono on both channels";
    EXPECT_LE(vt_test::sounding_span(output), size_t(match.length + 64) * vt_test::kOutputChannels)
        << "and nothing else";
}

class SystemPlayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Before SDL audio starts: the device's output goes to a file.
        outputPath = vt_test::send_audio_to(vt_test::temp_dir() + "/audio.raw");
    }
    void TearDown() override {
        set_cal_sounds("", "", "");
        set_dcorr_sounds("", "", "");
    }
};

TEST(BuiltinClips, AreShortMonoPcmWavesOfTheirLength) {
    struct Expected {
        int32_t kind;
        double ms;
    };
    for (const Expected e : {Expected{1, 18}, Expected{0, 71}, Expected{-1, 218}}) {
        SCOPED_TRACE(testing::Message() << "kind " << e.kind);
        const BuiltinClip clip = builtin_clip(e.kind);
        const cal_test::Wav wav = cal_test::parse_wav(clip.data, clip.size);
        ASSERT_TRUE(wav.ok);
        EXPECT_EQ(wav.fmtSize, 16u);
        EXPECT_EQ(wav.format, 1);
        EXPECT_EQ(wav.channels, 1);
        EXPECT_EQ(wav.rate, 22050u);
        EXPECT_EQ(wav.byteRate, 44100u);
        EXPECT_EQ(wav.blockAlign, 2);
        EXPECT_EQ(wav.bits, 16);
        EXPECT_NEAR(wav.samples.size() * 1000.0 / 22050, e.ms, 0.5);
        int peak = 0;
        for (int16_t s : wav.samples) peak = std::max(peak, std::abs(int(s)));
        EXPECT_GT(peak, 8000) << "clearly audible";
        EXPECT_LT(peak, 32000) << "not clipped";
        EXPECT_EQ(wav.samples.back(), 0) << "ends without a click";
    }
    // Drift correction uses the same clips.
    EXPECT_EQ(builtin_clip(3).data, builtin_clip(1).data);
    EXPECT_EQ(builtin_clip(2).data, builtin_clip(0).data);
    EXPECT_EQ(builtin_clip(-2).data, builtin_clip(-1).data);
}

TEST_F(SystemPlayer, EachHookPlaysItsClipToTheEndWithoutSpinning) {
    ASSERT_FALSE(SDL_WasInit(SDL_INIT_AUDIO)) << "no window: the player starts audio itself";
    SDL_version version;
    SDL_GetVersion(&version);
    const std::string printed = vt_test::capture_stdout([] { EXPECT_EQ(use_system_player(), 1); });
    EXPECT_EQ(printed, "SDL runtime version " + std::to_string(version.major) + "." +
                           std::to_string(version.minor) + "." + std::to_string(version.patch) +
                           "\n");
    EXPECT_EQ(vt_test::capture_stdout([] { use_system_player(); }), "") << "printed once";

    struct Case {
        const char *name;
        void (*hook)();
        int32_t kind;
    };
    const Case cases[] = {
        {"cal target", [] { cal_target_sound_hook(); }, 1},
        {"cal done", [] { cal_done_sound_hook(0); }, 0},
        {"cal error", [] { cal_done_sound_hook(1); }, -1},
        {"dcorr target", [] { dcorr_target_sound_hook(); }, 3},
        {"dcorr done", [] { dcorr_done_sound_hook(0); }, 2},
        {"dcorr error", [] { dcorr_done_sound_hook(-7); }, -2},
    };
    Uint64 wall = 0;
    double cpu = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Heard heard = play(c.hook);
        // A player that spins holds a core for the whole sound.
        cpu += heard.cpu;
        wall += heard.took;
        expect_clip(heard.output, c.kind);
        EXPECT_GE(heard.took * 22050, clip_samples(c.kind).size() * 1000)
            << "the hook returns after the sound ended";
    }
    EXPECT_LT(cpu, 0.1 * double(wall)) << "waiting sleeps";
    EXPECT_TRUE(SDL_WasInit(SDL_INIT_AUDIO));
}

TEST_F(SystemPlayer, DoneHookLooksAtTheLow16BitsOfItsFlag) {
    // The core library may hand over a wider value; only its low 16 bits are the flag.
    auto *wide =
        reinterpret_cast<void (*)(int32_t)>(reinterpret_cast<void (*)()>(&cal_done_sound_hook));
    expect_clip(play([&] { wide(0x10000); }).output, 0);   // the done clip
    expect_clip(play([&] { wide(0x10001); }).output, -1);  // the error clip
}

TEST_F(SystemPlayer, OffInEitherCaseSilencesASound) {
    set_cal_sounds("off", "OFF", "Off");
    set_dcorr_sounds("off ", "", "");
    std::string printed = vt_test::capture_stdout([] {
        EXPECT_TRUE(silent(play(cal_target_sound_hook)));
        EXPECT_TRUE(silent(play([] { cal_done_sound_hook(0); })));
    });
    EXPECT_EQ(printed, "");
    // Any other spelling is a file name.
    printed = vt_test::capture_stdout([] {
        play([] { cal_done_sound_hook(1); });
        play(dcorr_target_sound_hook);
    });
    EXPECT_NE(printed.find("\"Off\""), std::string::npos) << printed;
    EXPECT_NE(printed.find("\"off \""), std::string::npos) << printed;
    expect_clip(play([] { dcorr_done_sound_hook(0); }).output, 2);  // empty: built-in
}

TEST_F(SystemPlayer, WavFilesPlayAndUnplayableFilesLogOneLineNamingThem) {
    const std::string folder = vt_test::temp_dir();
    const std::string wav = folder + "/done copy.wav";
    const BuiltinClip done = builtin_clip(0);
    std::ofstream(wav, std::ios::binary)
        .write(reinterpret_cast<const char *>(done.data), std::streamsize(done.size));
    const std::string text = folder + "/notes.wav";
    std::ofstream(text) << "not a sound\n";
    const std::string missing = folder + "/missing.wav";
    set_cal_sounds(wav.c_str(), missing.c_str(), text.c_str());

    expect_clip(play(cal_target_sound_hook).output, 0);  // the file's sound

    for (const std::string &path : {missing, text}) {
        SCOPED_TRACE(path);
        Heard heard;
        std::string printed = vt_test::capture_stdout(
            [&] { heard = play([&] { cal_done_sound_hook(path == text ? 1 : 0); }); });
        EXPECT_TRUE(silent(heard)) << "no sound";
        ASSERT_FALSE(printed.empty());
        EXPECT_EQ(printed.find('\n'), printed.size() - 1) << "one line: " << printed;
        EXPECT_NE(printed.find("\"" + path + "\""), std::string::npos) << printed;
    }
}

TEST_F(SystemPlayer, WavFilesOutsideTheRatesOrShorterThanTheirDataChunkAreRefused) {
    // A few bytes announcing 1 Hz would play for hours, a GHz would take the converter
    // hundreds of MB; a data chunk announcing more than the file holds is allocated whole.
    vt_test::capture_stdout([] { use_system_player(); });  // its version line, once
    const std::string folder = vt_test::temp_dir();
    const auto wav = [&](uint32_t rate, uintmax_t cut) {
        const std::string path = folder + "/" + std::to_string(rate) + " Hz.wav";
        EXPECT_TRUE(vt_test::write_wav(path, vt_test::tone(0.05, rate)));
        if (cut) std::filesystem::resize_file(path, std::filesystem::file_size(path) - cut);
        return path;
    };
    const auto without_riff = [](const std::string &path) {  // SDL reads such a file too
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const std::string bare = path + ".bare.wav";
        std::ofstream(bare, std::ios::binary) << bytes.substr(8);
        return bare;
    };
    for (const uint32_t rate : {1000u, 384000u}) {
        set_cal_sounds(wav(rate, 0).c_str(), "", "");
        Heard heard;
        EXPECT_EQ(vt_test::capture_stdout([&] { heard = play(cal_target_sound_hook); }), "");
        EXPECT_FALSE(silent(heard)) << rate << " Hz plays";
    }
    const std::string prefix = "vistrak_core_graphics: cannot play sound \"";
    const std::pair<std::string, std::string> refused[] = {
        {wav(999, 0), "its sample rate, 999 Hz, is outside 1000-384000 Hz"},
        {wav(384001, 0), "its sample rate, 384001 Hz, is outside 1000-384000 Hz"},
        {wav(8000, 10), "its data chunk announces 800 bytes but the file holds 790"},
        {without_riff(wav(8000, 10)), "its data chunk announces 800 bytes but the file holds 790"},
    };
    for (const auto &[path, reason] : refused) {
        set_cal_sounds(path.c_str(), "", "");
        Heard heard;
        const std::string printed =
            vt_test::capture_stdout([&] { heard = play(cal_target_sound_hook); });
        EXPECT_EQ(printed, prefix + path + "\": " + reason + "\n");
        EXPECT_TRUE(silent(heard)) << path;
    }
}

TEST_F(SystemPlayer, WithoutADeviceTheLogSaysSoOncePerWindowAndADeviceThatAppearsIsUsed) {
    platform::audio_output_close();  // the next sound opens the device anew
    const size_t said = standin_log_matches("no sound device:");
    {
        const vt_test::EnvironmentOverride none("SDL_AUDIODRIVER", "no-such-driver");
        const std::string printed = vt_test::capture_stdout([] {
            for (int i = 0; i < 3; ++i) {
                cal_target_sound_hook();
                dcorr_done_sound_hook(1);
            }
        });
        EXPECT_EQ(printed, "") << "nothing at each sound";
        EXPECT_EQ(standin_log_matches("no sound device:") - said, 1u);
        ++exptGraphics.windows_opened;  // as init_expt_window counts a new window
        cal_target_sound_hook();
        EXPECT_EQ(standin_log_matches("no sound device:") - said, 2u) << "again in a new window";
    }
    // The suite's disk driver is back: the next sound opens it (writing the file anew).
    const size_t heard_again = standin_log_matches("sounds are heard again");
    std::remove(outputPath.c_str());
    expect_clip(play(cal_target_sound_hook).output, 1);
    EXPECT_EQ(standin_log_matches("sounds are heard again") - heard_again, 1u);
}

TEST_F(SystemPlayer, SettingsThatDoNotFitOrAreMissingAreRefusedAndTheOldOneKept) {
    set_cal_sounds("off", "", "");
    const std::string longest(207, 'a');
    const std::string too_long(208, 'b');
    std::string printed =
        vt_test::capture_stdout([&] { set_cal_sounds(too_long.c_str(), nullptr, ""); });
    EXPECT_NE(printed.find("set_cal_sounds: target sound \"" + too_long +
                           "\" is longer than 207 characters and is refused"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("set_cal_sounds: no done sound given"), std::string::npos) << printed;
    EXPECT_TRUE(silent(play(cal_target_sound_hook))) << "still off";

    printed = vt_test::capture_stdout([&] {
        set_dcorr_sounds(longest.c_str(), "", "");
        play(dcorr_target_sound_hook);
    });
    EXPECT_NE(printed.find("cannot open sound file \"" + longest + "\""), std::string::npos)
        << "207 characters are kept whole: " << printed;
}

TEST_F(SystemPlayer, KindsOutsideTheTablePlayNothing) {
    for (const int32_t kind : {-3, 4, 1000, -32768})
        EXPECT_TRUE(silent(play([&] { play_feedback_sound(kind); }))) << kind;
}

}  // namespace
