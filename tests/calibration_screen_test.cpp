// The calibration screen hooks on screen: what each paints and presents, the log lines, the
// custom background and the display flags, a video that cannot load, and textures across a
// close and a new window. Cases run in order in one process; the first runs before the window
// exists and the last closes and reopens it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "calibration_support.h"
#include "frame/expt_window.h"
#include "frame/display_hooks.h"
#include "frame/window_background.h"
#include "presented_frames.h"
#include "test_support.h"
#include "test_videos.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using cal_test::expect_ring;
using cal_test::kDefaultBackground;
using cal_test::kDefaultForeground;
using cal_test::quadrant_image;
using vt_test::PresentedFrames;
using vt_test::rgba;

const cal_test::Quadrants kBackgroundQuadrants = {rgba(90, 0, 90), rgba(0, 90, 90),
                                                  rgba(90, 90, 0), rgba(40, 40, 40)};

bool all_pixels(const vt_test::Pixels &p, uint32_t colour) {
    return !p.data.empty() &&
           std::all_of(p.data.begin(), p.data.end(), [&](uint32_t v) { return v == colour; });
}

class CalibrationScreen : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        if (!PresentedFrames::available()) GTEST_SKIP() << "needs the dummy video driver";
        cal_test::restore_default_look();
        ASSERT_EQ(begin_cal_hook(), 0);
        standin_reset();
    }
    void TearDown() override { cal_test::restore_default_look(); }
};

TEST(CalibrationScreenWithoutWindow, BeginReturnsMinusOneAndOtherHooksOnlyLogFailures) {
    ASSERT_FALSE(window_open());
    standin_reset();
    EXPECT_EQ(begin_cal_hook(), -1);
    EXPECT_EQ(standin_log_count(), 0u) << "nothing drawn";

    draw_cal_target(10, 20);
    EXPECT_EQ(standin_log_matches("drawBackground SDL_SetRenderDrawColor failed. error='"), 1u);
    EXPECT_EQ(standin_log_matches("draw_cal_target SDL_RenderCopy failed. error='"), 1u);
    EXPECT_EQ(standin_log_matches("draw_cal_target done. Target should be visible at x=10 20 ."),
              1u);
    erase_target_hook();
    EXPECT_EQ(calData.targetPosition.load().x, kNoPosition);
    clear_cal_hook();
    end_cal_hook();
    EXPECT_EQ(calData.previousX, kNoPosition);
}

TEST_F(CalibrationScreen, BeginPaintsAndPresentsTheBackgroundWithNoTargetShown) {
    draw_cal_target(400, 300);
    standin_reset();
    PresentedFrames frames;
    ASSERT_EQ(begin_cal_hook(), 0);
    ASSERT_EQ(frames.count(), 1u);
    EXPECT_TRUE(all_pixels(frames.last(), kDefaultBackground));
    EXPECT_EQ(standin_log_matches("drawBackground \n"), 2u);
    EXPECT_FALSE(calData.targetPosition.load().shown());
    EXPECT_EQ(calData.previousX, kNoPosition);
    EXPECT_EQ(calData.previousY, kNoPosition);
}

TEST_F(CalibrationScreen, DrawTargetPresentsTheRingCentredOnThePosition) {
    PresentedFrames frames;
    const Uint64 start = SDL_GetTicks64();
    draw_cal_target(400, 300);
    EXPECT_GE(SDL_GetTicks64() - start, 16u) << "waits 16 ms after presenting";
    ASSERT_EQ(frames.count(), 1u);
    expect_ring(frames.last(), 391, 292, 8, 2, kDefaultForeground, kDefaultBackground);
    ASSERT_EQ(standin_log_count(), 4u);
    EXPECT_STREQ(standin_log_line(0), "draw_cal_target start: x=400 300\n");
    EXPECT_STREQ(standin_log_line(1), "drawBackground \n");
    EXPECT_STREQ(standin_log_line(2),
                 "draw_cal_target Drawing target at  i=1 x=391 y=292 w=18 h=16 step = 1\n");
    EXPECT_STREQ(standin_log_line(3), "draw_cal_target done. Target should be visible at x=400 300 .\n");
    EXPECT_EQ(calData.previousX, 400);
    EXPECT_EQ(calData.previousY, 300);

    // The next position replaces the old one.
    draw_cal_target(100, 600);
    const vt_test::Pixels p = frames.last();
    EXPECT_EQ(p.at(400, 295), kDefaultBackground);
    expect_ring(p, 91, 592, 8, 2, kDefaultForeground, kDefaultBackground);
}

// The target's box in a presented frame: the span of its foreground pixels.
struct Box {
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
    double x() const { return (left + right) / 2.0; }
    double y() const { return (top + bottom) / 2.0; }
    int width() const { return right - left + 1; }
};
Box target_box(const vt_test::Pixels &p) {
    Box box;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.at(x, y) == kDefaultForeground)
                box = Box{std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                          std::max(box.bottom, y)};
    return box;
}

// The motion extension, a behaviour per case: the target's boxes in the frames draw_cal_target
// presents for the second of two targets (the first drawn after a clear).
TEST_F(CalibrationScreen, TargetMotionMovesThenShrinksInsideDrawTarget) {
    set_target_size(40, 10);
    struct Case {
        const char *name;
        int32_t move_ms, shrink_ms, large_percent;
        bool after_a_target;  // a target drawn on this screen before
        std::function<void(const std::vector<Box> &)> check;
        bool image = false;  // the application's 24-pixel black image instead of the ring
    } cases[] = {
        {"off: one picture", 0, 0, 100, true,
         [](const std::vector<Box> &boxes) { EXPECT_EQ(boxes.size(), 1u); }},
        {"400 ms move", 400, 0, 100, true,
         [](const std::vector<Box> &boxes) {
             ASSERT_GE(boxes.size(), 11u) << "at least 10 pictures on the way";
             for (size_t i = 1; i < boxes.size(); ++i) {
                 EXPECT_GE(boxes[i].x(), boxes[i - 1].x()) << i;
                 EXPECT_GE(boxes[i].y(), boxes[i - 1].y()) << i;
                 EXPECT_EQ(boxes[i].width(), boxes[0].width()) << "its own size on the way";
             }
             EXPECT_LT(boxes.front().x(), 250);
             EXPECT_NEAR(boxes.back().x(), 600, 1);
             EXPECT_NEAR(boxes.back().y(), 400, 1);
         }},
        {"the first target of a screen appears where it is", 400, 0, 100, false,
         [](const std::vector<Box> &boxes) { EXPECT_EQ(boxes.size(), 1u); }},
        {"300 ms shrink from 300 %", 0, 300, 300, false,
         [](const std::vector<Box> &boxes) {
             ASSERT_GE(boxes.size(), 5u);
             const int width = boxes.back().width();
             EXPECT_NEAR(boxes.front().width(), 3 * width, 0.1 * 3 * width);
             for (size_t i = 0; i < boxes.size(); ++i) {
                 if (i > 0) {
                     EXPECT_LE(boxes[i].width(), boxes[i - 1].width()) << i;
                 }
                 EXPECT_NEAR(boxes[i].x(), 600, 1) << "centred";
                 EXPECT_NEAR(boxes[i].y(), 400, 1) << "centred";
             }
         }},
        {"an image shrinks from its texture", 0, 300, 200, false,
         [](const std::vector<Box> &boxes) {
             ASSERT_GE(boxes.size(), 5u);
             EXPECT_EQ(boxes.back().width(), 24);
             EXPECT_NEAR(boxes.front().width(), 48, 5);
         },
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(set_cal_target_motion(c.move_ms, c.shrink_ms, 0, c.large_percent), 0);
        if (c.image) {
            const cal_test::Quadrants black = {kDefaultForeground, kDefaultForeground,
                                               kDefaultForeground, kDefaultForeground};
            set_cal_target_surface(quadrant_image(24, 24, black).get());
        }
        clear_cal_hook();
        if (c.after_a_target) draw_cal_target(200, 200);
        std::vector<Box> boxes;
        {
            PresentedFrames frames;
            draw_cal_target(600, 400);
            for (const std::string &file : frames.files())
                boxes.push_back(target_box(vt_test::load_frame(file)));
        }
        c.check(boxes);
        if (c.image) set_target_size(40, 10);  // the ring again
    }
    // The pulse, on its thread once draw_cal_target has returned, until the target is erased.
    ASSERT_EQ(set_cal_target_motion(0, 0, 1000, 200), 0);
    clear_cal_hook();
    {
        PresentedFrames frames;
        draw_cal_target(600, 400);
        SDL_Delay(1200);
        erase_target_hook();
        const size_t after_erase = frames.count();
        SDL_Delay(100);
        const std::vector<std::string> files = frames.files();
        EXPECT_EQ(files.size(), after_erase) << "nothing presented after the erase";
        ASSERT_GE(files.size(), 32u) << "25 pictures a second and more";
        EXPECT_TRUE(all_pixels(vt_test::load_frame(files.back()), kDefaultBackground));
        const int width = target_box(vt_test::load_frame(files.front())).width();
        int narrowest = INT32_MAX, widest = 0;
        for (size_t i = 1; i + 1 < files.size(); ++i) {
            const Box box = target_box(vt_test::load_frame(files[i]));
            narrowest = std::min(narrowest, box.width());
            widest = std::max(widest, box.width());
            EXPECT_NEAR(box.x(), 600, 1) << "centred";
            EXPECT_NEAR(box.y(), 400, 1) << "centred";
        }
        EXPECT_GE(narrowest, width - 1);
        EXPECT_LE(narrowest, width + 2);
        EXPECT_GE(widest, 2 * width - 4);
        EXPECT_LE(widest, 2 * width + 1);
    }
    EXPECT_EQ(calData.animationTarget.threadState, 0) << "the pulse has ended";

    // Values out of range change nothing: the pulse still shows.
    for (const auto &values : {std::array<int32_t, 4>{2001, 0, 0, 100}, {0, -1, 0, 100},
                               {0, 0, 199, 100}, {0, 0, 10001, 100}, {0, 0, 0, 99},
                               {0, 0, 0, 401}})
        EXPECT_EQ(set_cal_target_motion(values[0], values[1], values[2], values[3]), -1);
    clear_cal_hook();
    {
        PresentedFrames frames;
        draw_cal_target(600, 400);
        SDL_Delay(300);
        erase_target_hook();
        EXPECT_GE(frames.count(), 5u);
    }
    EXPECT_EQ(set_cal_target_motion(0, 0, 0, 100), 0);
    set_target_size(16, 4);
}

TEST_F(CalibrationScreen, EraseShowsTheBackgroundOnlyWhenATargetIsShown) {
    PresentedFrames frames;
    clear_cal_hook();
    EXPECT_EQ(frames.count(), 0u) << "clear presents nothing";
    draw_cal_target(400, 300);
    ASSERT_EQ(frames.count(), 1u);

    erase_target_hook();
    ASSERT_EQ(frames.count(), 2u);
    EXPECT_TRUE(all_pixels(frames.last(), kDefaultBackground));
    EXPECT_FALSE(calData.targetPosition.load().shown());

    // Nothing shown: nothing painted or presented.
    draw_cal_target(400, 300);
    const vt_test::Pixels before = vt_test::read_window_pixels();
    calData.targetPosition = TargetPosition{kNoPosition, 300};
    erase_target_hook();
    EXPECT_EQ(frames.count(), 3u);
    EXPECT_EQ(vt_test::read_window_pixels().data, before.data);
}

TEST_F(CalibrationScreen, EndLeavesAShownTargetAndClearsOtherwise) {
    draw_cal_target(400, 300);
    const vt_test::Pixels shown = vt_test::read_window_pixels();
    PresentedFrames frames;
    end_cal_hook();
    EXPECT_EQ(frames.count(), 0u);
    EXPECT_EQ(vt_test::read_window_pixels().data, shown.data) << "the target stays visible";
    EXPECT_EQ(calData.targetPosition.load().x, 400);

    erase_target_hook();
    draw_cal_target(400, 300);
    calData.targetPosition = TargetPosition{400, kNoPosition};
    standin_reset();
    end_cal_hook();
    EXPECT_EQ(frames.count(), 2u) << "the background is painted but not presented";
    EXPECT_EQ(standin_log_matches("drawBackground \n"), 1u);
    EXPECT_TRUE(all_pixels(vt_test::read_window_pixels(), kDefaultBackground));
    EXPECT_EQ(calData.previousX, kNoPosition);
}

TEST_F(CalibrationScreen, CustomBackgroundIsLeftOutOnlyWhileTheDisplayFlagsAre32) {
    auto background = quadrant_image(64, 48, kBackgroundQuadrants);
    set_cal_background_surface(background.get());
    for (const uint16_t flags : {0, 32, 34, 48}) {
        SCOPED_TRACE(testing::Message() << "flags " << flags);
        standin_set_display_flags(flags);
        clear_cal_hook();
        const vt_test::Pixels p = vt_test::read_window_pixels();
        if (flags == 32) {
            EXPECT_TRUE(all_pixels(p, kDefaultBackground));
        } else {
            EXPECT_EQ(p.at(10, 10), kBackgroundQuadrants[0]);
            EXPECT_EQ(p.at(p.width - 10, 10), kBackgroundQuadrants[1]);
            EXPECT_EQ(p.at(10, p.height - 10), kBackgroundQuadrants[2]);
            EXPECT_EQ(p.at(p.width - 10, p.height - 10), kBackgroundQuadrants[3]);
        }
    }
    reset_background_surface();
    standin_set_display_flags(0);
    clear_cal_hook();
    EXPECT_TRUE(all_pixels(vt_test::read_window_pixels(), kDefaultBackground));
}

TEST_F(CalibrationScreen, WhileThePlaybackThreadRunsDrawTargetOnlyMovesThePosition) {
    const std::string path = vt_test::write_program_video(
        "moving.avi", {8, 8, 1, 30, [](int) { return 0x808080u; }, vt_test::PcmSound{}});
    AnimationTarget &animation = calData.animationTarget;
    set_cal_animation_target(path.c_str(), 1, 0);
    vt_test::capture_stdout([&] { EXPECT_EQ(LoadVideo(path.c_str()), -1); });
    animation.threadState = 2;  // as if the playback thread ran
    PresentedFrames frames;
    draw_cal_target(50, 60);
    const int32_t state = animation.threadState;
    animation.threadState = 0;
    release_animation();
    EXPECT_EQ(state, 2);
    EXPECT_EQ(calData.targetPosition.load().x, 50);
    EXPECT_EQ(calData.targetPosition.load().y, 60);
    EXPECT_EQ(frames.count(), 0u);
    EXPECT_EQ(standin_log_matches("drawBackground"), 0u) << "the thread draws, not the hook";
}

TEST_F(CalibrationScreen, VideoThatCannotLoadShowsTheDefaultRing) {
    auto background = quadrant_image(64, 48, kBackgroundQuadrants);
    set_cal_background_surface(background.get());
    set_target_size(30, 10);
    calData.animationTarget.videoPath = "/nonexistent/target.avi";
    ASSERT_EQ(begin_cal_hook(), 0);
    EXPECT_EQ(standin_log_matches("return from LoadVideo is 0 Use default target instead!\n"), 1u);
    EXPECT_EQ(calData.outerRadius, 8);
    EXPECT_EQ(calData.innerRadius, 2);
    EXPECT_EQ(windowLook.backgroundTexture, nullptr) << "a video target drops the background";

    PresentedFrames frames;
    draw_cal_target(400, 300);
    ASSERT_EQ(frames.count(), 1u);
    expect_ring(frames.last(), 391, 292, 8, 2, kDefaultForeground, kDefaultBackground);
    EXPECT_FALSE(calData.animationTarget.videoPath.empty()) << "read again at the next screen";
    calData.animationTarget.videoPath.clear();
}

TEST_F(CalibrationScreen, TexturesAreRebuiltForANewRenderer) {
    auto background = quadrant_image(64, 48, kBackgroundQuadrants);
    set_cal_background_surface(background.get());
    set_target_size(17, 5);
    background.reset();

    // A second window replaces the first without a close.
    ASSERT_EQ(init_expt_window(nullptr, nullptr), 0);
    EXPECT_EQ(calData.targetTexture, nullptr);
    EXPECT_EQ(windowLook.backgroundTexture, nullptr);
    ASSERT_EQ(begin_cal_hook(), 0);
    draw_cal_target(700, 500);
    vt_test::Pixels p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(10, 10), kBackgroundQuadrants[0]);
    EXPECT_EQ(p.at(730, 500), kBackgroundQuadrants[3]);

    // Close and open again: the researcher's background and ring come back.
    close_expt_graphics();
    EXPECT_EQ(calData.targetTexture, nullptr);
    EXPECT_EQ(windowLook.backgroundTexture, nullptr);
    vt_test::ensure_window();
    ASSERT_EQ(begin_cal_hook(), 0);
    draw_cal_target(300, 200);
    p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(10, 10), kBackgroundQuadrants[0]);
    EXPECT_EQ(p.at(p.width - 10, p.height - 10), kBackgroundQuadrants[3]);
    EXPECT_EQ(p.at(300, 195), kDefaultForeground) << "the 17/5 ring";
    EXPECT_EQ(p.at(300, 200), kDefaultBackground);
    EXPECT_EQ(p.at(291, 200), kDefaultForeground);
    EXPECT_EQ(p.at(290, 200), kDefaultBackground) << "texture column 0";
    EXPECT_EQ(p.at(289, 200), kBackgroundQuadrants[0]) << "beside the texture";
}

}  // namespace
