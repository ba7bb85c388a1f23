// Saving the participant screen as the tracker core does: the window's pixels as a 32-bit
// CoreBitmap (bytes blue, green, red, unused; rows top to bottom) handed to the installed
// image writer.
#include <array>
#include <string>
#include <vector>

#include "core_state.h"
#include "simulated_tracker.h"

extern "C" int32_t simtracker_save_screen(const char *path, int32_t format) {
    using namespace simtracker;
    tracker().error.clear();
    if (!path || !*path) return fail("no path to save the screen to");
    SDL_Window *window = attached_window();
    SDL_Renderer *renderer = window ? SDL_GetRenderer(window) : nullptr;
    if (!renderer) return fail("no experiment window with a renderer is attached");
    const ImageWriter writer = standin_image_writer();
    if (!writer) return fail("no image writer is installed");

    int width = 0, height = 0;
    if (SDL_GetRendererOutputSize(renderer, &width, &height) != 0 || width <= 0 || height <= 0)
        return fail(std::string("cannot read the window size: ") + SDL_GetError());
    const int pitch = width * 4;
    std::vector<uint8_t> pixels(size_t(pitch) * size_t(height));
    // XRGB8888 lies in memory as blue, green, red, unused on a little-endian machine.
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGB888, pixels.data(), pitch) != 0)
        return fail(std::string("cannot read the window's pixels: ") + SDL_GetError());
    std::array<uint8_t, 32> reserved{};
    const CoreBitmap bitmap{width, height, pitch, 32, pixels.data(), reserved.data()};

    const int32_t result = writer(path, format, &bitmap);
    if (result != 0) {
        fail("the image writer could not write '" + std::string(path) + "' (result " +
             std::to_string(result) + ")");
        return result;
    }
    ++tracker().stats.screens_saved;
    return 0;
}
