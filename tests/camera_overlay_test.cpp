// The overlay callbacks as the core library uses them, replayed by the stand-in core during a
// presented frame: colour numbers, line geometry in both directions, circles and standing and
// lying lozenges, curves with SDL2_gfx's own points, the mouse in drawn-image pixels with
// clamping, and extreme values.
#include <SDL2_gfxPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "camera/image_state.h"
#include "camera/overlay_primitives.h"
#include "frame/display_hooks.h"
#include "camera_frames.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

const uint32_t kWhite = vt_test::rgba(255, 255, 255);
const uint32_t kGreen = vt_test::rgba(0, 255, 0);
const uint32_t kRed = vt_test::rgba(255, 0, 0);
const uint32_t kBlack = vt_test::rgba(0, 0, 0);
const uint32_t kImage = vt_test::test_colour(0);

// 1024 x 768 window: the image is drawn 768 x 640 with its top-left at (128, 64).
constexpr int kOx = 128, kOy = 64;

class CameraOverlay : public vt_test::CameraFrameTest {
protected:

    // Presents a plain frame (palette entry 0 everywhere) with the overlay drawn by ops.
    static vt_test::Pixels frame_with(const std::vector<StandinOverlayOp> &ops) {
        standin_set_overlay_script(ops.data(), ops.size());
        const std::vector<uint8_t> row(384, 0);
        for (int16_t line = 1; line <= 320; ++line) image_line_hook(384, line, 320, row.data());
        return vt_test::read_window_pixels();
    }
    static uint32_t at(const vt_test::Pixels &p, int image_x, int image_y) {
        return p.at(kOx + image_x, kOy + image_y);
    }
};

StandinOverlayOp line(int x1, int y1, int x2, int y2, int colour) {
    return {STANDIN_LINE, x1, y1, x2, y2, colour};
}
StandinOverlayOp lozenge(int x, int y, int w, int h, int colour) {
    return {STANDIN_LOZENGE, x, y, w, h, colour};
}

TEST_F(CameraOverlay, ColourNumbers) {
    const struct {
        int colour;
        uint32_t expected;
    } cases[] = {{0, kBlack}, {1, kWhite},  {2, kWhite}, {3, kGreen},     {4, kRed},
                 {5, kRed},   {6, kGreen},  {7, kRed},   {8, kBlack},     {-1, kBlack},
                 {65537, kBlack}, {256 + 3, kBlack}};
    std::vector<StandinOverlayOp> ops;
    for (size_t i = 0; i < std::size(cases); ++i)
        ops.push_back(line(10, 20 + 10 * int(i), 60, 20 + 10 * int(i), cases[i].colour));
    const vt_test::Pixels p = frame_with(ops);
    ASSERT_FALSE(p.data.empty());
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(at(p, 30, 20 + 10 * int(i)), cases[i].expected) << "colour " << cases[i].colour;
}

TEST_F(CameraOverlay, VerticalLinesAreThreeWideHorizontalOnesTwoHigh) {
    const vt_test::Pixels p =
        frame_with({line(50, 100, 50, 200, 3), line(300, 150, 400, 150, 1)});
    ASSERT_FALSE(p.data.empty());
    for (int x = 49; x <= 51; ++x) {
        EXPECT_EQ(at(p, x, 100), kGreen);
        EXPECT_EQ(at(p, x, 200), kGreen);
    }
    EXPECT_EQ(at(p, 48, 150), kImage);
    EXPECT_EQ(at(p, 52, 150), kImage);
    EXPECT_EQ(at(p, 50, 99), kImage);
    EXPECT_EQ(at(p, 50, 201), kImage);

    for (int x : {300, 350, 400}) {
        EXPECT_EQ(at(p, x, 149), kWhite);
        EXPECT_EQ(at(p, x, 150), kWhite);
        EXPECT_EQ(at(p, x, 148), kImage);
        EXPECT_EQ(at(p, x, 151), kImage);
    }
    EXPECT_EQ(at(p, 299, 150), kImage);
    EXPECT_EQ(at(p, 401, 150), kImage);
}

TEST_F(CameraOverlay, RightToLeftIsDrawnAsLeftToRight) {
    const std::vector<StandinOverlayOp> forward = {
        line(400, 300, 500, 350, 5), line(600, 400, 700, 340, 6), line(200, 500, 260, 500, 1),
        line(100, 560, 103, 620, 4)};
    std::vector<StandinOverlayOp> backward;
    for (const StandinOverlayOp &op : forward) backward.push_back(line(op.c, op.d, op.a, op.b, op.colour));
    const vt_test::Pixels a = frame_with(forward);
    const vt_test::Pixels b = frame_with(backward);
    ASSERT_FALSE(a.data.empty());
    EXPECT_EQ(a.data, b.data);
    // Falling and rising lines: the plain line runs between the end points.
    EXPECT_EQ(at(a, 400, 300), kRed);
    EXPECT_EQ(at(a, 500, 350), kRed);
    EXPECT_EQ(at(a, 600, 400), kGreen);
    EXPECT_EQ(at(a, 700, 340), kGreen);
}

TEST_F(CameraOverlay, CirclesAndStandingAndLyingLozenges) {
    struct Point {
        int x, y;
    };
    const struct Case {
        StandinOverlayOp shape;
        uint32_t colour;
        std::vector<Point> drawn, clear;
    } cases[] = {
        // 40 x 43: a circle centred (120, 120), radii 20 and 19; the height plays no part.
        {lozenge(100, 100, 40, 43, 6), kGreen,
         {{140, 120}, {139, 120}, {100, 120}, {120, 100}, {120, 140}},
         {{138, 120}, {141, 120}, {120, 141}, {120, 142}}},
        // 40 x 44 standing: sides three wide at x 300 and 340 from y 120 to 124; top arc
        // centred (320, 120), bottom arc one pixel above the sides' end, (320, 123).
        {lozenge(300, 100, 40, 44, 4), kRed,
         {{299, 122}, {300, 122}, {301, 122}, {339, 122}, {340, 122}, {341, 122}, {320, 100},
          {320, 101}, {320, 143}, {320, 142}},
         {{302, 122}, {320, 122}, {320, 99}, {320, 102}, {320, 144}}},
        // 44 x 40 lying: bars two high at y 300 and 340 from x 120 to 124; left arc centred
        // (120, 320), right arc (124, 320).
        {lozenge(100, 300, 44, 40, 1), kWhite,
         {{122, 299}, {122, 300}, {122, 339}, {122, 340}, {100, 320}, {101, 320}, {144, 320},
          {143, 320}},
         {{122, 301}, {122, 320}, {99, 320}, {145, 320}}},
    };
    for (const Case &c : cases) {
        const vt_test::Pixels p = frame_with({c.shape});
        ASSERT_FALSE(p.data.empty());
        const std::string shape = std::to_string(c.shape.c) + " x " + std::to_string(c.shape.d);
        for (const Point &d : c.drawn)
            EXPECT_EQ(at(p, d.x, d.y), c.colour) << shape << " at " << d.x << "," << d.y;
        for (const Point &d : c.clear)
            EXPECT_EQ(at(p, d.x, d.y), kImage) << shape << " at " << d.x << "," << d.y;
    }
}

// Circles and the lozenges' ends have SDL2_gfx's own points: for radii from 0 to beyond the
// largest taken from a surface, whole and cut by the clip, they match SDL2_gfx drawing them
// point by point.
TEST_F(CameraOverlay, CurvesAreSdl2GfxsOwnPoints) {
    SDL_Renderer *renderer = exptGraphics.renderer;
    const SDL_Rect clip{kOx, kOy, 768, 640};
    auto picture = [&](const auto &draw) {
        SDL_RenderSetClipRect(renderer, nullptr);
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        SDL_RenderSetClipRect(renderer, &clip);
        const int result = draw();
        SDL_RenderSetClipRect(renderer, nullptr);
        return std::pair{result, vt_test::read_window_pixels()};
    };
    // A window-sized overlay surface puts drawn-image pixels on window pixels.
    SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormat(0, exptGraphics.window_rect.w,
                                                          exptGraphics.window_rect.h, 32,
                                                          SDL_PIXELFORMAT_RGB888);
    ASSERT_NE(surface, nullptr);
    OverlayContext context{};
    context.overlaySurface = surface;
    struct End {
        int kind;
        Sint16 start, end;
    };
    // Centred on the image, partly off it, and with the centre left of the image so that the
    // outline of the largest crosses it (the others around the image or far from it draw
    // nothing there, and are passed over).
    for (int d : {0, 1, 2, 3, 7, 40, 41, 100, 512, 513, 514, 700, 20000}) {
        const Sint16 r = Sint16(d / 2);
        for (const auto &[x, y] : {std::pair{500 - d / 2, 380 - d / 2}, {kOx - d / 3, kOy - 2},
                                   {kOx + 10 - d, kOy + 10 - d / 2}}) {
            const std::string at = std::to_string(d) + " at " + std::to_string(x) + "," +
                                   std::to_string(y);
            const auto [circle_result, circle] =
                picture([&] { return draw_overlay_lozenge(&context, x, y, d, d, 6); });
            const auto [gfx_result, gfx] = picture([&] {
                circleRGBA(renderer, Sint16(x + r), Sint16(y + r), r, 0, 255, 0, 255);
                return circleRGBA(renderer, Sint16(x + r), Sint16(y + r), Sint16(r - 1), 0, 255,
                                  0, 255);
            });
            EXPECT_EQ(circle_result, gfx_result) << "circle " << at;
            EXPECT_TRUE(circle.data == gfx.data) << "circle " << at;
            const bool whole = x > kOx;
            EXPECT_TRUE(!whole || std::count(circle.data.begin(), circle.data.end(), kGreen) > 0)
                << at;

            // The ends: top, left, right (x is the centre's), bottom (y is one below it).
            for (const End &end : {End{0, 180, 360}, End{1, 90, 270}, End{2, 270, 90},
                                   End{3, 0, 180}}) {
                const Sint16 cx = Sint16(end.kind == 2 ? x : x + r);
                const Sint16 cy = Sint16(end.kind == 3 ? y - 1 : y + r);
                const auto [arc_result, arc] =
                    picture([&] { return draw_half_arc(nullptr, x, y, d, 4, end.kind); });
                const auto [arc_gfx_result, arc_gfx] = picture([&] {
                    arcRGBA(renderer, cx, cy, r, end.start, end.end, 255, 0, 0, 255);
                    return arcRGBA(renderer, cx, cy, Sint16(r - 1), end.start, end.end, 255, 0,
                                   0, 255);
                });
                EXPECT_EQ(arc_result, arc_gfx_result) << "end " << end.kind << ", " << at;
                EXPECT_TRUE(arc.data == arc_gfx.data) << "end " << end.kind << ", " << at;
            }
        }
    }
    SDL_FreeSurface(surface);
}

TEST_F(CameraOverlay, ExtremeValuesAreDrawnSafely) {
    const vt_test::Pixels p = frame_with(
        {line(INT_MIN, 5, INT_MAX, 5, 1), line(INT_MAX, INT_MIN, INT_MIN, INT_MAX, 2),
         line(7, INT_MIN, 7, INT_MAX, 3), lozenge(INT_MAX, INT_MAX, INT_MAX, INT_MIN, 4),
         lozenge(10, 10, INT_MIN, INT_MIN, 5), lozenge(10, 10, -40, -40, 6),
         lozenge(-5, -5, 0, 1, 7), line(-20000, -20000, 20000, 20000, 6)});
    ASSERT_FALSE(p.data.empty());
    // A line far longer than the image is drawn where it crosses it.
    EXPECT_EQ(at(p, 300, 300), kGreen);
    EXPECT_EQ(at(p, 600, 600), kGreen);
    // Clamped, not wrapped: the long horizontal line still lies on row 5 across the image.
    EXPECT_EQ(at(p, 0, 5), kWhite);
    EXPECT_EQ(at(p, 767, 5), kWhite);
    EXPECT_EQ(at(p, 7, 600), kGreen);
    EXPECT_NE(p.at(kOx - 1, kOy + 5), kWhite) << "still inside the clip";

    // Callbacks given no surface draw nothing.
    OverlayContext empty{};
    EXPECT_EQ(draw_overlay_line(&empty, 0, 0, 10, 10, 1), -1);
    EXPECT_EQ(draw_overlay_lozenge(nullptr, 0, 0, 10, 10, 1), -1);
    int32_t x = 0, y = 0;
    uint32_t state = 0;
    EXPECT_EQ(get_overlay_mouse(&empty, &x, &y, &state), -1);
}

TEST_F(CameraOverlay, MouseIsReportedInDrawnImagePixelsAndClamped) {
    vt_test::use_window(1920, 1080);
    // Drawn 1080 x 900, so the image's origin is (420, 90).
    struct Case {
        int wx, wy;
        int32_t x, y;
        bool inside;
    };
    for (const Case &c : {Case{400, 50, 0, 0, false}, Case{1500, 990, 1080, 900, true},
                          Case{1500, 500, 1080, 410, true}, Case{420, 90, 0, 0, true},
                          Case{1600, 500, 1080, 410, false}, Case{700, 1079, 280, 900, false},
                          Case{425, 93, 5, 3, true}}) {
        SDL_WarpMouseInWindow(exptGraphics.window, c.wx, c.wy);
        int mx = -1, my = -1;
        SDL_GetMouseState(&mx, &my);
        ASSERT_EQ(mx, c.wx);
        ASSERT_EQ(my, c.wy);
        const StandinOverlayOp ask[] = {{STANDIN_MOUSE, 0, 0, 0, 0, 0xFF00}};
        standin_set_overlay_script(ask, 1);
        vt_test::send_frame();
        const StandinOverlaySeen seen = standin_last_overlay();
        EXPECT_EQ(seen.surfaceWidth, 1080);
        EXPECT_EQ(seen.mouseX, c.x) << c.wx << "," << c.wy;
        EXPECT_EQ(seen.mouseY, c.y) << c.wx << "," << c.wy;
        // Inside, the state becomes the left-button bit (no button is down here); outside it
        // is left as it was.
        EXPECT_EQ(seen.mouseState, c.inside ? 0u : 0xFF00u) << c.wx << "," << c.wy;
    }
}

}  // namespace
