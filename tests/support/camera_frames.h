// Helpers for the camera image tests: windows of a chosen size, an asymmetric test picture
// and its palette, and sending whole frames through the image hooks.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "frame/display_hooks.h"
#include "frame/expt_window.h"
#include "test_support.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace vt_test {

// Makes the experiment window width x height: the desktop window of the dummy driver is
// 1024 x 768, other sizes are application windows handed to init_expt_window.
inline void use_window(int width, int height) {
    ensure_window();
    if (exptGraphics.window_rect.w == width && exptGraphics.window_rect.h == height) return;
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    ASSERT_EQ(SDL_CreateWindowAndRenderer(width, height, 0, &window, &renderer), 0)
        << SDL_GetError();
    SDL_Window *slot = window;
    ASSERT_EQ(init_expt_window(&slot, nullptr), 0);
    ASSERT_EQ(exptGraphics.window_rect.w, width);
    ASSERT_EQ(exptGraphics.window_rect.h, height);
}

// Palette entry i: no channel is ever 0 or 255, so no entry equals an overlay colour.
constexpr uint8_t test_red(int i) { return uint8_t(20 + i % 100); }
constexpr uint8_t test_green(int i) { return uint8_t(40 + (i * 3) % 90); }
constexpr uint8_t test_blue(int i) { return uint8_t(60 + (i * 7) % 120); }
constexpr uint32_t test_colour(int i) { return rgba(test_red(i), test_green(i), test_blue(i)); }

inline void load_test_palette() {
    std::array<uint8_t, 256> red{}, green{}, blue{};
    for (int i = 0; i < 256; ++i) {
        red[size_t(i)] = test_red(i);
        green[size_t(i)] = test_green(i);
        blue[size_t(i)] = test_blue(i);
    }
    palette_hook(256, red.data(), green.data(), blue.data());
}

// The picture: differs along both axes and is neither symmetric nor periodic over a row.
constexpr uint8_t test_index(int x, int y) { return uint8_t((x / 3 + (2 * y) / 5) % 256); }

// Sends lines 1..lines of width pixels; the last one presents the frame.
inline void send_frame(int width = 384, int lines = 320) {
    std::vector<uint8_t> row(size_t(width > 0 ? width : 0));
    for (int line = 1; line <= lines; ++line) {
        for (int x = 0; x < width; ++x) row[size_t(x)] = test_index(x, line - 1);
        image_line_hook(int16_t(width), int16_t(line), int16_t(lines), row.data());
    }
}

// Each case starts in the 1024 x 768 window without an image buffer, with the image centred,
// the built-in mouse callback and the stand-in core's records cleared.
class CameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        use_window(1024, 768);
        end_image_hook();
        set_camera_image_position(-1, -1, 0, 0);
        set_mouse_loc_callback(nullptr);
        standin_reset();
    }
    void TearDown() override {
        end_image_hook();
        set_camera_image_position(-1, -1, 0, 0);
        set_mouse_loc_callback(nullptr);
    }
};

// The same, with image display begun and the test palette loaded.
class CameraFrameTest : public CameraTest {
protected:
    void SetUp() override {
        CameraTest::SetUp();
        ASSERT_EQ(begin_image_hook(), 1);
        load_test_palette();
    }
};

}  // namespace vt_test
