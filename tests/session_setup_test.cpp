// The simulated tracker's camera setup: the setup screen, the camera image streamed as 320
// lines per frame through the palette at a steady rate, the eye it shows, thresholds, views,
// the overlay drawn through the context's callbacks, and the procedures started from setup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "session_test_hooks.h"
#include "test_support.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using session_test::received;
using session_test::slots;
using session_test::step_until;

constexpr uint8_t kPupil = 128, kReflection = 129;

struct Blob {
    int count = 0;
    double x = 0, y = 0;  // centroid
    int left = 384, top = 320, right = -1, bottom = -1;
};

Blob blob_of(uint8_t index) {
    Blob b;
    const std::vector<uint8_t> &frame = received().frame;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 384; ++x)
            if (frame[size_t(y) * 384 + size_t(x)] == index) {
                ++b.count, b.x += x, b.y += y;
                b.left = std::min(b.left, x), b.right = std::max(b.right, x);
                b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
            }
    if (b.count) b.x /= b.count, b.y /= b.count;
    return b;
}

// What core_draw_overlay draws through a context's callbacks.
struct Drawn {
    int kind;  // 1 line, 2 lozenge
    int a, b, c, d, colour;
};
std::vector<Drawn> drawn;

std::vector<Drawn> overlay_of_last_frame(int drawn_width, int drawn_height) {
    drawn.clear();
    OverlayContext context{};
    context.drawnWidth = drawn_width;
    context.drawnHeight = drawn_height;
    context.lineCallback = [](OverlayContext *, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                              int32_t colour) {
        drawn.push_back({1, x1, y1, x2, y2, colour});
        return 0;
    };
    context.lozengeCallback = [](OverlayContext *, int32_t x, int32_t y, int32_t w, int32_t h,
                                 int32_t colour) {
        drawn.push_back({2, x, y, w, h, colour});
        return 0;
    };
    core_draw_overlay(&context);
    return drawn;
}

int count_colour(const std::vector<Drawn> &items, int colour) {
    return int(std::count_if(items.begin(), items.end(),
                             [&](const Drawn &d) { return d.colour == colour; }));
}

class Setup : public session_test::TrackerTest {
protected:
    // The setup screen with the camera image in the close-up view with automatic thresholds
    // (the tracker keeps view and thresholds from one setup to the next).
    static void start_with_image() {
        ASSERT_EQ(simtracker_start_setup(), 0);
        ASSERT_EQ(simtracker_handle_key(13), 1);
        for (int i = 0; i < 3 && received().title.rfind("Close-up eye", 0) != 0; ++i)
            simtracker_handle_key(VT_KEY_RIGHT);
        ASSERT_EQ(received().title.rfind("Close-up eye", 0), 0u);
        simtracker_handle_key('a');
    }
    static void next_frames(int count) {
        const int target = received().frames + count;
        ASSERT_TRUE(step_until([&] { return received().frames >= target; }));
    }
    static void press(uint16_t key, int times = 1) {
        for (int i = 0; i < times; ++i) simtracker_handle_key(key);
    }
};

TEST_F(Setup, SetupScreenThenTheCameraImageStreamedLineByLine) {
    ASSERT_EQ(simtracker_start_setup(), 0);
    ASSERT_EQ(slots(), (std::vector<int>{1}));
    EXPECT_EQ(standin_hook_call(0).tracker_mode, 2);
    EXPECT_EQ(standin_hook_call(0).display_flags, 0);

    ASSERT_EQ(simtracker_handle_key(13), 1);
    EXPECT_EQ(slots(), (std::vector<int>{1, 4, 7, 5}));
    EXPECT_EQ(standin_hook_call(1).tracker_mode, 3);
    EXPECT_EQ(standin_hook_call(1).display_flags, 0x2) << "image bit set from begin_image_hook";
    EXPECT_EQ(standin_hook_call(2).args[0], 130) << "palette of 128 greys and 2 highlights";
    EXPECT_EQ(std::string(standin_hook_call(3).text).rfind("Close-up eye", 0), 0u);

    next_frames(3);
    EXPECT_EQ(received().bad_frames, 0);
    EXPECT_EQ(received().out_of_order, 0);
    int line = 0, lines = 0;
    for (size_t i = 4; i < standin_hook_call_count(); ++i) {
        const StandinHookCall call = standin_hook_call(i);
        ASSERT_EQ(call.slot, 6);
        EXPECT_EQ(call.args[0], 384);
        EXPECT_EQ(call.args[1], line % 320 + 1);
        EXPECT_EQ(call.args[2], 320);
        EXPECT_EQ(call.display_flags, 0x2);
        EXPECT_EQ(call.tracker_mode, 3);
        ++line, ++lines;
    }
    EXPECT_EQ(lines % 320, 0) << "frames are delivered whole within one step";
    EXPECT_EQ(simtracker_stats().frames, received().frames);

    ASSERT_EQ(simtracker_handle_key(13), 1);
    EXPECT_EQ(slots(standin_hook_call_count() - 2), (std::vector<int>{8, 1}))
        << "image display ends, the setup screen returns";
    EXPECT_EQ(core_display_flags(), 0);
    EXPECT_EQ(core_tracker_mode(), 2);
    ASSERT_EQ(simtracker_handle_key(27), 1);
    EXPECT_EQ(slots().back(), 2);
    EXPECT_EQ(simtracker_result(), SIMTRACKER_DONE);
    EXPECT_EQ(core_tracker_mode(), 0);
    EXPECT_EQ(core_display_flags(), 0);
}

TEST_F(Setup, TheFrameShowsAnEyeWithHighlightedPupilAndReflection) {
    start_with_image();
    next_frames(1);
    const auto &palette = received().palette;
    for (int i = 0; i < 128; ++i) {
        const uint32_t grey = uint32_t(2 * i + 1);
        ASSERT_EQ(palette[size_t(i)], grey << 16 | grey << 8 | grey) << i;
    }
    const uint32_t pupil = palette[kPupil], reflection = palette[kReflection];
    EXPECT_GT(pupil & 0xFF, (pupil >> 16) & 0xFF) << "pupil highlight is blue";
    EXPECT_EQ(reflection, 0x00FFFFu) << "reflection highlight is cyan";

    const Blob p = blob_of(kPupil), cr = blob_of(kReflection);
    EXPECT_GT(p.count, 1200);
    EXPECT_LT(p.count, 3500);
    EXPECT_LT(p.right - p.left, 80) << "one compact pupil";
    EXPECT_LT(p.bottom - p.top, 80);
    EXPECT_GT(cr.count, 10);
    EXPECT_LT(cr.count, 150);
    EXPECT_LT(std::hypot(cr.x - p.x, cr.y - p.y), 60) << "the reflection lies on the cornea";

    // Skin in the top-left corner: mid grey with noise.
    std::vector<uint8_t> corner;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            corner.push_back(received().frame[size_t(y) * 384 + size_t(x)]);
    const auto [low, high] = std::minmax_element(corner.begin(), corner.end());
    EXPECT_GE(*low, 60);
    EXPECT_LE(*high, 90);
    EXPECT_GE(*high - *low, 3) << "noise";
}

// The thresholds the title shows.
std::pair<int, int> thresholds() {
    int pupil = -1, cr = -1;
    std::sscanf(received().title.c_str(), "Close-up eye pupil %d CR %d", &pupil, &cr);
    return {pupil, cr};
}

TEST_F(Setup, ThresholdKeysChangeTheHighlightsAndTheTitle) {
    start_with_image();
    next_frames(1);
    const int normal = blob_of(kPupil).count;
    const auto [pupil, cr] = thresholds();
    ASSERT_GT(pupil, 0) << received().title;

    press(VT_KEY_DOWN, 25);  // Down by 50: below every pupil pixel
    EXPECT_EQ(thresholds().first, std::max(1, pupil - 50)) << received().title;
    next_frames(1);
    EXPECT_EQ(blob_of(kPupil).count, 0);

    press(VT_KEY_UP, 40);  // Up by 80: takes in much of the iris
    EXPECT_EQ(thresholds().first, std::max(1, pupil - 50) + 80);
    next_frames(1);
    EXPECT_GT(blob_of(kPupil).count, 2 * normal);

    press('-', 3);
    EXPECT_EQ(thresholds().second, cr - 6);
    press('+');
    press('=');
    EXPECT_EQ(thresholds().second, cr - 2);

    ASSERT_EQ(simtracker_handle_key('a'), 1);
    const auto [auto_pupil, auto_cr] = thresholds();
    EXPECT_GT(auto_pupil, 26) << "above the noisy pupil";
    EXPECT_LT(auto_pupil, 70) << "below lids and iris";
    EXPECT_GT(auto_cr, 213) << "above the noisy sclera";
    EXPECT_LT(auto_cr, 252);
    next_frames(1);
    EXPECT_NEAR(blob_of(kPupil).count, normal, normal / 2);
}

TEST_F(Setup, ArrowKeysStepThroughTheCameraViews) {
    start_with_image();
    const std::vector<std::pair<uint16_t, std::string>> steps{{VT_KEY_RIGHT, "Wide view"},
                                                              {VT_KEY_RIGHT, "Head Marker"},
                                                              {VT_KEY_RIGHT, "Close-up eye"},
                                                              {VT_KEY_LEFT, "Head Marker"}};
    for (const auto &[key, view] : steps) {
        ASSERT_EQ(simtracker_handle_key(key), 1);
        EXPECT_EQ(received().title.rfind(view, 0), 0u) << received().title;
    }
    EXPECT_EQ(simtracker_handle_key('z'), 0) << "zoom is the graphics library's";
}

TEST_F(Setup, ThePupilFollowsTheGaze) {
    start_with_image();
    std::vector<Blob> pupils;
    for (int i = 0; i < 15; ++i) {
        next_frames(1);
        pupils.push_back(blob_of(kPupil));
        SDL_Delay(100);
    }
    double widest = 0;
    for (const Blob &a : pupils)
        for (const Blob &b : pupils) widest = std::max(widest, std::hypot(a.x - b.x, a.y - b.y));
    EXPECT_GT(widest, 4.0);
}

TEST_F(Setup, OverlayMarksPupilAndReflectionInDrawnPixels) {
    start_with_image();
    next_frames(1);
    const Blob p = blob_of(kPupil), cr = blob_of(kReflection);
    const std::vector<Drawn> items = overlay_of_last_frame(768, 640);  // twice the camera size
    for (const Drawn &d : items) {
        EXPECT_GE(d.colour, 1);
        EXPECT_LE(d.colour, 7);
    }
    EXPECT_EQ(count_colour(items, 6), 8) << "four corner brackets of the search limits";
    EXPECT_EQ(count_colour(items, 7), 0);
    // Pupil cross-hair (colour 1): its lines cross at the pupil's centre, doubled.
    std::vector<Drawn> cross;
    std::copy_if(items.begin(), items.end(), std::back_inserter(cross),
                 [](const Drawn &d) { return d.colour == 1; });
    ASSERT_EQ(cross.size(), 2u);
    EXPECT_EQ(cross[0].b, cross[0].d) << "horizontal arm";
    EXPECT_EQ(cross[1].a, cross[1].c) << "vertical arm";
    EXPECT_NEAR(cross[1].a, 2 * p.x, 4);
    EXPECT_NEAR(cross[0].b, 2 * p.y, 4);
    // Pupil lozenge (colour 3) around the pupil's pixels.
    const auto box = std::find_if(items.begin(), items.end(),
                                  [](const Drawn &d) { return d.kind == 2 && d.colour == 3; });
    ASSERT_NE(box, items.end());
    EXPECT_LE(box->a, 2 * p.left);
    EXPECT_LE(box->b, 2 * p.top);
    EXPECT_GE(box->a + box->c, 2 * p.right);
    EXPECT_GE(box->b + box->d, 2 * p.bottom);
    // Reflection: cross-hair colour 2 at its centre, circle colour 4.
    EXPECT_EQ(count_colour(items, 2), 2);
    EXPECT_EQ(count_colour(items, 4), 1);
    const auto cr_line = std::find_if(items.begin(), items.end(),
                                      [](const Drawn &d) { return d.colour == 2 && d.a == d.c; });
    ASSERT_NE(cr_line, items.end());
    EXPECT_NEAR(cr_line->a, 2 * cr.x, 4);

    press(VT_KEY_DOWN, 25);  // pupil lost
    next_frames(1);
    const std::vector<Drawn> lost = overlay_of_last_frame(384, 320);
    EXPECT_EQ(count_colour(lost, 7), 8) << "search limits turn red";
    EXPECT_EQ(count_colour(lost, 1), 0);
    press(VT_KEY_UP, 60);  // the threshold takes in the iris: oversized pupil
    next_frames(1);
    EXPECT_EQ(count_colour(overlay_of_last_frame(384, 320), 5), 1);

    press(13);  // image hidden: the core draws no overlay of its own
    EXPECT_TRUE(overlay_of_last_frame(384, 320).empty());
}

TEST_F(Setup, FramesArriveAtTheConfiguredRate) {
    settings.frame_rate = 50;
    reconfigure();
    start_with_image();
    const Uint32 start = SDL_GetTicks();
    while (SDL_GetTicks() - start < 600) {
        simtracker_step();
        SDL_Delay(1);
    }
    press(13);
    const SimTrackerStats stats = simtracker_stats();
    EXPECT_GE(stats.frames, 26);
    EXPECT_LE(stats.frames, 33);
    EXPECT_NEAR(stats.image_seconds, 0.6, 0.1);
}

TEST_F(Setup, ProceduresStartedFromSetupReturnToIt) {
    start_with_image();
    next_frames(1);
    const size_t before = standin_hook_call_count();
    ASSERT_EQ(simtracker_handle_key('c'), 1);
    EXPECT_EQ(simtracker_stage(), SIMTRACKER_CALIBRATION);
    EXPECT_EQ(slots(before), (std::vector<int>{8, 1, 9})) << "image ends before calibration";
    EXPECT_EQ(standin_hook_call(before + 1).tracker_mode, 11);
    EXPECT_EQ(standin_hook_call(before + 1).display_flags, 0);
    ASSERT_TRUE(step_until([] { return simtracker_stage() == SIMTRACKER_SETUP; }));
    EXPECT_EQ(simtracker_stats().targets, 9);
    EXPECT_EQ(slots(standin_hook_call_count() - 3), (std::vector<int>{13, 2, 1}));
    EXPECT_EQ(standin_hook_call(standin_hook_call_count() - 1).tracker_mode, 2);

    ASSERT_EQ(simtracker_handle_key('v'), 1);
    EXPECT_EQ(core_tracker_mode(), 12);
    ASSERT_TRUE(step_until([] { return simtracker_stats().targets == 10; }));
    ASSERT_EQ(simtracker_handle_key(27), 1);
    EXPECT_EQ(simtracker_stage(), SIMTRACKER_SETUP) << "Escape returns to the setup screen";

    ASSERT_EQ(simtracker_handle_key('d'), 1);
    EXPECT_EQ(core_tracker_mode(), 13);
    ASSERT_TRUE(step_until([] { return simtracker_stage() == SIMTRACKER_SETUP; }));
    for (size_t i = standin_hook_call_count(); i-- > 0;)
        if (standin_hook_call(i).slot == 11) {
            EXPECT_EQ(standin_hook_call(i).args[0], width / 2);
            EXPECT_EQ(standin_hook_call(i).args[1], height / 2);
            break;
        }
    const SimTrackerStats stats = simtracker_stats();
    EXPECT_EQ(stats.setups, 1);
    EXPECT_EQ(stats.calibrations, 1);
    EXPECT_EQ(stats.validations, 1);
    EXPECT_EQ(stats.drift_corrections, 1);
    ASSERT_EQ(simtracker_handle_key(27), 1);
    EXPECT_EQ(simtracker_stage(), SIMTRACKER_IDLE);
}

}  // namespace
