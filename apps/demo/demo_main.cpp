// The demo: opens the experiment window through the graphics library with the stand-in core,
// saves a screenshot of the first frame as PNG and closes the window.
#include <SDL.h>
#include <gd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "vistrak_core_graphics_sdl2.h"

namespace {

// Writes the renderer's current picture as a PNG file. Returns false on failure.
bool save_screenshot(SDL_Renderer *renderer, const std::string &path) {
    int width = 0, height = 0;
    if (SDL_GetRendererOutputSize(renderer, &width, &height) != 0) return false;
    std::vector<Uint32> pixels(size_t(width) * size_t(height));
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(),
                             width * 4) != 0)
        return false;
    gdImagePtr image = gdImageCreateTrueColor(width, height);
    if (!image) return false;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Uint32 p = pixels[size_t(y) * size_t(width) + size_t(x)];
            gdImageSetPixel(image, x, y, gdTrueColor((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
        }
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file) {
        gdImagePng(image, file);
        std::fclose(file);
    }
    gdImageDestroy(image);
    return file != nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string out_dir = argc > 1 ? argv[1] : "out";
    std::filesystem::create_directories(out_dir);

    std::printf("Opening the experiment window...\n");
    SDL_Window *window = nullptr;
    DisplayInfo info{};
    const int16_t result = init_expt_window(&window, &info);
    if (result != 0) {
        std::printf("init_expt_window failed with %d\n", result);
        close_expt_graphics();
        return 1;
    }
    std::printf("Window open: %d x %d, %d bits\n", info.width, info.height, info.bits);

    const std::string path = out_dir + "/01_first_frame.png";
    const bool saved = save_screenshot(SDL_GetRenderer(window), path);
    std::printf("Closing the window...\n");
    close_expt_graphics();
    if (!saved) {
        std::printf("Could not write %s\n", path.c_str());
        return 1;
    }
    std::printf("Screenshot written: %s\n", std::filesystem::absolute(path).c_str());
    return 0;
}
