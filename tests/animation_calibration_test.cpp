// The animated target through the calibration hooks as the core library calls them: loading at
// begin_cal_hook, playing from draw_cal_target, stopping at erase_target_hook and end_cal_hook,
// a video dropped for the ring, a size choice that ends the video, the renderer taken back from
// the playback thread by every call that draws, and the sound track on SDL's disk audio driver.
// What was shown is read from the frames the dummy video driver saves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "calibration_support.h"
#include "camera_frames.h"
#include "device/device_modes.h"
#include "device/device_state.h"
#include "frame/display_hooks.h"
#include "disk_audio.h"
#include "presented_frames.h"
#include "test_support.h"
#include "test_system.h"
#include "test_videos.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

// Every present of this program, marked with the thread that made it: SDL's own function behind
// a recorder (a definition in the program takes the place of the shared library's). Relaxed
// atomics only, so that recording adds no synchronisation between the threads for
// ThreadSanitizer to rely on.
enum Presenter : uint8_t { kNotYet, kMainThread, kOtherThread };
constexpr size_t kPresentSlots = size_t(1) << 16;
std::atomic<size_t> present_count{0};
std::atomic<uint8_t> presenters[kPresentSlots];
const std::thread::id main_thread = std::this_thread::get_id();

extern "C" void SDL_RenderPresent(SDL_Renderer *renderer) {
    static const auto sdl_present =
        reinterpret_cast<void (*)(SDL_Renderer *)>(vt_test::sdl_function("SDL_RenderPresent"));
    const size_t slot = present_count.fetch_add(1, std::memory_order_relaxed);
    if (slot < kPresentSlots)
        presenters[slot].store(std::this_thread::get_id() == main_thread ? kMainThread
                                                                         : kOtherThread,
                               std::memory_order_relaxed);
    sdl_present(renderer);
}

namespace {

using cal_test::expect_ring;
using cal_test::kDefaultBackground;
using cal_test::kDefaultForeground;
using vt_test::PresentedFrames;
using vt_test::program_folder;
using vt_test::wait_until;

constexpr int kWidth = 40, kHeight = 30;
constexpr const char *kLoadLog = "return from LoadVideo is";
constexpr const char *kPassLog = "calData.animationTarget.audioPlaying =";

// A 40 x 30 video of count frames at rate whose quadrants are top_left, top_right, bottom_left
// and a shade of blue that tells the frames apart, with sound_seconds of sound (0: no track).
std::string write_video(const std::string &name, int count, uint32_t rate, double sound_seconds,
                        uint32_t top_left = 0xFF0000, uint32_t top_right = 0x00FF00,
                        uint32_t bottom_left = 0xFFFF00) {
    return vt_test::write_program_video(
        name, {kWidth, kHeight, count, rate, [](int i) { return uint32_t(0x20 + 0x18 * i); },
               vt_test::tone(sound_seconds), 24, top_left, top_right, bottom_left});
}

bool thread_idle() { return calData.animationTarget.threadState == 0; }

// Who made the presents from index first on.
std::vector<Presenter> presenters_from(size_t first) {
    std::vector<Presenter> seen;
    const size_t count = std::min(present_count.load(std::memory_order_relaxed), kPresentSlots);
    for (size_t i = first; i < count; ++i) {
        uint8_t presenter;
        while ((presenter = presenters[i].load(std::memory_order_relaxed)) == kNotYet) {
        }
        seen.push_back(Presenter(presenter));
    }
    return seen;
}
size_t presents_by_others(size_t first) {
    const std::vector<Presenter> seen = presenters_from(first);
    return size_t(std::count(seen.begin(), seen.end(), kOtherThread));
}

// The video's frame centred on (x, y) in a presented picture: its quadrants inside, the
// calibration background just beyond its top-left corner.
void expect_video_at(const vt_test::Pixels &p, int x, int y, uint32_t top_left = 0xFF0000,
                     uint32_t top_right = 0x00FF00, uint32_t bottom_left = 0xFFFF00) {
    ASSERT_FALSE(p.data.empty());
    const int left = x - kWidth / 2, top = y - kHeight / 2;
    EXPECT_EQ(p.at(left, top) >> 8, top_left) << "at " << x << "," << y;
    EXPECT_EQ(p.at(left + kWidth - 1, top) >> 8, top_right);
    EXPECT_EQ(p.at(left, top + kHeight - 1) >> 8, bottom_left);
    EXPECT_EQ((p.at(left + kWidth - 1, top + kHeight - 1) >> 8) & 0xFFFF00, 0u) << "a blue shade";
    EXPECT_EQ(p.at(left - 1, top - 1), kDefaultBackground);
}

bool all_background(const vt_test::Pixels &p) {
    if (p.data.empty()) return false;
    for (uint32_t pixel : p.data)
        if (pixel != kDefaultBackground) return false;
    return true;
}

class AnimationCalibration : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        if (!PresentedFrames::available()) GTEST_SKIP() << "needs the dummy video driver";
        cal_test::restore_default_look();
        standin_reset();
    }
    void TearDown() override {
        end_cal_hook();
        cal_test::restore_default_look();  // ends the animated target
    }
};

TEST_F(AnimationCalibration, SizeChosenAfterTheVideoEndsIt) {
    const std::string path = write_video("sized.avi", 3, 50, 0.1);
    // With a size other than the video screen's ring (radii 8 and 2).
    set_cal_animation_target(path.c_str(), 1, 0);
    set_target_size(30, 10);
    ASSERT_EQ(begin_cal_hook(), 0);
    EXPECT_EQ(standin_log_matches(kLoadLog), 0u) << "no video is read";
    EXPECT_EQ(calData.animationTarget.player, nullptr);
    {
        PresentedFrames frames;
        draw_cal_target(400, 300);
        ASSERT_EQ(frames.count(), 1u);
        expect_ring(frames.last(), 400 - 16, 300 - 15, 15, 5, kDefaultForeground,
                    kDefaultBackground);
    }
    EXPECT_EQ(calData.animationTarget.threadState, 0);
    end_cal_hook();

    // After a video screen, whose ring has radii 8 and 2, with that very size.
    set_cal_animation_target(path.c_str(), 1, 0);
    ASSERT_EQ(begin_cal_hook(), 0);
    ASSERT_NE(calData.animationTarget.player, nullptr);
    end_cal_hook();
    set_target_size(16, 4);
    EXPECT_TRUE(calData.animationTarget.videoPath.empty());
    ASSERT_EQ(begin_cal_hook(), 0);
    EXPECT_EQ(standin_log_matches(kLoadLog), 1u) << "read for the video screen only";
    {
        PresentedFrames frames;
        draw_cal_target(400, 300);
        ASSERT_EQ(frames.count(), 1u);
        expect_ring(frames.last(), 391, 292, 8, 2, kDefaultForeground, kDefaultBackground);
    }
    end_cal_hook();

    // The same size chosen while the video plays: the next target is the ring.
    set_cal_animation_target(path.c_str(), 0, 0);
    ASSERT_EQ(begin_cal_hook(), 0);
    draw_cal_target(300, 200);
    ASSERT_TRUE(wait_until([] { return standin_log_matches(kPassLog) >= 1; }));
    set_target_size(16, 4);
    EXPECT_EQ(calData.animationTarget.threadState, 0);
    EXPECT_EQ(calData.animationTarget.player, nullptr);
    PresentedFrames frames;
    draw_cal_target(400, 300);
    ASSERT_EQ(frames.count(), 1u);
    expect_ring(frames.last(), 391, 292, 8, 2, kDefaultForeground, kDefaultBackground);
}

// A video whose sound cannot be read: none at all, or a track the memory budget leaves out.
TEST_F(AnimationCalibration, VideoWhoseSoundCannotBeReadIsDroppedForTheRing) {
    // A track the budget leaves out (-7) is LoadVideo's to tell (animation_load_test); the
    // screen drops any video without sound alike.
    const struct {
        const char *name;
        double sound_seconds;
        int32_t result;
        const char *printed;  // its end
    } cases[] = {{"silent.avi", 0, -1, "no audio\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        standin_reset();
        set_cal_animation_target(write_video(c.name, 3, 50, c.sound_seconds).c_str(), 0, 0);
        const std::string printed =
            vt_test::capture_stdout([] { ASSERT_EQ(begin_cal_hook(), 0); });
        const std::string end = c.printed;
        ASSERT_GE(printed.size(), end.size());
        EXPECT_EQ(printed.substr(printed.size() - end.size()), end) << printed;
        EXPECT_EQ(standin_log_matches(("return from LoadVideo is " + std::to_string(c.result) +
                                       " Use default target instead!\n")
                                          .c_str()),
                  1u);
        EXPECT_EQ(calData.animationTarget.player, nullptr);
        EXPECT_EQ(calData.animationTarget.audioPlaying, -1);

        PresentedFrames frames;
        draw_cal_target(400, 300);
        draw_cal_target(600, 500);
        EXPECT_EQ(calData.animationTarget.threadState, 0) << "no thread for a dropped video";
        ASSERT_EQ(frames.count(), 2u);
        expect_ring(frames.last(), 591, 492, 8, 2, kDefaultForeground, kDefaultBackground);
        EXPECT_FALSE(calData.animationTarget.videoPath.empty()) << "tried again at the next screen";
        end_cal_hook();
    }
}

TEST_F(AnimationCalibration, VideoWhoseFirstFrameIsDamagedIsDroppedForTheRing) {
    vt_test::AviSpec spec;
    for (int i = 0; i < 3; ++i)
        spec.frames.push_back(vt_test::quadrants(kWidth, kHeight, 0xFF0000, 0x00FF00, 0xFFFF00,
                                                 0x0000FF));
    spec.short_frame = 0;
    spec.with_sound = true;
    spec.sound = vt_test::tone(0.1);
    const std::string path = program_folder() + "/first_damaged.avi";
    ASSERT_TRUE(vt_test::write_avi(path, spec));
    set_cal_animation_target(path.c_str(), 0, 0);
    const std::string printed = vt_test::capture_stdout([] { ASSERT_EQ(begin_cal_hook(), 0); });
    EXPECT_EQ(printed, "LoadVideo: frame 1 of 3 of " + path +
                           " cannot be decoded; the video is not loaded. \n");
    EXPECT_EQ(standin_log_matches("return from LoadVideo is 0 Use default target instead!\n"),
              1u);
    EXPECT_EQ(calData.animationTarget.player, nullptr);

    PresentedFrames frames;
    draw_cal_target(400, 300);
    EXPECT_EQ(calData.animationTarget.threadState, 0);
    ASSERT_EQ(frames.count(), 1u);
    expect_ring(frames.last(), 391, 292, 8, 2, kDefaultForeground, kDefaultBackground);
}

// Uncompressed AVIs as FFmpeg's own writer makes them (the ffmpeg program): rows stored
// top-down, at every depth it writes, 8 bits with a palette of its own, rows that need padding.
TEST_F(AnimationCalibration, FfmpegWrittenUncompressedVideosPlayUpright) {
    if (!vt_test::can_encode_videos()) GTEST_SKIP() << vt_test::kNoEncoders;
    constexpr int width = 34, height = 20;  // 24-bit rows of 102 bytes, padded to 104
    // Red, green / yellow, blue quarters, three frames of raw RGB for ffmpeg to convert.
    const std::string raw = program_folder() + "/quarters.rgb";
    {
        std::ofstream out(raw, std::ios::binary);
        for (int frame = 0; frame < 3; ++frame)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const uint32_t rgb = cal_test::quadrant_colour(
                        {0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF}, x, y, width, height);
                    const char bytes[] = {char(rgb >> 16), char(rgb >> 8), char(rgb)};
                    out.write(bytes, 3);
                }
    }
    for (const char *format : {"bgr24", "bgra", "rgb555le", "pal8"}) {
        SCOPED_TRACE(format);
        const std::string path = program_folder() + "/ffmpeg_" + format + ".avi";
        const std::string command =
            "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s " + std::to_string(width) +
            "x" + std::to_string(height) + " -r 10 -i '" + vt_test::host_file_path(raw) +
            "' -f lavfi -i sine=d=0.3 -shortest -c:v rawvideo -pix_fmt " + format +
            " -c:a pcm_s16le '" + vt_test::host_file_path(path) + "'";
        ASSERT_EQ(vt_test::run_host_script(command), 0) << command;
        set_cal_animation_target(path.c_str(), 1, 0);
        ASSERT_EQ(begin_cal_hook(), 0);
        ASSERT_NE(calData.animationTarget.player, nullptr);
        PresentedFrames frames;
        draw_cal_target(300, 200);
        ASSERT_TRUE(wait_until(thread_idle));
        ASSERT_GE(frames.count(), 1u);
        const vt_test::Pixels shown = vt_test::load_frame(frames.files().front());
        const int left = 300 - width / 2, top = 200 - height / 2;
        const struct {
            int x, y;
            uint32_t rgb;
        } corners[] = {{left, top, 0xFF0000},
                       {left + width - 1, top, 0x00FF00},
                       {left, top + height - 1, 0xFFFF00},
                       {left + width - 1, top + height - 1, 0x0000FF}};
        for (const auto &corner : corners) {
            // 5-bit channels and an 8-bit palette come close to the colour, not always on it.
            const uint32_t pixel = shown.at(corner.x, corner.y) >> 8;
            for (int shift : {16, 8, 0})
                EXPECT_NEAR(int(pixel >> shift & 0xFF), int(corner.rgb >> shift & 0xFF), 16)
                    << "at " << corner.x << "," << corner.y;
        }
        end_cal_hook();
    }
}

// Each call that draws, made while the video plays: the playback thread has ended before the
// call presents anything, and nothing is presented after the call by that thread.
TEST_F(AnimationCalibration, EveryCallThatDrawsTakesTheRendererFromThePlaybackThread) {
    const std::string path = write_video("owner.avi", 4, 50, 0.1);
    const cal_test::SurfacePtr image =
        cal_test::quadrant_image(20, 16, {0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0xFFFFFFFF});
    const auto other = cal_test::bytes(vt_test::rgba(90, 120, 150));
    struct Call {
        const char *name;
        std::function<void()> call;
    };
    const Call calls[] = {
        {"set_calibration_colors", [&] { set_calibration_colors(other.data(), nullptr); }},
        {"set_calibration_colors background",
         [&] { set_calibration_colors(nullptr, other.data()); }},
        {"set_target_size", [] { set_target_size(20, 6); }},
        {"set_cal_target_surface", [&] { set_cal_target_surface(image.get()); }},
        {"set_cal_background_surface", [&] { set_cal_background_surface(image.get()); }},
        {"set_cal_animation_target", [&] { set_cal_animation_target(path.c_str(), 1, 0); }},
        // The tracker enters setup: the device's menu changes with the mode.
        {"begin_cal_hook",
         [] {
             set_image_menu_mode(0);
             standin_set_tracker_mode(VT_MODE_SETUP);
             begin_cal_hook();
         }},
        {"clear_cal_hook", [] { clear_cal_hook(); }},
        {"erase_target_hook", [] { erase_target_hook(); }},
        {"end_cal_hook", [] { end_cal_hook(); }},
        {"camera image hooks",
         [] {
             begin_image_hook();
             vt_test::load_test_palette();
             vt_test::send_frame();
             end_image_hook();
         }},
    };
    ASSERT_EQ(enable_external_calibration_device(
                  reinterpret_cast<uintptr_t>(+[](DeviceButtons *) { return 0; }), nullptr,
                  nullptr),
              1);
    for (const Call &c : calls) {
        SCOPED_TRACE(c.name);
        cal_test::restore_default_look();
        standin_set_tracker_mode(VT_MODE_IDLE);
        set_cal_animation_target(path.c_str(), 0, 0);
        ASSERT_EQ(begin_cal_hook(), 0);
        const size_t first = presenters_from(0).size();
        draw_cal_target(300, 200);
        ASSERT_TRUE(wait_until([&] { return presents_by_others(first) >= 2; }));

        c.call();
        EXPECT_EQ(calData.animationTarget.threadState, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::vector<Presenter> seen = presenters_from(first);
        const auto mine = std::find(seen.begin(), seen.end(), kMainThread);
        EXPECT_EQ(std::count(mine, seen.end(), kMainThread), std::distance(mine, seen.end()))
            << "the playback thread presented after the call had presented";
        end_cal_hook();
    }
    enable_external_calibration_device(0, nullptr, nullptr);
}

// A device button that changes the menu while the video plays: the key poll leaves the screen
// to the video, and the first poll after the video has ended shows the new menu.
TEST_F(AnimationCalibration, MenuChangedDuringPlaybackShowsOnceTheVideoHasEnded) {
    static int presses = 0;
    presses = 0;
    // Button 1 (MODE 1 to MODE 2 in the box's built-in menus), pressed once.
    const DeviceCallback button = [](DeviceButtons *record) -> int32_t {
        if (presses++ != 0) return 0;
        record->states[0] = 1;
        return 1;
    };
    ASSERT_EQ(enable_external_calibration_device(reinterpret_cast<uintptr_t>(button), nullptr,
                                                 nullptr),
              1);
    set_cal_animation_target(write_video("menu.avi", 4, 50, 0.1).c_str(), 0, 0);
    ASSERT_EQ(begin_cal_hook(), 0);
    const size_t first = presenters_from(0).size();
    draw_cal_target(300, 200);
    ASSERT_TRUE(wait_until([&] { return presents_by_others(first) >= 2; }));
    standin_set_tracker_mode(VT_MODE_SETUP);  // setup: the numbered modes' menus show

    KeyInput key{};
    read_key_hook(&key);
    EXPECT_EQ(presses, 1) << "the button was read";
    EXPECT_EQ(current_setup_mode, 5) << "MODE 2";
    EXPECT_EQ(calData.animationTarget.threadState, 2) << "the video plays on";
    EXPECT_EQ(presents_by_others(first), presenters_from(first).size())
        << "the key poll presented nothing";

    erase_target_hook();
    EXPECT_TRUE(all_background(vt_test::read_window_pixels()));
    const size_t erased = presenters_from(0).size();
    read_key_hook(&key);
    ASSERT_EQ(presenters_from(erased).size(), 1u) << "the new menu is presented";
    EXPECT_FALSE(all_background(vt_test::read_window_pixels()));
    enable_external_calibration_device(0, nullptr, nullptr);
}

TEST_F(AnimationCalibration, EraseDuringPlaybackReturnsOnThePlainBackground) {
    set_cal_animation_target(write_video("erase.avi", 4, 50, 0.1).c_str(), 0, 0);
    ASSERT_EQ(begin_cal_hook(), 0);
    PresentedFrames frames;
    draw_cal_target(300, 200);
    ASSERT_TRUE(wait_until([] { return standin_log_matches(kPassLog) >= 2; }));
    erase_target_hook();
    EXPECT_EQ(calData.animationTarget.threadState, 0) << "returns after the thread ended";
    EXPECT_FALSE(calData.targetPosition.load().shown());
    const size_t presented = frames.count();
    EXPECT_TRUE(all_background(vt_test::read_window_pixels()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<std::string> files = frames.files();
    ASSERT_EQ(files.size(), presented) << "nothing is presented after the erase returned";
    ASSERT_GE(files.size(), 6u);
    expect_video_at(vt_test::load_frame(files.front()), 300, 200);
    EXPECT_TRUE(all_background(vt_test::load_frame(files.back())));
    EXPECT_NE(calData.animationTarget.player, nullptr) << "kept for the next target";
}

TEST_F(AnimationCalibration, BeginWhileThePlaybackThreadRunsKeepsTheLoadedVideo) {
    const std::string path = write_video("kept.avi", 4, 50, 0.1);
    set_cal_animation_target(path.c_str(), 0, 0);
    ASSERT_EQ(begin_cal_hook(), 0);
    VideoPlayer *loaded = calData.animationTarget.player;
    draw_cal_target(300, 200);
    ASSERT_TRUE(wait_until([] { return calData.animationTarget.threadState == 2; }));
    // A different video in the file now: a second read would show it.
    write_video("kept.avi", 4, 50, 0.1, 0x00FFFF, 0xFF00FF, 0xFFFFFF);

    ASSERT_EQ(begin_cal_hook(), 0);
    EXPECT_EQ(standin_log_matches(kLoadLog), 1u) << "not read again";
    EXPECT_EQ(calData.animationTarget.player, loaded);
    EXPECT_EQ(calData.animationTarget.threadState, 0) << "stopped before the hook drew";
    EXPECT_TRUE(all_background(vt_test::read_window_pixels()));

    PresentedFrames frames;
    draw_cal_target(600, 450);
    ASSERT_TRUE(wait_until([&] { return frames.count() >= 2; }));
    erase_target_hook();
    expect_video_at(vt_test::load_frame(frames.files().front()), 600, 450);
}

TEST_F(AnimationCalibration, SecondTargetPlaysTheVideoAgainThere) {
    // 25 frames a second: a present that a busy machine delays is not a frame dropped.
    set_cal_animation_target(write_video("again.avi", 3, 25, 0.05).c_str(), 1, 0);
    ASSERT_EQ(begin_cal_hook(), 0);
    PresentedFrames frames;
    draw_cal_target(250, 200);
    ASSERT_TRUE(wait_until(thread_idle));
    erase_target_hook();
    draw_cal_target(700, 500);
    ASSERT_TRUE(wait_until(thread_idle));
    const std::vector<std::string> files = frames.files();
    // Per target 3 frames and the background the thread ends on; the erase's background.
    ASSERT_EQ(files.size(), 9u);
    for (size_t i = 0; i < 3; ++i) {
        expect_video_at(vt_test::load_frame(files[i]), 250, 200);
        expect_video_at(vt_test::load_frame(files[5 + i]), 700, 500);
    }
    EXPECT_TRUE(all_background(vt_test::load_frame(files[3])));
    EXPECT_TRUE(all_background(vt_test::load_frame(files[4])));
    EXPECT_TRUE(all_background(vt_test::load_frame(files[8])));
    EXPECT_EQ(standin_log_matches(kPassLog), 2u);
}

// Sound on SDL's disk driver.
class AnimationCalibrationSound : public AnimationCalibration {
protected:
    void SetUp() override {
        if (!vt_test::sound_output_heard_through_sdl()) GTEST_SKIP() << vt_test::kSoundNotThroughSdl;
        AnimationCalibration::SetUp();
    }
    vt_test::DiskAudio audio_{program_folder() + "/hooks_sound.raw"};
};

TEST_F(AnimationCalibrationSound, EndReleasesFramesAndSoundAfterOneSoundPerPass) {
    // Passes of 0.5 s, a sound of 0.25 s: queued at each of the three passes.
    const std::string path = write_video("hooks_sound.avi", 10, 20, 0.25);
    set_cal_animation_target(path.c_str(), 3, 0);
    ASSERT_EQ(begin_cal_hook(), 0);
    draw_cal_target(400, 300);
    ASSERT_TRUE(wait_until(thread_idle));
    end_cal_hook();
    const AnimationTarget &animation = calData.animationTarget;
    EXPECT_EQ(animation.player, nullptr);
    EXPECT_EQ(animation.audioPlaying, -1) << "the device is closed";
    EXPECT_EQ(animation.videoPath, path) << "read again at the next screen";

    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying reset to 1"), 1u);
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying is 2"), 2u);
    EXPECT_NEAR(audio_.tone_seconds(), 3 * 0.25, 0.05 * 0.25);

    // The next screen reads the video again and opens the device anew.
    ASSERT_EQ(begin_cal_hook(), 0);
    EXPECT_EQ(standin_log_matches("return from LoadVideo is 1"), 2u);
    draw_cal_target(400, 300);
    ASSERT_TRUE(wait_until(thread_idle));
    end_cal_hook();
    EXPECT_EQ(standin_log_matches("calData.animationTarget.audioPlaying reset to 1"), 2u);
}

}  // namespace
