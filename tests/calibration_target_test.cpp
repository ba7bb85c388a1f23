// The target's look on screen: the ring at its sizes, the application's target image, colour
// changes and what they repaint, settings made before the window opens, and refused sizes.
// Cases run in order in one process; the first runs before the window exists.
#include <gtest/gtest.h>

#include "calibration/cal_data.h"
#include "calibration_support.h"
#include "frame/expt_window.h"
#include "frame/display_hooks.h"
#include "frame/window_background.h"
#include "test_support.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using cal_test::bytes;
using cal_test::expect_ring;
using cal_test::quadrant_colour;
using cal_test::quadrant_image;
using vt_test::rgba;

constexpr uint32_t kFg = rgba(200, 30, 60);
constexpr uint32_t kBg = rgba(10, 120, 230);
const cal_test::Quadrants kTargetQuadrants = {rgba(220, 20, 20), rgba(20, 200, 40),
                                              rgba(30, 40, 210), rgba(230, 220, 30)};
const cal_test::Quadrants kBackgroundQuadrants = {rgba(90, 0, 90), rgba(0, 90, 90),
                                                  rgba(90, 90, 0), rgba(40, 40, 40)};

void expect_image_at(const vt_test::Pixels &p, int left, int top, int w, int h,
                     const cal_test::Quadrants &q) {
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            wrong += p.at(left + x, top + y) != quadrant_colour(q, x, y, w, h);
    EXPECT_EQ(wrong, 0) << "image pixels differ at " << left << "," << top;
}

class TargetLook : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        cal_test::restore_default_look();
        ASSERT_EQ(begin_cal_hook(), 0);
        standin_reset();
    }
    void TearDown() override { cal_test::restore_default_look(); }
};

TEST(TargetBeforeWindow, ColoursImagesAndSettingsMadeEarlyApplyOnceTheWindowOpens) {
    ASSERT_FALSE(window_open());
    const auto fg = bytes(kFg), bg = bytes(kBg);
    set_calibration_colors(fg.data(), bg.data());
    EXPECT_EQ(windowLook.backgroundColor.b, 230);

    // The application frees its surfaces right after handing them over.
    {
        auto target = quadrant_image(40, 30, kTargetQuadrants);
        auto background = quadrant_image(64, 48, kBackgroundQuadrants);
        set_cal_target_surface(target.get());
        set_cal_background_surface(background.get());
    }
    EXPECT_EQ(calData.customTarget, 1);
    EXPECT_EQ(calData.outerRadius, 15);
    EXPECT_EQ(calData.innerRadius, 15);
    EXPECT_EQ(calData.targetTexture, nullptr) << "no renderer yet";

    vt_test::ensure_window();
    vt_test::Pixels p = vt_test::read_window_pixels();
    ASSERT_FALSE(p.data.empty());
    EXPECT_EQ(p.at(0, 0), kBg) << "the first frame takes the early background colour";
    EXPECT_EQ(p.at(p.width - 1, p.height - 1), kBg);

    ASSERT_EQ(begin_cal_hook(), 0);
    draw_cal_target(200, 150);
    p = vt_test::read_window_pixels();
    expect_image_at(p, 180, 135, 40, 30, kTargetQuadrants);
    // The background image is stretched over the whole window.
    EXPECT_EQ(p.at(5, 5), kBackgroundQuadrants[0]);
    EXPECT_EQ(p.at(p.width - 5, 5), kBackgroundQuadrants[1]);
    EXPECT_EQ(p.at(5, p.height - 5), kBackgroundQuadrants[2]);
    EXPECT_EQ(p.at(p.width - 5, p.height - 5), kBackgroundQuadrants[3]);
    cal_test::restore_default_look();
}

TEST_F(TargetLook, RingSizesGiveTheirTexturesAndShapes) {
    struct Case {
        uint32_t size, hole;
        int outer, inner;
    };
    for (const Case c : {Case{17, 5, 9, 3}, Case{10, 30, 5, 0}, Case{12, 12, 6, 6},
                         Case{16, 4, 8, 2}, Case{61, 20, 31, 10}}) {
        SCOPED_TRACE(testing::Message() << "sizes " << c.size << "/" << c.hole);
        set_target_size(c.size, c.hole);
        EXPECT_EQ(calData.outerRadius, c.outer);
        EXPECT_EQ(calData.innerRadius, c.inner);
        EXPECT_EQ(calData.targetWidth, 2 * c.outer + 2);
        EXPECT_EQ(calData.targetHeight, 2 * c.outer);
        int w = 0, h = 0;
        ASSERT_EQ(SDL_QueryTexture(calData.targetTexture, nullptr, nullptr, &w, &h), 0);
        EXPECT_EQ(w, 2 * c.outer + 2);
        EXPECT_EQ(h, 2 * c.outer);

        draw_cal_target(300, 200);
        const vt_test::Pixels p = vt_test::read_window_pixels();
        expect_ring(p, 300 - (c.outer + 1), 200 - c.outer, c.outer, c.inner,
                    cal_test::kDefaultForeground, cal_test::kDefaultBackground);
        if (c.inner == 0) {
            EXPECT_EQ(p.at(300, 200), cal_test::kDefaultForeground) << "full disc";
        }
    }
}

TEST_F(TargetLook, SizeCallsCancelTheAnimatedTargetAndKeepEqualOrZeroSizes) {
    SDL_Texture *ring = calData.targetTexture;
    ASSERT_NE(ring, nullptr);

    calData.animationTarget.videoPath = "target.avi";
    set_target_size(0, 4);
    EXPECT_EQ(calData.outerRadius, 8);
    EXPECT_EQ(calData.innerRadius, 2);
    EXPECT_TRUE(calData.animationTarget.videoPath.empty());

    calData.animationTarget.videoPath = "target.avi";
    set_target_size(0x10000 + 16, 0x20000 + 4);  // only the low 16 bits count: 16 and 4
    EXPECT_TRUE(calData.animationTarget.videoPath.empty());
    EXPECT_EQ(calData.targetTexture, ring) << "the same size keeps the texture";

    auto image = quadrant_image(40, 30, kTargetQuadrants);
    set_cal_target_surface(image.get());
    SDL_Texture *image_texture = calData.targetTexture;
    ASSERT_NE(image_texture, nullptr);
    set_target_size(30, 30);  // radii 15 and 15: the image's own
    EXPECT_EQ(calData.customTarget, 1);
    EXPECT_EQ(calData.targetTexture, image_texture);
    set_target_size(20, 4);
    EXPECT_EQ(calData.customTarget, 0);
    EXPECT_EQ(calData.targetWidth, 22);
    draw_cal_target(100, 100);
    expect_ring(vt_test::read_window_pixels(), 89, 90, 10, 2, cal_test::kDefaultForeground,
                cal_test::kDefaultBackground);
}

TEST_F(TargetLook, OversizedTargetIsRefusedWithALine) {
    SDL_Texture *ring = calData.targetTexture;
    set_target_size(65535, 10);
    EXPECT_EQ(standin_log_matches("set_target_size: a target of 65535 pixels"), 1u);
    EXPECT_EQ(calData.outerRadius, 8);
    EXPECT_EQ(calData.targetTexture, ring);
    set_target_size(4098, 10);  // one pixel of radius beyond the largest target
    EXPECT_EQ(standin_log_matches("set_target_size: a target of 4098 pixels"), 1u);
    EXPECT_EQ(calData.outerRadius, 8);
}

TEST_F(TargetLook, ApplicationImageIsTheTargetUntilReplaced) {
    const int32_t ring_outer = calData.outerRadius, ring_inner = calData.innerRadius;
    auto image = quadrant_image(40, 30, kTargetQuadrants);
    set_cal_target_surface(image.get());
    EXPECT_EQ(calData.outerRadius, 15);
    EXPECT_EQ(calData.innerRadius, 15);
    EXPECT_EQ(calData.targetWidth, 40);
    EXPECT_EQ(calData.targetHeight, 30);
    draw_cal_target(500, 400);
    expect_image_at(vt_test::read_window_pixels(), 480, 385, 40, 30, kTargetQuadrants);

    // A colour change leaves the application's image alone.
    const auto fg = bytes(kFg);
    set_calibration_colors(fg.data(), nullptr);
    draw_cal_target(500, 400);
    expect_image_at(vt_test::read_window_pixels(), 480, 385, 40, 30, kTargetQuadrants);

    // Without the image the ring it replaced returns, not an invisible one of the image's
    // equal radii.
    const int32_t outer = ring_outer, inner = ring_inner;
    set_cal_target_surface(nullptr);
    EXPECT_EQ(calData.customTarget, 0);
    EXPECT_EQ(calData.targetTexture, nullptr);
    EXPECT_EQ(calData.outerRadius, outer);
    EXPECT_EQ(calData.innerRadius, inner);
    ASSERT_EQ(begin_cal_hook(), 0);
    draw_cal_target(500, 400);
    expect_ring(vt_test::read_window_pixels(), 500 - (outer + 1), 400 - outer, outer, inner, kFg,
                cal_test::kDefaultBackground);

    // A new size while an image shows replaces the image by a ring of that size.
    set_cal_target_surface(image.get());
    set_target_size(21, 7);
    EXPECT_EQ(calData.customTarget, 0);
    EXPECT_EQ(calData.outerRadius, 11);
    EXPECT_EQ(calData.innerRadius, 4);
}

TEST_F(TargetLook, BackgroundColourChangeRepaintsTheWindowAndTheRing) {
    draw_cal_target(300, 300);
    const auto bg = bytes(kBg), fg = bytes(kFg);
    set_calibration_colors(nullptr, bg.data());
    EXPECT_EQ(windowLook.backgroundColor.g, 120);
    vt_test::Pixels p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(300, 295), kBg) << "the whole window is repainted, the old target too";
    EXPECT_EQ(p.at(0, 0), kBg);
    EXPECT_EQ(p.at(p.width - 1, p.height - 1), kBg);

    set_calibration_colors(fg.data(), nullptr);
    draw_cal_target(300, 300);
    expect_ring(vt_test::read_window_pixels(), 291, 292, 8, 2, kFg, kBg);
}

TEST_F(TargetLook, AlphaAloneIsNoChange) {
    draw_cal_target(300, 300);
    auto fg = bytes(cal_test::kDefaultForeground), bg = bytes(cal_test::kDefaultBackground);
    fg[3] = 7;
    bg[3] = 9;
    set_calibration_colors(fg.data(), bg.data());
    EXPECT_EQ(windowLook.foregroundColor.a, 255);
    EXPECT_EQ(windowLook.backgroundColor.a, 255);
    expect_ring(vt_test::read_window_pixels(), 291, 292, 8, 2, cal_test::kDefaultForeground,
                cal_test::kDefaultBackground);
}

TEST_F(TargetLook, WithCustomBackgroundAColourChangeOnlyRedrawsTheRing) {
    auto background = quadrant_image(64, 48, kBackgroundQuadrants);
    set_cal_background_surface(background.get());
    ASSERT_NE(windowLook.backgroundTexture, nullptr);
    clear_cal_hook();
    const vt_test::Pixels before = vt_test::read_window_pixels();
    ASSERT_EQ(before.at(10, 10), kBackgroundQuadrants[0]);

    const auto fg = bytes(kFg), bg = bytes(kBg);
    set_calibration_colors(fg.data(), bg.data());
    EXPECT_EQ(vt_test::read_window_pixels().data, before.data) << "the window is not repainted";

    draw_cal_target(200, 150);
    const vt_test::Pixels p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(200, 150), kBg) << "hole in the new background colour";
    EXPECT_EQ(p.at(200, 144), kFg) << "disc in the new foreground colour";
    EXPECT_EQ(p.at(191, 143), kBg) << "texture corner";
    EXPECT_EQ(p.at(189, 143), kBackgroundQuadrants[0]) << "background image beside the texture";
}

}  // namespace
