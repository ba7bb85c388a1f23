// The frames presented while a PresentedFrames lives, as SDL's dummy video driver saves them
// (SDL_VIDEO_DUMMY_SAVE_FRAMES: one BMP per present, from any thread, into the current folder,
// here a fresh temporary one). Made and destroyed while no playback thread runs: the driver
// reads the variable at every present.
#pragma once

#include <SDL.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"
#include "test_system.h"

namespace vt_test {

// A saved frame as RGBA8888 pixels; empty when it cannot be read.
inline Pixels load_frame(const std::string &file) {
    Pixels pixels;
    SDL_Surface *loaded = SDL_LoadBMP(file.c_str());
    if (!loaded) return pixels;
    SDL_Surface *rgba = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA8888, 0);
    SDL_FreeSurface(loaded);
    if (!rgba) return pixels;
    pixels.width = rgba->w;
    pixels.height = rgba->h;
    for (int y = 0; y < pixels.height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>(static_cast<const uint8_t *>(rgba->pixels) +
                                                             size_t(y) * size_t(rgba->pitch));
        pixels.data.insert(pixels.data.end(), row, row + pixels.width);
    }
    SDL_FreeSurface(rgba);
    return pixels;
}

class PresentedFrames {
public:
    PresentedFrames() : folder_(temp_dir()), previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder_);
        vt_test::set_env("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1");
    }
    ~PresentedFrames() {
        vt_test::unset_env("SDL_VIDEO_DUMMY_SAVE_FRAMES");
        std::filesystem::current_path(previous_);
    }
    PresentedFrames(const PresentedFrames &) = delete;
    PresentedFrames &operator=(const PresentedFrames &) = delete;

    // Only the dummy video driver saves frames.
    static bool available() {
        const char *driver = SDL_GetCurrentVideoDriver();
        return driver && SDL_strcmp(driver, "dummy") == 0;
    }

    // The saved files in the order they were presented (numbered with leading zeros).
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder_))
            names.push_back(entry.path().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    size_t count() const { return files().size(); }
    // The last presented frame; empty when none was.
    Pixels last() const {
        const std::vector<std::string> names = files();
        return names.empty() ? Pixels{} : load_frame(names.back());
    }

private:
    std::string folder_;
    std::filesystem::path previous_;
};

}  // namespace vt_test
