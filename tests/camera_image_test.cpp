// The camera image buffer: creation and release, palette and line conversion, the frame
// completed by its last line, the status-text scale, the title, the requested position, and
// hostile sizes from the core library that must stay inside the buffer and palette.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "camera/image_state.h"
#include "frame/display_hooks.h"
#include "camera_frames.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

uint32_t buffer_pixel(int x, int y) {
    const auto *row =
        reinterpret_cast<const uint32_t *>(imageState.imagePixels + y * imageState.imagePitch);
    return row[x];
}

// All buffer bytes, to show that a call changed nothing.
std::vector<uint8_t> buffer_copy() {
    const uint8_t *start = imageState.imagePixels;
    return {start, start + size_t(kImageBufferHeight) * size_t(imageState.imagePitch)};
}

using CameraBuffer = vt_test::CameraTest;

TEST_F(CameraBuffer, BeginCreatesBlackBufferOnceAndEndReleasesIt) {
    image_title_hook(0, "left eye");
    imageState.zoomStep = 2;
    ASSERT_EQ(begin_image_hook(), 1);
    EXPECT_STREQ(imageState.imageTitle, "");
    EXPECT_EQ(imageState.zoomStep, 0);
    EXPECT_EQ(imageState.imageWidth, 384);
    EXPECT_EQ(imageState.imageHeight, 320);
    EXPECT_EQ(imageState.imageActive, 1);
    SDL_Surface *surface = imageState.imageSurface;
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->w, 384);
    EXPECT_EQ(surface->h, 320);
    EXPECT_EQ(surface->format->BitsPerPixel, 32);
    EXPECT_EQ(surface->format->Rmask, 0x00FF0000u);
    EXPECT_EQ(surface->format->Gmask, 0x0000FF00u);
    EXPECT_EQ(surface->format->Bmask, 0x000000FFu);
    EXPECT_EQ(imageState.imagePitch, surface->pitch);
    const std::vector<uint8_t> bytes = buffer_copy();
    EXPECT_EQ(std::accumulate(bytes.begin(), bytes.end(), 0u), 0u) << "a black image";

    // A second begin keeps the buffer and its contents, but resets title, sizes and zoom.
    vt_test::load_test_palette();
    vt_test::send_frame(384, 10);
    image_title_hook(0, "right eye");
    imageState.zoomStep = 1;
    EXPECT_EQ(begin_image_hook(), 0);
    EXPECT_EQ(imageState.imageSurface, surface);
    EXPECT_EQ(buffer_pixel(5, 3), vt_test::test_colour(vt_test::test_index(5, 3)) >> 8);
    EXPECT_STREQ(imageState.imageTitle, "");
    EXPECT_EQ(imageState.zoomStep, 0);

    end_image_hook();
    EXPECT_EQ(imageState.imageSurface, nullptr);
    EXPECT_EQ(imageState.imagePixels, nullptr);
    EXPECT_EQ(imageState.imageActive, 0);
    // Idle: lines and a second end change nothing and present nothing.
    standin_reset();
    vt_test::send_frame();
    end_image_hook();
    EXPECT_EQ(standin_calls().draw_overlay, 0);
}

TEST_F(CameraBuffer, PaletteIndicesBecomePixels) {
    ASSERT_EQ(begin_image_hook(), 1);
    const uint8_t red[] = {10, 40, 70}, green[] = {20, 50, 80}, blue[] = {30, 60, 90};
    palette_hook(3, red, green, blue);
    const uint8_t line[] = {0, 1, 2, 2, 0};
    image_line_hook(5, 7, 320, line);
    EXPECT_EQ(buffer_pixel(0, 6), 0x000A141Eu);
    EXPECT_EQ(buffer_pixel(1, 6), 0x0028323Cu);
    EXPECT_EQ(buffer_pixel(2, 6), 0x0046505Au);
    EXPECT_EQ(buffer_pixel(3, 6), 0x0046505Au);
    EXPECT_EQ(buffer_pixel(4, 6), 0x000A141Eu);
    EXPECT_EQ(buffer_pixel(5, 6), 0u) << "beyond the line's width";
    EXPECT_EQ(buffer_pixel(0, 5), 0u) << "line 7 is row 6";

    // A shorter palette replaces only its own entries; no count replaces none.
    const uint8_t one[] = {200};
    palette_hook(1, one, one, one);
    palette_hook(0, one, one, one);
    palette_hook(-4, one, one, one);
    image_line_hook(3, 8, 320, line);
    EXPECT_EQ(buffer_pixel(0, 7), 0x00C8C8C8u);
    EXPECT_EQ(buffer_pixel(1, 7), 0x0028323Cu);
    EXPECT_EQ(buffer_pixel(2, 7), 0x0046505Au);

    // All 256 entries, channels independent, in lines of several widths.
    uint8_t reds[256], greens[256], blues[256];
    for (int i = 0; i < 256; ++i) {
        reds[i] = uint8_t(i);
        greens[i] = uint8_t(255 - i);
        blues[i] = uint8_t(i * 37);
    }
    palette_hook(256, reds, greens, blues);
    const int widths[] = {1, 63, 64, 65, 127, 200, 383, 384};
    for (int row = 0; row < int(std::size(widths)); ++row) {
        const int width = widths[row];
        std::vector<uint8_t> indices(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) indices[size_t(x)] = uint8_t(x * 97 + row);
        image_line_hook(int16_t(width), int16_t(20 + row), 320, indices.data());
        for (int x = 0; x < width; ++x) {
            const uint8_t i = indices[size_t(x)];
            const uint32_t expected = uint32_t(reds[i] << 16 | greens[i] << 8 | blues[i]);
            ASSERT_EQ(buffer_pixel(x, 19 + row), expected) << "width " << width << " at " << x;
        }
        if (width < kImageBufferWidth) {
            EXPECT_EQ(buffer_pixel(width, 19 + row), 0u) << "beyond width " << width;
        }
    }
}

TEST_F(CameraBuffer, OnlyTheLastLinePresentsWithItsWidth) {
    ASSERT_EQ(begin_image_hook(), 1);
    vt_test::load_test_palette();
    std::vector<uint8_t> row(384, 1);
    for (int16_t line = 1; line < 320; ++line) image_line_hook(384, line, 320, row.data());
    EXPECT_EQ(standin_calls().draw_overlay, 0);
    image_line_hook(200, 320, 320, row.data());
    EXPECT_EQ(standin_calls().draw_overlay, 1);
    // 768 high: the factor is 2, so the last line's 200 pixels are drawn 400 wide.
    EXPECT_EQ(standin_last_overlay().drawnWidth, 400);
    EXPECT_EQ(standin_last_overlay().drawnHeight, 640);
    EXPECT_EQ(imageState.imageRect.w, 400);
    EXPECT_EQ(buffer_pixel(199, 319), vt_test::test_colour(1) >> 8);
    EXPECT_EQ(buffer_pixel(200, 319), 0u) << "the last line fills its own width only";
}

TEST_F(CameraBuffer, TextScaleFollowsRequestedAreaOrWindowHeight) {
    struct Case {
        int window_width, window_height;
        float scale;
    };
    for (const Case c : {Case{1920, 1080, 2.0f}, Case{1280, 1024, 1.5f}, Case{1024, 768, 1.5f},
                         Case{700, 501, 1.5f}, Case{700, 500, 1.0f}, Case{512, 384, 1.0f}}) {
        vt_test::use_window(c.window_width, c.window_height);
        begin_image_hook();
        EXPECT_FLOAT_EQ(imageState.textScale, c.scale) << "window height " << c.window_height;
        end_image_hook();
    }
    EXPECT_EQ(set_camera_image_position(100, 50, 768, 480), 0);
    begin_image_hook();
    EXPECT_FLOAT_EQ(imageState.textScale, 1.5f) << "the smaller of 2.0 and 1.5";
    end_image_hook();
    set_camera_image_position(100, 50, 192, 320);
    begin_image_hook();
    EXPECT_FLOAT_EQ(imageState.textScale, 0.5f);
    end_image_hook();
    // A size that is not an area falls back on the window height.
    set_camera_image_position(100, 50, -768, 480);
    begin_image_hook();
    EXPECT_FLOAT_EQ(imageState.textScale, 1.0f);
    end_image_hook();
    set_camera_image_position(-1, -1, 0, 0);
    begin_image_hook();
    EXPECT_FLOAT_EQ(imageState.textScale, 1.0f) << "512 x 384 window";
}

TEST_F(CameraBuffer, PositionKeepsLow16BitsSigned) {
    EXPECT_EQ(set_camera_image_position(0x10064, 0xFFFF, 0x7FFF0300, -2), 0);
    EXPECT_EQ(imageState.requestedX, 100);
    EXPECT_EQ(imageState.requestedY, -1);
    EXPECT_EQ(imageState.requestedWidth, 768);
    EXPECT_EQ(imageState.requestedHeight, -2);
    set_camera_image_position(-1, -1, 0, 0);
    EXPECT_EQ(imageState.requestedX, -1);
    EXPECT_EQ(imageState.requestedWidth, 0);
}

TEST_F(CameraBuffer, TitleIsCutAtTheBuffer) {
    const std::string long_title(300, 'M');
    image_title_hook(7, long_title.c_str());
    EXPECT_EQ(std::strlen(imageState.imageTitle), kImageTitleSize - 1);
    EXPECT_EQ(std::string(imageState.imageTitle), long_title.substr(0, kImageTitleSize - 1));
    image_title_hook(0, "Marker view");
    EXPECT_STREQ(imageState.imageTitle, "Marker view");
    image_title_hook(0, nullptr);
    EXPECT_STREQ(imageState.imageTitle, "");
    image_title_hook(0, "gone at the end");
    end_image_hook();
    EXPECT_STREQ(imageState.imageTitle, "");
}

TEST_F(CameraBuffer, HostileSizesStayInsideBufferAndPalette) {
    // Lines and palette calls before the buffer exists are dropped.
    std::vector<uint8_t> wide(2000, 3);
    image_line_hook(2000, 320, 320, wide.data());
    EXPECT_EQ(standin_calls().draw_overlay, 0);

    ASSERT_EQ(begin_image_hook(), 1);
    vt_test::load_test_palette();
    const std::vector<uint8_t> black = buffer_copy();
    for (int16_t line : {int16_t(0), int16_t(-1), int16_t(321), int16_t(32767), int16_t(-32768)})
        image_line_hook(2000, line, 400, wide.data());
    EXPECT_EQ(buffer_copy(), black) << "lines outside 1..320 write nothing";
    image_line_hook(-5, 1, 320, wide.data());
    image_line_hook(200, 2, 320, nullptr);
    EXPECT_EQ(buffer_copy(), black) << "no width, no indices: nothing written";

    // Too wide: the row is filled to the buffer's width and the next row is untouched.
    image_line_hook(2000, 1, 320, wide.data());
    image_line_hook(2000, 320, 400, wide.data());
    EXPECT_EQ(buffer_pixel(383, 0), vt_test::test_colour(3) >> 8);
    EXPECT_EQ(buffer_pixel(0, 1), 0u);
    EXPECT_EQ(buffer_pixel(383, 319), vt_test::test_colour(3) >> 8);

    // Palette counts beyond the room take 256 entries; every index byte is then defined.
    std::vector<uint8_t> red(256, 11), green(256, 22), blue(256, 33);
    palette_hook(32767, red.data(), green.data(), blue.data());
    palette_hook(5, nullptr, green.data(), blue.data());
    const uint8_t top[] = {255, 128};
    image_line_hook(2, 5, 320, top);
    EXPECT_EQ(buffer_pixel(0, 4), 0x000B1621u);
    EXPECT_EQ(buffer_pixel(1, 4), 0x000B1621u);

    // The last line completes a frame clipped to the buffer; a frame without pixels is
    // not shown.
    standin_reset();
    image_line_hook(2000, 400, 400, wide.data());
    EXPECT_EQ(standin_calls().draw_overlay, 1);
    EXPECT_EQ(standin_last_overlay().drawnWidth, 768);
    EXPECT_EQ(standin_last_overlay().drawnHeight, 640);
    image_line_hook(0, 320, 320, wide.data());
    image_line_hook(-7, 320, 320, wide.data());
    image_line_hook(384, -3, -3, wide.data());
    image_line_hook(384, 0, 0, wide.data());
    EXPECT_EQ(standin_calls().draw_overlay, 1);
}

}  // namespace
