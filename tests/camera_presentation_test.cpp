// Presenting camera frames: pixels of the scaled image, imageRect and the overlay surface for
// window heights 1080, 768, 500 and 384 and the three zoom steps, requested position against
// centred overlay, the clear on a size change, the "Marker" bars, the mouse callback choice.
#include <gtest/gtest.h>

#include "calibration/cal_data.h"
#include "camera/image_state.h"
#include "camera_frames.h"
#include "device/device_state.h"
#include "text/text_cache.h"
#include "frame/display_hooks.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

const uint32_t kBackground = vt_test::rgba(180, 180, 180);

class CameraPresentation : public vt_test::CameraFrameTest {
protected:
    static SDL_Rect rect() { return imageState.imageRect; }
    static void expect_rect(int x, int y, int w, int h) {
        EXPECT_EQ(rect().x, x);
        EXPECT_EQ(rect().y, y);
        EXPECT_EQ(rect().w, w);
        EXPECT_EQ(rect().h, h);
    }
    static void expect_overlay_size(int w, int h) {
        const StandinOverlaySeen seen = standin_last_overlay();
        EXPECT_EQ(seen.drawnWidth, w);
        EXPECT_EQ(seen.drawnHeight, h);
        EXPECT_EQ(seen.surfaceWidth, w);
        EXPECT_EQ(seen.surfaceHeight, h);
    }
};

TEST_F(CameraPresentation, Height768ShowsTheImageTwiceItsSizeCentred) {
    vt_test::send_frame();
    expect_rect(128, 64, 768, 640);
    expect_overlay_size(768, 640);
    const vt_test::Pixels p = vt_test::read_window_pixels();
    ASSERT_FALSE(p.data.empty());
    // Each camera pixel covers 2 x 2 window pixels; rows and columns are not swapped.
    for (const auto &[x, y] : {std::pair{0, 0}, {383, 0}, {0, 319}, {383, 319}, {17, 250}}) {
        const uint32_t expected = vt_test::test_colour(vt_test::test_index(x, y));
        EXPECT_EQ(p.at(128 + 2 * x, 64 + 2 * y), expected) << x << "," << y;
        EXPECT_EQ(p.at(129 + 2 * x, 65 + 2 * y), expected) << x << "," << y;
    }
    EXPECT_EQ(p.at(127, 64), kBackground);
    EXPECT_EQ(p.at(896, 64), kBackground);
    EXPECT_EQ(p.at(128, 63), kBackground);
    EXPECT_EQ(p.at(128, 704), kBackground);
}

TEST_F(CameraPresentation, Height1080AndTheThreeZoomSteps) {
    vt_test::use_window(1920, 1080);
    vt_test::send_frame();
    expect_rect(420, 90, 1080, 900);
    expect_overlay_size(1080, 900);
    const vt_test::Pixels p = vt_test::read_window_pixels();
    ASSERT_FALSE(p.data.empty());
    EXPECT_EQ(p.at(420, 90), vt_test::test_colour(vt_test::test_index(0, 0)));
    EXPECT_EQ(p.at(1499, 989), vt_test::test_colour(vt_test::test_index(383, 319)));
    EXPECT_EQ(p.at(419, 90), kBackground);
    EXPECT_EQ(p.at(1500, 989), kBackground);

    imageState.zoomStep = 1;  // f = 3.65625
    vt_test::send_frame();
    expect_rect((1920 - 1404) / 2, (1080 - 1170) / 2, 1404, 1170);
    expect_overlay_size(1404, 1170);
    EXPECT_EQ(imageState.zoomStep, 1);
    imageState.zoomStep = 2;  // f = 4.5
    vt_test::send_frame();
    expect_rect(96, -180, 1728, 1440);
    expect_overlay_size(1728, 1440);
    imageState.zoomStep = 3;  // f = 1.171875, once
    vt_test::send_frame();
    expect_rect(735, 352, 450, 375);
    expect_overlay_size(450, 375);
    EXPECT_EQ(imageState.zoomStep, 0);
    vt_test::send_frame();
    expect_rect(420, 90, 1080, 900);
}

TEST_F(CameraPresentation, Height500RoundsTheOverlayLikeTheSurfaceZoom) {
    vt_test::use_window(700, 500);
    vt_test::send_frame();
    // f = 500 / 384: the image rectangle truncates, the overlay surface rounds.
    expect_rect(100, 42, 500, 416);
    const StandinOverlaySeen seen = standin_last_overlay();
    EXPECT_EQ(seen.surfaceWidth, 500);
    EXPECT_EQ(seen.surfaceHeight, 417);
    EXPECT_EQ(seen.drawnHeight, 417);
}

TEST_F(CameraPresentation, Height384ShowsNaturalSizeWithoutMarkerBars) {
    vt_test::use_window(512, 384);
    image_title_hook(0, "Marker: left");
    vt_test::send_frame();
    expect_rect(64, 32, 384, 320);
    expect_overlay_size(384, 320);
    const vt_test::Pixels p = vt_test::read_window_pixels();
    ASSERT_FALSE(p.data.empty());
    EXPECT_EQ(p.at(64, 32), vt_test::test_colour(vt_test::test_index(0, 0)));
    EXPECT_EQ(p.at(64 + 383, 32 + 319), vt_test::test_colour(vt_test::test_index(383, 319)));
    EXPECT_EQ(p.at(64 + 200, 32 + 7), vt_test::test_colour(vt_test::test_index(200, 7)));
    EXPECT_EQ(p.at(63, 32), kBackground);
    EXPECT_EQ(p.at(256, 10), kBackground) << "no marker bars at natural size";
}

TEST_F(CameraPresentation, MarkerTitleDrawsBarsOnTheEnlargedImage) {
    image_title_hook(0, "Marker: left");
    vt_test::send_frame();
    vt_test::Pixels p = vt_test::read_window_pixels();
    ASSERT_FALSE(p.data.empty());
    const uint32_t black = vt_test::rgba(0, 0, 0);
    for (int x = 511; x <= 513; ++x) {
        EXPECT_EQ(p.at(x, 0), black);
        EXPECT_EQ(p.at(x, 20), black);
        EXPECT_EQ(p.at(x, 748), black);
        EXPECT_EQ(p.at(x, 767), black);
    }
    EXPECT_EQ(p.at(510, 10), kBackground);
    EXPECT_EQ(p.at(514, 10), kBackground);
    EXPECT_EQ(p.at(512, 21), kBackground);
    EXPECT_EQ(p.at(512, 747), kBackground);

    image_title_hook(0, "Left eye");
    vt_test::send_frame();
    p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(512, 10), kBackground);
}

TEST_F(CameraPresentation, Height768ZoomStep3ShowsNaturalSizeCentred) {
    imageState.zoomStep = 3;
    vt_test::send_frame();
    expect_rect(320, 224, 384, 320);
    expect_overlay_size(384, 320);
    EXPECT_EQ(imageState.zoomStep, 0);
    const vt_test::Pixels p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(320, 224), vt_test::test_colour(vt_test::test_index(0, 0)));
    EXPECT_EQ(p.at(319, 224), kBackground);
}

TEST_F(CameraPresentation, RequestedPositionMovesTheImageButNotTheOverlay) {
    set_camera_image_position(100, 50, 0, 0);
    const StandinOverlayOp across[] = {{STANDIN_LINE, -300, 10, 3000, 10, 5}};
    standin_set_overlay_script(across, 1);
    vt_test::send_frame();
    expect_rect(100, 50, 768, 640);
    const vt_test::Pixels p = vt_test::read_window_pixels();
    ASSERT_FALSE(p.data.empty());
    EXPECT_EQ(p.at(100, 50), vt_test::test_colour(vt_test::test_index(0, 0)));
    EXPECT_EQ(p.at(99, 50), kBackground);
    // The overlay is clipped to the centred area (128, 64) to (895, 703).
    const uint32_t red = vt_test::rgba(255, 0, 0);
    EXPECT_EQ(p.at(128, 74), red);
    EXPECT_EQ(p.at(895, 73), red);
    EXPECT_NE(p.at(127, 74), red);
    EXPECT_NE(p.at(896, 74), red);

    // At natural size the image is centred whatever was requested.
    imageState.zoomStep = 3;
    vt_test::send_frame();
    expect_rect(320, 224, 384, 320);
}

TEST_F(CameraPresentation, OnlyAChangedFrameSizeClearsTheWholeTarget) {
    // A clip or viewport set on the renderer limits the fill but not the clear.
    SDL_Renderer *renderer = exptGraphics.renderer;
    const SDL_Rect clip{0, 0, 100, 100};
    const uint32_t marker = vt_test::rgba(9, 99, 199);
    auto prepare = [&] {
        SDL_RenderSetClipRect(renderer, nullptr);
        SDL_SetRenderDrawColor(renderer, 9, 99, 199, 255);
        SDL_RenderClear(renderer);
        SDL_RenderSetClipRect(renderer, &clip);
    };
    prepare();
    vt_test::send_frame(384, 320);
    vt_test::Pixels p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(50, 50), kBackground);
    EXPECT_EQ(p.at(1000, 700), marker) << "a 384 x 320 frame does not clear";

    // Nor does a viewport that leaves out part of the window.
    prepare();
    SDL_RenderSetClipRect(renderer, nullptr);
    SDL_RenderSetViewport(renderer, &clip);
    vt_test::send_frame(384, 320);
    SDL_RenderSetViewport(renderer, nullptr);
    p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(50, 50), kBackground);
    EXPECT_EQ(p.at(1000, 700), marker) << "the fill stays inside the viewport";

    prepare();
    vt_test::send_frame(300, 200);
    p = vt_test::read_window_pixels();
    EXPECT_EQ(p.at(1000, 700), kBackground) << "a 300 x 200 frame clears first";
    expect_rect(212, 184, 600, 400);
    expect_overlay_size(600, 400);
}

TEST_F(CameraPresentation, ImageAndTitleSurviveTheWindowBeingClosedAndReopened) {
    standin_set_display_flags(0x2);
    image_title_hook(0, "Kept title");
    vt_test::send_frame();
    const vt_test::Pixels before = vt_test::read_window_pixels();
    // The core library may keep showing the image across a new experiment window; what the
    // old renderer held (the image's texture, the title's) must not be used again.
    close_expt_graphics();
    vt_test::ensure_window();
    vt_test::load_test_palette();
    vt_test::send_frame();
    const vt_test::Pixels p = vt_test::read_window_pixels();
    ASSERT_FALSE(p.data.empty());
    EXPECT_EQ(p.at(128, 64), vt_test::test_colour(vt_test::test_index(0, 0)));
    EXPECT_EQ(p.at(895, 703), vt_test::test_colour(vt_test::test_index(383, 319)));
    EXPECT_TRUE(p.data == before.data) << "the title is drawn as before";

    // A changed title shows on the very next frame, as a frame drawn afresh shows it.
    image_title_hook(0, "Changed title");
    vt_test::send_frame();
    const vt_test::Pixels changed = vt_test::read_window_pixels();
    EXPECT_FALSE(changed.data == before.data);
    release_line_textures();
    vt_test::send_frame();
    EXPECT_TRUE(vt_test::read_window_pixels().data == changed.data);
}

// A changed menu line, the device's next mode, shows on the very next camera frame, as a frame
// drawn afresh shows it; without the device no menu shows.
TEST_F(CameraPresentation, AChangedMenuLineShowsOnTheNextFrame) {
    const char *script =
        "[MODE C]\nBUTTON 1 ACCEPT_TARGET\n[MODE V]\nBUTTON 1 EXIT\n[MODE D]\nBUTTON 1 EXIT\n"
        "[MODE 1]\nTEXT_LINE \"Camera Views:\"\nTEXT_LINE \"NUM 7 -> Next\"\nBUTTON 1 GOTO_MODE 2\n"
        "[MODE 2]\nTEXT_LINE \"Camera Views:\"\nTEXT_LINE \"NUM 8 -> Next\"\nBUTTON 1 GOTO_MODE 1\n";
    ASSERT_EQ(enable_external_calibration_device(2, script, nullptr), 1);
    standin_set_tracker_mode(VT_MODE_SETUP);
    vt_test::send_frame();
    const vt_test::Pixels first = vt_test::read_window_pixels();
    current_setup_mode = 5;       // the script's MODE 2
    standin_set_tracker_mode(6);  // bit 0x2, no mode change
    vt_test::send_frame();
    const vt_test::Pixels changed = vt_test::read_window_pixels();
    release_line_textures();
    vt_test::send_frame();
    const vt_test::Pixels afresh = vt_test::read_window_pixels();
    enable_external_calibration_device(0, nullptr, nullptr);
    vt_test::send_frame();
    const vt_test::Pixels without_menu = vt_test::read_window_pixels();
    EXPECT_FALSE(changed.data == first.data);
    EXPECT_FALSE(changed.data == without_menu.data);
    EXPECT_TRUE(afresh.data == changed.data);
}

int application_mouse_calls = 0;
int application_mouse_width = 0;
int application_mouse(OverlayContext *context, int32_t *x, int32_t *y, uint32_t *state) {
    ++application_mouse_calls;
    application_mouse_width = context->overlaySurface->w;
    *x = 11;
    *y = 22;
    *state = 1;
    return 0;
}

TEST_F(CameraPresentation, ApplicationMouseCallbackReplacesTheBuiltInOne) {
    const StandinOverlayOp ask[] = {{STANDIN_MOUSE, 0, 0, 0, 0, 0}};
    standin_set_overlay_script(ask, 1);
    set_mouse_loc_callback(application_mouse);
    vt_test::send_frame();
    StandinOverlaySeen seen = standin_last_overlay();
    EXPECT_EQ(seen.mouseCallback, &application_mouse);
    EXPECT_EQ(application_mouse_calls, 1);
    EXPECT_EQ(application_mouse_width, 768);
    EXPECT_EQ(seen.mouseX, 11);
    EXPECT_EQ(seen.mouseY, 22);

    set_mouse_loc_callback(nullptr);
    vt_test::send_frame();
    seen = standin_last_overlay();
    EXPECT_NE(seen.mouseCallback, nullptr);
    EXPECT_NE(seen.mouseCallback, &application_mouse);
    EXPECT_EQ(application_mouse_calls, 1);
}

}  // namespace
