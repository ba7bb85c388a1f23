// Helpers shared by the calibration tests: asymmetric test images, a check of the drawn ring
// on screen, and the calibration look returned to its defaults between cases.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>

#include "calibration/cal_data.h"
#include "test_support.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace cal_test {

struct SurfaceDeleter {
    void operator()(SDL_Surface *surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// Colours (0xRRGGBBAA) of an image's top-left, top-right, bottom-left, bottom-right quarters.
using Quadrants = std::array<uint32_t, 4>;

inline uint32_t quadrant_colour(const Quadrants &q, int x, int y, int w, int h) {
    return q[size_t((y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0))];
}

// A w × h opaque image in four differently coloured quarters: a mirrored, flipped or
// channel-swapped copy cannot pass for it.
inline SurfacePtr quadrant_image(int w, int h, const Quadrants &q) {
    SurfacePtr image(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA8888));
    if (!image) return image;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            static_cast<uint32_t *>(image->pixels)[y * image->pitch / 4 + x] =
                quadrant_colour(q, x, y, w, h);
    return image;
}

inline SDL_Color colour(uint32_t rgba) {
    return SDL_Color{uint8_t(rgba >> 24), uint8_t(rgba >> 16), uint8_t(rgba >> 8), uint8_t(rgba)};
}

inline std::array<uint8_t, 4> bytes(uint32_t rgba) {
    return {uint8_t(rgba >> 24), uint8_t(rgba >> 16), uint8_t(rgba >> 8), uint8_t(rgba)};
}

// Checks the ring of radii outer and inner whose (2·outer + 2) × 2·outer texture was copied
// with its top-left corner at (left, top): the disc spans columns 1 to 2·outer + 1 and rows 0
// to 2·outer - 1 of the texture; pixels clearly inside the hole or outside the disc show the
// background, pixels clearly between them the foreground.
inline void expect_ring(const vt_test::Pixels &p, int left, int top, int outer, int inner,
                        uint32_t fg, uint32_t bg) {
    const double cx = left + outer + 1, cy = top + outer;
    int min_x = 1 << 30, max_x = -1, min_y = 1 << 30, max_y = -1, wrong = 0;
    for (int y = top - 2; y < top + 2 * outer + 2; ++y)
        for (int x = left - 2; x < left + 2 * outer + 4; ++x) {
            const uint32_t pixel = p.at(x, y);
            ASSERT_TRUE(pixel == fg || pixel == bg) << "foreign colour at " << x << "," << y;
            const bool inside_texture =
                x >= left && x < left + 2 * outer + 2 && y >= top && y < top + 2 * outer;
            if (pixel == fg) {
                EXPECT_TRUE(inside_texture) << "disc pixel outside the texture at " << x << "," << y;
                min_x = std::min(min_x, x), max_x = std::max(max_x, x);
                min_y = std::min(min_y, y), max_y = std::max(max_y, y);
            }
            const double d = std::hypot(x - cx, y - cy);
            const bool in_hole = inner > 0 && d <= inner - 1;
            const bool on_disc = d <= outer - 1 && d >= inner + 1;
            if ((in_hole || d >= outer + 1) && pixel != bg) ++wrong;
            if (on_disc && pixel != fg) ++wrong;
        }
    EXPECT_EQ(wrong, 0) << "pixels of the wrong colour in the ring at " << left << "," << top;
    if (inner >= outer) {
        EXPECT_EQ(max_x, -1) << "a hole as large as the disc leaves no disc";
        return;
    }
    EXPECT_EQ(min_x, left + 1);
    EXPECT_EQ(max_x, left + 2 * outer + 1);
    EXPECT_EQ(min_y, top);
    EXPECT_EQ(max_y, top + 2 * outer - 1);
}

constexpr uint32_t kDefaultForeground = vt_test::rgba(0, 0, 0);
constexpr uint32_t kDefaultBackground = vt_test::rgba(180, 180, 180);

// Default colours, ring radii 8 and 2, no custom target or background, display flags 0.
inline void restore_default_look() {
    set_cal_target_surface(nullptr);
    reset_background_surface();
    const auto fg = bytes(kDefaultForeground), bg = bytes(kDefaultBackground);
    set_calibration_colors(fg.data(), bg.data());
    set_target_size(16, 4);
    standin_set_display_flags(0);
}

}  // namespace cal_test
