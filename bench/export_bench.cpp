// Cost of saving a 1024 x 768 screen through the image writer (libgd's PNG and JPEG, and the
// BMP written without libgd) and of handing an application surface of that size to the core.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "export/gd_library.h"
#include "export/image_writer.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;

// A screen-like picture: smooth gradients with a few hard edges.
std::vector<uint8_t> screen_pixels() {
    std::vector<uint8_t> bytes(size_t(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t *p = &bytes[(size_t(y) * kWidth + x) * 4];
            p[0] = uint8_t(x / 4);
            p[1] = uint8_t(y / 3);
            p[2] = uint8_t((x / 64 + y / 64) % 2 ? 220 : 30);
            p[3] = 0;
        }
    return bytes;
}

void write_screen(benchmark::State &state, int format, const char *library) {
    reset_gd(library);
    std::vector<uint8_t> pixels = screen_pixels();
    const CoreBitmap bitmap{kWidth, kHeight, kWidth * 4, 32, pixels.data(), nullptr};
    const std::string path = (std::filesystem::temp_directory_path() / "vt_export_bench").string();
    for (auto _ : state) {
        if (image_writer(path.c_str(), format, &bitmap) != 0) state.SkipWithError("not written");
    }
    std::remove(path.c_str());
    reset_gd(nullptr);
}

void BM_WriteScreenPng(benchmark::State &state) { write_screen(state, 1, nullptr); }
void BM_WriteScreenJpeg(benchmark::State &state) { write_screen(state, 0, nullptr); }
void BM_WriteScreenBmpWithoutGd(benchmark::State &state) {
    write_screen(state, 1, "libvistrak-bench-no-such-gd.so");
}

void BM_HandOffScreenSurface(benchmark::State &state) {
    SDL_Surface *surface =
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 24, SDL_PIXELFORMAT_RGB24);
    for (auto _ : state) {
        if (sdl_bitmap_to_backdrop(surface, 0, 0, 0, 0, 0, 0, 0) != 0)
            state.SkipWithError("not handed off");
    }
    SDL_FreeSurface(surface);
}

BENCHMARK(BM_WriteScreenPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteScreenJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteScreenBmpWithoutGd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandOffScreenSurface)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
