// The playback thread driven as draw_cal_target and the erasing hooks drive it: what it
// presents (every presented frame saved by SDL's dummy video driver), pass counts, the ways it
// ends, the stop handshake, and the sound it plays on SDL's disk audio driver, also together
// with the target sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio_output.h"
#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "calibration/feedback_sounds.h"
#include "calibration/pass_clock.h"
#include "calibration/sound_track.h"
#include "calibration/video_frames.h"
#include "calibration/video_sound.h"
#include "disk_audio.h"
#include "frame/expt_window.h"
#include "leak_checks.h"
#include "platform/audio_mixer.h"
#include "frame/display_hooks.h"
#include "presented_frames.h"
#include "test_support.h"
#include "test_system.h"
#include "test_videos.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using vt_test::PresentedFrames;
using vt_test::program_folder;
using vt_test::wait_until;
using vt_test::write_program_video;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;
constexpr int kWidth = 32, kHeight = 24;

// Frame i: red, green and blue quadrants and a bottom-right quadrant of grey level 20 * i.
uint32_t grey(int i) { return uint32_t(20 * i) * 0x010101; }

// Writes a 32 x 24 video of count frames at rate, with sound_seconds of sound (0: none).
std::string write_video(const std::string &name, int count, uint32_t rate,
                        double sound_seconds = 0) {
    return write_program_video(name,
                               {kWidth, kHeight, count, rate, grey, vt_test::tone(sound_seconds)});
}

// The kept window of the loads below; tests lower it.
size_t kept_frames = default_video_limits().kept_frames;

void load(const std::string &path, int32_t play_count, int32_t expected) {
    set_cal_animation_target(path.c_str(), play_count, 0);
    int32_t result = 0;
    const VideoLimits limits{default_video_limits().budget, kept_frames};
    vt_test::capture_stdout([&] { result = LoadVideo(path.c_str(), limits); });
    ASSERT_EQ(result, expected);
}

// What draw_cal_target does for an animated target.
void draw_at(int16_t x, int16_t y) {
    calData.targetPosition = TargetPosition{x, y};
    start_playback_thread();
}

bool wait_until_idle(int seconds = 10) {
    return wait_until([] { return calData.animationTarget.threadState == 0; }, seconds);
}

bool wait_for_log(const char *text, size_t count, int seconds = 10) {
    return wait_until([&] { return standin_log_matches(text) >= count; }, seconds);
}

size_t passes() { return standin_log_matches("calData.animationTarget.audioPlaying ="); }

// The colour of a presented frame at (x, y).
uint32_t presented(const std::string &file, int x, int y) {
    SDL_Surface *frame = SDL_LoadBMP(file.c_str());
    if (!frame) return 0xDEADBEEF;
    const uint32_t rgb = vt_test::surface_rgb(frame, x, y);
    SDL_FreeSurface(frame);
    return rgb;
}

// Frame i (any frame for -1) drawn centred on (x, y): its corners inside, the pixel beyond
// its top-left corner still the window's earlier picture.
void expect_frame_at(const std::string &file, int i, int x, int y) {
    SCOPED_TRACE(file);
    const int left = x - kWidth / 2, top = y - kHeight / 2;
    EXPECT_EQ(presented(file, left, top), kRed);
    EXPECT_EQ(presented(file, left + kWidth - 1, top), kGreen);
    EXPECT_EQ(presented(file, left, top + kHeight - 1), kBlue);
    if (i >= 0) {
        EXPECT_EQ(presented(file, left + kWidth - 1, top + kHeight - 1), grey(i));
    }
    EXPECT_EQ(presented(file, left - 1, top - 1), 0xB4B4B4u);
}

class AnimationPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        if (!PresentedFrames::available())
            GTEST_SKIP() << "presented frames are saved by the dummy video driver only";
        // The calibration background, as the window's first frame paints it.
        SDL_SetRenderDrawColor(exptGraphics.renderer, 180, 180, 180, 255);
        SDL_RenderClear(exptGraphics.renderer);
        SDL_RenderPresent(exptGraphics.renderer);
        standin_reset();
    }
    // Each case ends with the output device closed, as close_expt_graphics leaves it, so that
    // the next one opens it on its own driver.
    void TearDown() override {
        stop_playback_thread();
        release_animation();
        platform::audio_output_close();
        calData.targetPosition = TargetPosition{};
    }
};

// First in this program: a thread stack freed by an earlier thread could be reused. Without
// room for a thread, the load decodes the first frame itself, and the playback thread cannot
// start.
#ifndef __SANITIZE_THREAD__  // the address-space limit cannot apply under ThreadSanitizer
TEST_F(AnimationPlayback, ThreadThatCannotStartIsReportedAndStartedByTheNextDraw) {
    if (!vt_test::resource_limits_available()) GTEST_SKIP() << vt_test::kNoResourceLimits;
    const std::string path = write_video("retry.avi", 2, 100);
    const std::string printed = vt_test::capture_stdout([&] {
        vt_test::with_address_space_limit(1 << 20, [&] {
            load(path, 1, -1);
            draw_at(400, 300);
        });
    });
    EXPECT_NE(printed.find("start_playback_thread: the playback thread cannot start"),
              std::string::npos)
        << printed;
    EXPECT_EQ(calData.animationTarget.threadState, 0);
    draw_at(400, 300);
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(passes(), 1u);
}
#endif

// Frames kept after the first pass, and decoded again at each pass (a kept window of less
// than a frame), the ring of frames ahead then smaller than the video.
constexpr std::pair<const char *, size_t> kKeptAndDecoded[] = {{"kept", size_t(128) << 20},
                                                               {"decoded at each pass", 1}};

// Puts the kept window back as it was.
struct KeptWindowRestored {
    ~KeptWindowRestored() { kept_frames = default_video_limits().kept_frames; }
};

TEST_F(AnimationPlayback, PlayCountOnePlaysOncePerDrawCentredOnTheTarget) {
    const KeptWindowRestored restore;
    // 25 frames a second: a present that a busy machine delays is not a frame dropped.
    const std::string path = write_video("once.avi", 12, 25);
    for (const auto &[name, kept_limit] : kKeptAndDecoded) {
        SCOPED_TRACE(name);
        kept_frames = kept_limit;
        load(path, 1, -1);
        standin_reset();
        PresentedFrames saved;
        draw_at(300, 200);
        ASSERT_TRUE(wait_until_idle());
        draw_at(501, 401);  // the next target plays the video once more
        ASSERT_TRUE(wait_until_idle());
        const std::vector<std::string> files = saved.files();
        ASSERT_EQ(files.size(), 26u);  // per pass 12 frames and the background
        for (int i = 0; i < 12; ++i) {
            expect_frame_at(files[size_t(i)], i, 300, 200);
            expect_frame_at(files[size_t(13 + i)], i, 501, 401);
        }
        EXPECT_EQ(passes(), 2u);
        const size_t decoded = calData.animationTarget.player->frames().decoded();
        if (kept_limit > 1) {
            EXPECT_EQ(decoded, 12u) << "the second pass decodes nothing";
        } else {
            EXPECT_GE(decoded, 23u) << "the second pass decodes frames 1 to 11 again";
        }
    }
}

TEST_F(AnimationPlayback, PassCountsLimitThePasses) {
    const std::string path = write_video("count.avi", 3, 100);
    load(path, 3, -1);
    draw_at(200, 200);
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(passes(), 3u);

    // A negative count ends each thread at once: nothing is presented.
    load(path, -2, -1);
    standin_reset();
    PresentedFrames saved;
    draw_at(200, 200);
    ASSERT_TRUE(wait_until_idle());
    draw_at(250, 250);
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(passes(), 0u);
    EXPECT_TRUE(saved.files().empty());

    // A target drawn during the last pass gets a whole pass of its own after it.
    load(write_video("last_pass.avi", 6, 20), 1, -1);
    standin_reset();
    PresentedFrames moved;
    draw_at(200, 200);
    ASSERT_TRUE(wait_for_log("calData.animationTarget.audioPlaying =", 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    draw_at(500, 400);
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(passes(), 2u);
    const std::vector<std::string> files = moved.files();
    ASSERT_GE(files.size(), 8u);
    for (int i = 0; i < 6; ++i) expect_frame_at(files[files.size() - 7 + size_t(i)], i, 500, 400);
}

// Behind the pass's clock (a video of 2000 frames a second, each present saved as a file), the
// newest frame that is due is shown and the older ones are dropped: the frames shown run in
// order to the last, fewer than the video holds.
TEST_F(AnimationPlayback, LateFramesAreDroppedForTheNewestDue) {
    // Levels apart from the background's 180.
    const auto level = [](int i) { return uint32_t(6 * i + 1) * 0x010101; };
    const std::string path =
        write_program_video("late.avi", {kWidth, kHeight, 40, 2000, level, vt_test::tone(0)});
    load(path, 1, -1);
    PresentedFrames saved;
    draw_at(300, 300);
    ASSERT_TRUE(wait_until_idle());
    std::vector<int> shown;
    for (const std::string &file : saved.files()) {
        const uint32_t rgb = presented(file, 300 - kWidth / 2 + kWidth - 1,
                                       300 - kHeight / 2 + kHeight - 1);
        if (rgb != 0xB4B4B4u) shown.push_back(int((rgb & 0xFF) - 1) / 6);
    }
    ASSERT_GE(shown.size(), 2u);
    EXPECT_LT(shown.size(), 40u) << "frames dropped";
    EXPECT_EQ(shown.front(), 0);
    EXPECT_EQ(shown.back(), 39) << "the last frame is shown";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()) &&
                std::adjacent_find(shown.begin(), shown.end()) == shown.end())
        << "in order, none twice";
    EXPECT_EQ(calData.animationTarget.player->dropped() + shown.size(), 40u);
}

TEST_F(AnimationPlayback, EndlessPlayRunsUntilStoppedAndStopReturnsAfterTheEnd) {
    const KeptWindowRestored restore;
    const std::string path = write_video("endless.avi", 4, 100);
    for (const auto &[name, kept_limit] : kKeptAndDecoded) {
        SCOPED_TRACE(name);
        kept_frames = kept_limit;
        load(path, 0, -1);
        standin_reset();
        PresentedFrames saved;
        draw_at(400, 300);
        ASSERT_TRUE(wait_for_log("calData.animationTarget.audioPlaying =", 3));
        stop_playback_thread();  // the decoding runs ahead without end
        EXPECT_EQ(calData.animationTarget.threadState, 0);
        const size_t shown = saved.files().size();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(saved.files().size(), shown);  // nothing is presented after the stop returned
        // Two passes and the third begun: each pass shows its first frame and the background
        // after it, whatever frames a slow present had to drop.
        EXPECT_GE(shown, 5u);
    }
}

TEST_F(AnimationPlayback, EndsByItselfWhenThePositionIsClearedOrOnAbort) {
    load(write_video("clear.avi", 4, 100), 0, -1);
    draw_at(400, 300);
    ASSERT_TRUE(wait_for_log("calData.animationTarget.audioPlaying =", 2));
    calData.targetPosition = TargetPosition{};  // clear_cal_hook's work
    EXPECT_TRUE(wait_until_idle(2));

    draw_at(400, 300);
    ASSERT_TRUE(wait_for_log("calData.animationTarget.audioPlaying =", 4));
    standin_set_abort(1);
    EXPECT_TRUE(wait_until_idle(2));
    standin_set_abort(0);
}

TEST_F(AnimationPlayback, FollowsTheTargetToItsNewPosition) {
    load(write_video("follow.avi", 3, 25), 0, -1);
    PresentedFrames saved;
    draw_at(200, 150);
    ASSERT_TRUE(wait_for_log("calData.animationTarget.audioPlaying =", 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    draw_at(600, 450);  // the thread runs: only the position changes
    ASSERT_TRUE(wait_for_log("calData.animationTarget.audioPlaying =", 3));
    stop_playback_thread();
    const std::vector<std::string> files = saved.files();
    ASSERT_GE(files.size(), 8u);
    expect_frame_at(files.front(), 0, 200, 150);
    // The stop leaves the background alone on screen, after frames at the new position.
    expect_frame_at(files[files.size() - 2], -1, 600, 450);
    EXPECT_EQ(presented(files.back(), 600, 450), 0xB4B4B4u);
}

TEST_F(AnimationPlayback, StopOrReleaseWhileTheThreadIsStartingWaitsForIt) {
    const KeptWindowRestored restore;
    kept_frames = 1;  // the decoding thread starts with the playback thread
    const std::string path = write_video("start_stop.avi", 6, 100);
    for (int i = 0; i < 40; ++i) {
        load(path, 0, -1);
        draw_at(300, 300);
        if (i % 2 == 0) {
            stop_playback_thread();  // the thread may not have run yet
            ASSERT_EQ(calData.animationTarget.threadState, 0) << i;
        }
        release_animation();  // frees the frames: the threads must be gone
        ASSERT_EQ(calData.animationTarget.threadState, 0) << i;
    }
}

// Sound on SDL's disk driver.
class AnimationSound : public AnimationPlayback {
protected:
    void SetUp() override {
        if (!vt_test::sound_output_heard_through_sdl()) GTEST_SKIP() << vt_test::kSoundNotThroughSdl;
        AnimationPlayback::SetUp();
    }
    // The left channel of everything played, once the animated target is released and the
    // output closed (which completes the file).
    std::vector<double> heard() const {
        release_animation();
        platform::audio_output_close();
        return vt_test::channel(vt_test::read_samples(output_), 0);
    }
    // Seconds of the tone (+-8000) in what was played.
    double sounding_seconds() const {
        release_animation();
        return audio_.tone_seconds();
    }
    std::string output_ = program_folder() + "/sound_output.raw";
    vt_test::DiskAudio audio_{output_};
};

TEST_F(AnimationSound, ShortSoundIsQueuedOncePerPass) {
    // Passes of 0.5 s, a sound of 0.25 s.
    load(write_video("short_sound.avi", 10, 20, 0.25), 3, 1);
    draw_at(300, 300);
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying reset to 1"), 1u);
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying is 2"), 2u);
    EXPECT_NEAR(sounding_seconds(), 3 * 0.25, 0.05 * 0.25);
}

TEST_F(AnimationSound, LongSoundRunsOnIntoTheNextPass) {
    // Passes of 0.5 s, a sound of 0.75 s: queued at pass 1, still playing at pass 2, queued
    // again at pass 3 and cut when the third pass ends.
    load(write_video("long_sound.avi", 10, 20, 0.75), 3, 1);
    draw_at(300, 300);
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying reset to 1"), 1u);
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying is 2"), 1u);
    const double seconds = sounding_seconds();
    EXPECT_GT(seconds, 1.1);
    EXPECT_LT(seconds, 1.4);
}

TEST_F(AnimationSound, WithoutADeviceFramesPlaySilentlyAndTheNextRunHasSound) {
    const std::string path = write_video("no_device.avi", 4, 50, 0.1);
    // The device is opened as the video loads.
    vt_test::set_env("SDL_AUDIODRIVER", "no-such-driver");
    load(path, 2, 1);
    std::string printed;
    {
        PresentedFrames saved;
        printed = vt_test::capture_stdout([] {
            draw_at(300, 300);
            wait_until_idle();
        });
        // Both passes showed their frames (or dropped those a slow machine made late) and the
        // background after each.
        EXPECT_EQ(saved.files().size() + calData.animationTarget.player->dropped(), 10u);
    }
    size_t failures = 0;
    for (size_t at = 0; (at = printed.find("error occurs during audio play\n", at)) != std::string::npos; ++at)
        ++failures;
    EXPECT_EQ(failures, 2u);  // tried once per pass
    EXPECT_EQ(standin_log_matches("no sound device:"), 1u) << "the log is told once";
    EXPECT_EQ(calData.animationTarget.audioPlaying, -1);

    vt_test::set_env("SDL_AUDIODRIVER", "disk");
    // The disk driver writes the fixture's file, under the test's folder.
    vt_test::set_env("SDL_DISKAUDIOFILE", output_);
    draw_at(300, 300);
    ASSERT_TRUE(wait_until_idle());
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying reset to 1"), 1u);
    EXPECT_EQ(standin_log_matches("sounds are heard again"), 1u);
    EXPECT_GT(sounding_seconds(), 0.09);
}

TEST_F(AnimationSound, TargetSoundsPlayOverTheVideosSoundPassAfterPass) {
    // Passes of 0.5 s with 0.4 s of a 500 Hz tone; in each pass the target sound, 0.1 s of a
    // 1500 Hz tone, while the video's sound plays. Each source has its own format.
    constexpr double kVideoHz = 500, kVideoLevel = 8000, kTargetHz = 1500, kTargetLevel = 12000;
    const vt_test::PcmSound sound = vt_test::sine(0.4, kVideoHz, kVideoLevel, 44100, 2);
    const std::string video = program_folder() + "/tone.avi";
    ASSERT_TRUE(vt_test::write_quadrant_video(video, {kWidth, kHeight, 10, 20, grey, sound}));
    const std::string target = program_folder() + "/target.wav";
    ASSERT_TRUE(vt_test::write_wav(target, vt_test::sine(0.1, kTargetHz, kTargetLevel)));
    set_cal_sounds(target.c_str(), "", "");
    load(video, 2, 1);

    std::vector<Uint64> took;
    const std::string printed = vt_test::capture_stdout([&] {
        draw_at(300, 300);
        for (size_t pass = 1; pass <= 2; ++pass) {
            if (!wait_for_log("calData.animationTarget.audioPlaying =", pass)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const Uint64 start = SDL_GetTicks64();
            cal_target_sound_hook();
            took.push_back(SDL_GetTicks64() - start);
        }
        wait_until_idle();
    });
    set_cal_sounds("", "", "");
    ASSERT_EQ(took.size(), 2u) << printed;
    for (const Uint64 ms : took) EXPECT_GE(ms, 100u) << "the hook returns after its sound";
    EXPECT_EQ(printed.find("already open"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("error occurs during audio play"), std::string::npos) << printed;
    // The video's sound reported its end in the first pass and was queued again.
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying reset to 1"), 1u);
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying is 2"), 1u);

    size_t video_windows = 0, target_windows = 0, clean_together = 0;
    for (const vt_test::ToneFit &fit : vt_test::fit_windows(heard(), {kVideoHz, kTargetHz})) {
        const bool video_sounds = fit.amplitudes[0] > kVideoLevel / 2;
        const bool target_sounds = fit.amplitudes[1] > kTargetLevel / 2;
        video_windows += video_sounds;
        target_windows += target_sounds;
        // Both whole, nothing else: neither clipped nor wrapped around.
        clean_together += video_sounds && target_sounds &&
                          std::abs(fit.amplitudes[0] - kVideoLevel) < 0.01 * kVideoLevel &&
                          std::abs(fit.amplitudes[1] - kTargetLevel) < 0.01 * kTargetLevel &&
                          fit.residual < 0.005 * (kVideoLevel + kTargetLevel);
    }
    EXPECT_NEAR(double(video_windows), 2 * 40, 2) << "0.4 s of the video's sound per pass";
    EXPECT_NEAR(double(target_windows), 2 * 10, 2) << "0.1 s of the target sound per pass";
    EXPECT_GE(clean_together, 2u * 8) << "both sound together, cleanly, in each pass";
}

// Files as labs have them (written by the build with FFmpeg: frame i grey at 25 i, a second of
// sound as long as the frames), each played three passes: every pass shows its frames in order
// from its first, without the background between them for a video of one frame, and every pass
// is heard whole, also when its sound is as long as its frames. A transport stream goes back to
// its first frame (it is sought by decoding time), a variable rate and an edit list keep each
// frame at its own time, and neither prints a damaged frame.
TEST_F(AnimationSound, LabFilesShowEveryPassInOrderAndAreHeardInEachPass) {
    const struct {
        const char *file;
        int32_t result;
        std::vector<int> frames;  // of each pass, by number; -1 for the one frame of lab_one
        double heard;             // seconds of each pass
    } cases[] = {
        {"lab_equal.avi", 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1.0},
        {"lab.ts", 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1.0},
        {"lab.flv", 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1.0},
        {"lab.mpg", 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1.0},
        {"lab_vfr.avi", 1, {0, 1, 2, 6, 7, 8, 9}, 1.0},
        {"lab_vfr.mp4", 1, {0, 1, 2, 6, 7, 8, 9}, 1.0},
        {"lab_edit.mp4", 1, {4, 5, 6, 7, 8, 9}, 0.65},
        {"lab_one.avi", -1, {-1}, 0},
    };
    // A blue background tells the frames' greys from it.
    const uint8_t blue[4] = {0, 0, 200, 255}, grey_background[4] = {180, 180, 180, 255};
    set_calibration_colors(nullptr, blue);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        vt_test::DiskAudio audio(output_ + "." + c.file);
        standin_reset();
        const std::string path = std::string(VIDEO_CLIPS) + "/" + c.file;
        set_cal_animation_target(path.c_str(), 3, 0);
        int32_t result = 0;
        const std::string loaded =
            vt_test::capture_stdout([&] { result = LoadVideo(path.c_str()); });
        ASSERT_EQ(result, c.result) << loaded;
        std::vector<std::string> files;
        const std::string printed = vt_test::capture_stdout([&] {
            PresentedFrames saved;
            draw_at(300, 300);
            ASSERT_TRUE(wait_until_idle());
            files = saved.files();
        });
        EXPECT_EQ(printed, "") << "nothing damaged";
        // The passes as shown, split where the background alone was presented.
        std::vector<std::vector<int>> passes(1);
        for (const std::string &file : files) {
            const uint32_t rgb = presented(file, 300, 300);
            const int r = int(rgb >> 16), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
            if (b > r + 100) {
                if (!passes.back().empty()) passes.emplace_back();
            } else if (c.frames[0] < 0) {
                passes.back().push_back(-1);
            } else {
                EXPECT_NEAR(r, g, 8) << file;
                passes.back().push_back(int(std::lround(r / 25.0)));
            }
        }
        if (passes.back().empty()) passes.pop_back();
        if (c.frames[0] < 0) {
            ASSERT_EQ(passes.size(), 1u) << "one frame, steady, until the end";
            EXPECT_EQ(passes[0].size(), 3u);
        } else {
            // A frame late on a slow machine (under a sanitizer) may be dropped, and is
            // counted: every frame of every pass was shown or dropped, in order, the first and
            // the last shown.
            ASSERT_EQ(passes.size(), 3u);
            size_t shown = 0;
            for (const std::vector<int> &pass : passes) {
                EXPECT_TRUE(std::is_sorted(pass.begin(), pass.end()) &&
                            std::includes(c.frames.begin(), c.frames.end(), pass.begin(),
                                          pass.end()))
                    << ::testing::PrintToString(pass);
                EXPECT_EQ(pass.front(), c.frames.front());
                EXPECT_EQ(pass.back(), c.frames.back());
                shown += pass.size();
            }
            EXPECT_EQ(shown + calData.animationTarget.player->dropped(), 3 * c.frames.size());
        }
        release_animation();
        EXPECT_NEAR(audio.tone_seconds(), 3 * c.heard, 0.1 * 3 * c.heard + 0.05);
    }
    set_calibration_colors(nullptr, grey_background);
}

// A sound longer than the piece the load reads is read while it plays and heard whole,
// without a seam: its pieces follow each other in order through one converter (44.1 kHz to
// the output's 48 kHz).
TEST_F(AnimationSound, ASoundReadInPiecesPlaysWithoutASeam) {
    constexpr double kHz = 500, kLevel = 8000;
    const vt_test::PcmSound sound = vt_test::sine(2.5, kHz, kLevel, 44100, 2);
    const std::string video = program_folder() + "/pieces.avi";
    ASSERT_TRUE(vt_test::write_quadrant_video(video, {kWidth, kHeight, 27, 10, grey, sound}));
    load(video, 1, 1);
    EXPECT_EQ(vt_test::loaded_sound_track()->pieces(), 1u) << "read at the load";
    draw_at(300, 300);
    ASSERT_TRUE(wait_until_idle());
    size_t sounding = 0, clean = 0;
    for (const vt_test::ToneFit &fit : vt_test::fit_windows(heard(), {kHz})) {
        const bool sounds = fit.amplitudes[0] > kLevel / 2;
        sounding += sounds;
        clean += sounds && std::abs(fit.amplitudes[0] - kLevel) < 0.01 * kLevel &&
                 fit.residual < 0.005 * kLevel;
    }
    EXPECT_NEAR(double(sounding), 250, 2) << "2.5 s in 10 ms windows";
    EXPECT_GE(clean + 2, sounding) << "only the first and last windows hold the sound's edges";
}

// Frames keep to the sound's position. SDL's disk driver waits 30 ms after each 10 ms buffer,
// so the sound plays at a third of its pace: a 1 s pass following it lasts until the pass's
// clock reaches the end of its leeway from the system clock (about 1.6 s), not 1 s.
TEST_F(AnimationSound, FramesKeepToASoundDeviceThatRunsSlow) {
    const vt_test::EnvironmentOverride slow("SDL_DISKAUDIODELAY", "30");
    load(write_video("slow_device.avi", 25, 25, 1.0), 1, 1);
    const auto start = std::chrono::steady_clock::now();
    draw_at(300, 300);
    ASSERT_TRUE(wait_until_idle());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double bound = 1.0 + PassClock::leeway(1.6);
    EXPECT_GT(seconds, 0.9 * bound) << "the frames waited for the sound";
    EXPECT_LT(seconds, 2.5) << "the sound would have taken 3 s";
}

// A device that ran dry, as when reading the track falls behind the sound: the second piece is
// written once the first has played out, and the device starts over from 0 with it. The pass's
// position runs on from what was heard, or the pass's clock would fall back a second.
TEST_F(AnimationSound, APassPositionRunsOnAcrossADeviceThatRanDry) {
    const std::string path = write_video("ran_dry.avi", 50, 25, 2.0);
    VideoFile *opened = nullptr;
    ASSERT_EQ(video_open(path.c_str(), opened), VideoOpenResult::Opened);
    const VideoFilePtr file(opened);
    std::unique_ptr<SoundTrack> track;
    platform::WaveFormat format{};
    ASSERT_EQ(SoundTrack::open(file.get(), size_t(1) << 24, path, format, track),
              AudioReadResult::Read);
    SoundTrack &pieces = *track;
    ASSERT_EQ(pieces.pieces(), 1u) << "a second's piece, read at the opening";
    std::atomic<int32_t> audio{kAudioClosed};
    {
        VideoSound sound(std::move(track), format, audio, core_log);
        ASSERT_TRUE(sound.start_pass(0, 25));
        double heard = 0, at = 0;
        for (size_t i = 0; i < 2; ++i) {
            heard += double(pieces.piece(i).length) / double(format.avgBytesPerSec);
            ASSERT_TRUE(wait_until([&] { return audio == kAudioDone; }, 5)) << "ran dry";
            ASSERT_TRUE(sound.position(at));
            EXPECT_NEAR(at, heard, 0.01);
            if (pieces.read_piece()) sound.keep_queued();
        }
        EXPECT_NEAR(heard, 2.0, 0.01);
        EXPECT_TRUE(pieces.complete());
        sound.stop();
    }
    EXPECT_NEAR(audio_.tone_seconds(), 2.0, 0.03) << "both pieces heard whole";
}

// The pass's clock, read every 5 ms against sound positions that move in 10 ms steps.
TEST(PassClock, FollowsTheSoundWithinItsLeeway) {
    const auto step = [](double seconds) { return std::floor(seconds / 0.01) * 0.01; };
    struct Case {
        const char *name;
        std::function<double(double)> position;  // at a time; negative: no sound
        double until, expected, tolerance;
        double steadiness;  // the most a 5 ms reading moves the clock by beyond 5 ms, once on
    } cases[] = {
        {"no sound: the system clock", [](double) { return -1.0; }, 2, 2, 1e-6, 1e-6},
        {"a device 3 % slow, followed over 60 s", [&](double t) { return step(0.97 * t); },
         60, 0.97 * 60, 0.012, 0.0012},
        {"a device that starts 80 ms late", [&](double t) { return t < 0.08 ? 0 : step(t - 0.08); },
         0.5, 0.42, 0.012, 0.0012},
        {"a sound that ended runs on with the system clock",
         [&](double t) { return step(std::min(t, 1.0)); }, 1.3, 1.3, 0.012, 0.0012},
        {"a position that runs away", [](double t) { return 100 * t; }, 2,
         2 + PassClock::leeway(2), 1e-6, 0.0006},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const PassClock::Clock::time_point start{};
        PassClock clock(start);
        const long steps = std::lround(c.until / 0.005);
        double last = 0, jolt = 0;
        for (long k = 0; k <= steps; ++k) {
            const double t = double(k) * 0.005;
            const auto now = start + std::chrono::duration_cast<PassClock::Clock::duration>(
                                         std::chrono::duration<double>(t));
            if (c.position(t) >= 0) clock.sound_at(now, c.position(t));
            const double time = clock.at(now);
            if (t > 0.2) jolt = std::max(jolt, std::abs(time - last - 0.005));
            last = time;
        }
        EXPECT_NEAR(last, c.expected, c.tolerance);
        EXPECT_LE(jolt, c.steadiness) << "frames' intervals kept even";
    }
}

// SDL keeps data of its own for each thread that calls it (the error text of a device that
// cannot open among it); the playback thread hands it back as it ends.
TEST_F(AnimationSound, EndedThreadsLeaveNoMemoryBehind) {
    if (!vt_test::leak_checker_present()) GTEST_SKIP() << "needs LeakSanitizer (./run check)";
    ASSERT_FALSE(vt_test::leaks_found()) << "memory leaked before this test";
    vt_test::set_env("SDL_AUDIODRIVER", "no-such-driver");
    load(write_video("leaks.avi", 3, 100, 0.05), 1, 1);
    vt_test::capture_stdout([] {
        draw_at(300, 300);
        wait_until_idle();
    });
    vt_test::set_env("SDL_AUDIODRIVER", "disk");
    // The disk driver writes the fixture's file, under the test's folder.
    vt_test::set_env("SDL_DISKAUDIOFILE", output_);
    draw_at(300, 300);
    ASSERT_TRUE(wait_until_idle());
    release_animation();
    EXPECT_FALSE(vt_test::leaks_found());
}

}  // namespace
