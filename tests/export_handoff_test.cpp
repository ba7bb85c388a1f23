// Bitmap hand-off: what the core library receives from the three sdl_bitmap_* exports (the
// stand-in core records the record, a copy of its pixels and the arguments), and that the
// application's surface is left as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "test_support.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

struct SurfaceDeleter {
    void operator()(SDL_Surface *surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// Six palette colours, red never equal to blue.
constexpr SDL_Color kPalette[6] = {{250, 10, 40, 255},  {20, 220, 90, 255},  {35, 60, 240, 255},
                                   {200, 150, 20, 255}, {110, 40, 190, 255}, {15, 130, 70, 255}};
constexpr int kWidth = 5, kHeight = 3;  // a 5-byte row: the 8-bit surface's pitch is padded
int index_at(int x, int y) { return (x + 2 * y) % 6; }

SurfacePtr paletted_surface() {
    SurfacePtr surface(
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 8, SDL_PIXELFORMAT_INDEX8));
    if (!surface) return surface;
    SDL_SetPaletteColors(surface->format->palette, kPalette, 0, 6);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            static_cast<uint8_t *>(surface->pixels)[y * surface->pitch + x] =
                uint8_t(index_at(x, y));
    return surface;
}

// Pixel (x, y) of the recorded bitmap as bytes blue, green, red.
SDL_Color recorded_pixel(const StandinBitmapCall &call, int x, int y) {
    const uint8_t *p = call.pixels + size_t(y) * size_t(call.pitch) + size_t(x) * 4;
    return {p[2], p[1], p[0], 255};
}

bool same_colour(SDL_Color a, SDL_Color b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

TEST(BitmapHandoff, PalettedSurfaceArrivesAsThirtyTwoBitRecord) {
    standin_reset();
    const SurfacePtr surface = paletted_surface();
    ASSERT_TRUE(surface);
    ASSERT_EQ(sdl_bitmap_save(surface.get(), 1, 2, 3, 4, "shot.png", "/data", 1), 0);
    ASSERT_EQ(standin_bitmap_call_count(), 1);
    const StandinBitmapCall call = standin_last_bitmap_call();
    EXPECT_EQ(call.function, 503);
    EXPECT_EQ(call.width, kWidth);
    EXPECT_EQ(call.height, kHeight);
    EXPECT_EQ(call.depth, 32);
    EXPECT_GE(call.pitch, 4 * kWidth);
    EXPECT_EQ(call.reserved_zeroed, 1);
    EXPECT_STREQ(call.fname, "shot.png");
    EXPECT_STREQ(call.path, "/data");
    ASSERT_EQ(call.pixel_bytes, size_t(call.pitch) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const SDL_Color got = recorded_pixel(call, x, y);
            const SDL_Color want = kPalette[index_at(x, y)];
            EXPECT_TRUE(same_colour(got, want))
                << x << "," << y << ": " << int(got.r) << " " << int(got.g) << " " << int(got.b);
        }
}

TEST(BitmapHandoff, SixteenBitArgumentsArriveAsTheirLowHalf) {
    standin_reset();
    const SurfacePtr surface = paletted_surface();
    ASSERT_TRUE(surface);
    const int32_t big = 65536 + 5;
    const char *fname = "f.bmp", *path = "p";

    ASSERT_EQ(sdl_bitmap_save_and_backdrop(surface.get(), big, 1, -1, 3, fname, path, big + 1,
                                           70000, big + 2, -65536),
              0);
    StandinBitmapCall call = standin_last_bitmap_call();
    EXPECT_EQ(call.function, 501);
    EXPECT_EQ(std::vector<int32_t>(call.args, call.args + call.arg_count),
              (std::vector<int32_t>{5, 1, 65535, 3, 6, 70000 - 65536, 7, 0}));
    EXPECT_STREQ(call.fname, fname);
    EXPECT_STREQ(call.path, path);

    ASSERT_EQ(sdl_bitmap_to_backdrop(surface.get(), 1, big, 2, 3, 4, 131072 + 9, -2), 0);
    call = standin_last_bitmap_call();
    EXPECT_EQ(call.function, 502);
    EXPECT_EQ(std::vector<int32_t>(call.args, call.args + call.arg_count),
              (std::vector<int32_t>{1, 5, 2, 3, 4, 9, 65534}));

    ASSERT_EQ(sdl_bitmap_save(surface.get(), big, big, big, big, fname, path, big), 0);
    call = standin_last_bitmap_call();
    EXPECT_EQ(call.function, 503);
    EXPECT_EQ(std::vector<int32_t>(call.args, call.args + call.arg_count),
              (std::vector<int32_t>{5, 5, 5, 5, 5}));
    EXPECT_EQ(standin_bitmap_call_count(), 3);
}

TEST(BitmapHandoff, CoreResultIsReturnedUnchanged) {
    standin_reset();
    const SurfacePtr surface = paletted_surface();
    ASSERT_TRUE(surface);
    for (int32_t result : {-1234, 1, 70000}) {
        standin_set_bitmap_result(result);
        EXPECT_EQ(sdl_bitmap_save_and_backdrop(surface.get(), 0, 0, 0, 0, "a", "b", 0, 0, 0, 0),
                  result);
        EXPECT_EQ(sdl_bitmap_to_backdrop(surface.get(), 0, 0, 0, 0, 0, 0, 0), result);
        EXPECT_EQ(sdl_bitmap_save(surface.get(), 0, 0, 0, 0, "a", "b", 0), result);
    }
}

TEST(BitmapHandoff, CallersSurfaceIsLeftAsItWas) {
    standin_reset();
    const SurfacePtr surface = paletted_surface();
    ASSERT_TRUE(surface);
    SDL_SetColorKey(surface.get(), SDL_TRUE, 4);
    const std::vector<uint8_t> pixels(
        static_cast<uint8_t *>(surface->pixels),
        static_cast<uint8_t *>(surface->pixels) + surface->pitch * kHeight);
    const std::vector<SDL_Color> palette(surface->format->palette->colors,
                                         surface->format->palette->colors + 6);
    const SDL_Surface before = *surface;

    ASSERT_EQ(sdl_bitmap_save_and_backdrop(surface.get(), 0, 0, 0, 0, "a", "b", 0, 0, 0, 0), 0);
    ASSERT_EQ(sdl_bitmap_to_backdrop(surface.get(), 0, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(sdl_bitmap_save(surface.get(), 0, 0, 0, 0, "a", "b", 0), 0);

    EXPECT_EQ(surface->pixels, before.pixels);
    EXPECT_EQ(surface->format, before.format);
    EXPECT_EQ(surface->w, before.w);
    EXPECT_EQ(surface->h, before.h);
    EXPECT_EQ(surface->pitch, before.pitch);
    EXPECT_EQ(surface->refcount, before.refcount);
    EXPECT_EQ(surface->locked, 0);
    EXPECT_EQ(0, std::memcmp(surface->pixels, pixels.data(), pixels.size()));
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(same_colour(surface->format->palette->colors[i], palette[i]));
    Uint32 key = 0;
    EXPECT_EQ(SDL_GetColorKey(surface.get(), &key), 0);
    EXPECT_EQ(key, 4u);
    // The colour key applies to the copy, as when the surface is drawn over black.
    const StandinBitmapCall call = standin_last_bitmap_call();
    EXPECT_TRUE(same_colour(recorded_pixel(call, 4, 0), SDL_Color{0, 0, 0, 255}));  // index 4
    EXPECT_TRUE(same_colour(recorded_pixel(call, 3, 0), kPalette[3]));
}

TEST(BitmapHandoff, AlphaAppliesOverBlack) {
    standin_reset();
    SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, 2, 1, 32, SDL_PIXELFORMAT_RGBA32));
    ASSERT_TRUE(surface);
    const uint8_t bytes[8] = {200, 100, 40, 255, 200, 100, 40, 0};  // opaque, then transparent
    std::memcpy(surface->pixels, bytes, sizeof bytes);
    ASSERT_EQ(sdl_bitmap_to_backdrop(surface.get(), 0, 0, 0, 0, 0, 0, 0), 0);
    const StandinBitmapCall call = standin_last_bitmap_call();
    EXPECT_TRUE(same_colour(recorded_pixel(call, 0, 0), SDL_Color{200, 100, 40, 255}));
    EXPECT_TRUE(same_colour(recorded_pixel(call, 1, 0), SDL_Color{0, 0, 0, 255}));
}

TEST(BitmapHandoff, UnconvertibleSurfacesNeverReachTheCore) {
    standin_reset();
    standin_set_bitmap_result(0);
    EXPECT_EQ(sdl_bitmap_save(nullptr, 0, 0, 0, 0, "a", "b", 0), -1);
    EXPECT_EQ(sdl_bitmap_to_backdrop(nullptr, 0, 0, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(sdl_bitmap_save_and_backdrop(nullptr, 0, 0, 0, 0, "a", "b", 0, 0, 0, 0), -1);

    // SDL refuses to blit from a locked surface.
    const SurfacePtr locked = paletted_surface();
    ASSERT_TRUE(locked);
    ASSERT_EQ(SDL_LockSurface(locked.get()), 0);
    EXPECT_EQ(sdl_bitmap_save(locked.get(), 0, 0, 0, 0, "a", "b", 0), -1);
    SDL_UnlockSurface(locked.get());

    const SurfacePtr empty(SDL_CreateRGBSurfaceWithFormat(0, 0, 4, 32, SDL_PIXELFORMAT_RGBA32));
    ASSERT_TRUE(empty);
    EXPECT_EQ(sdl_bitmap_to_backdrop(empty.get(), 0, 0, 0, 0, 0, 0, 0), -1);

    EXPECT_EQ(standin_bitmap_call_count(), 0);
    EXPECT_EQ(standin_log_matches("surface_to_core_bitmap: "), 5u);
    EXPECT_EQ(standin_log_matches("locked"), 1u);
}

}  // namespace
