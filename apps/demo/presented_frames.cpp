// The frame keeper: one buffer, replaced at every present unless a frame is held.
#include "presented_frames.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "demo_images.h"

namespace {

struct Keeper {
    std::mutex mutex;
    std::vector<uint32_t> pixels;  // ARGB8888, rows top to bottom
    int width = 0;
    int height = 0;
    std::string error;  // why the last frame could not be read
    bool holding = false;    // a hold is asked for
    bool held = false;       // and the frame is taken
    uint32_t hold_from = 0;  // SDL_GetTicks() from which a frame is held
};

Keeper &keeper() {
    static Keeper instance;
    return instance;
}

std::atomic<bool> keeping{false};

}  // namespace

std::string keep_presented_frames() {
    const std::string error = hook_presents();
    keeping = error.empty();
    return error;
}

void keep_frame(SDL_Renderer *renderer) {
    if (!keeping || !renderer) return;
    Keeper &k = keeper();
    std::lock_guard<std::mutex> lock(k.mutex);
    if (k.held) return;
    int width = 0, height = 0;
    if (SDL_GetRendererOutputSize(renderer, &width, &height) != 0 || width <= 0 || height <= 0) {
        k.error = std::string("no renderer to read: ") + SDL_GetError();
        return;
    }
    k.pixels.resize(size_t(width) * size_t(height));
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, k.pixels.data(),
                             width * 4) != 0) {
        k.error = std::string("SDL_RenderReadPixels failed: ") + SDL_GetError();
        k.width = k.height = 0;
        return;
    }
    k.width = width;
    k.height = height;
    k.error.clear();
    k.held = k.holding && SDL_TICKS_PASSED(SDL_GetTicks(), k.hold_from);
}

void hold_presented_frame(uint32_t delay_ms) {
    Keeper &k = keeper();
    std::lock_guard<std::mutex> lock(k.mutex);
    k.holding = true;
    k.held = false;
    k.hold_from = SDL_GetTicks() + delay_ms;
}

bool presented_frame_held() {
    Keeper &k = keeper();
    std::lock_guard<std::mutex> lock(k.mutex);
    return k.held;
}

void release_presented_frame() {
    Keeper &k = keeper();
    std::lock_guard<std::mutex> lock(k.mutex);
    k.holding = k.held = false;
}

std::string save_presented_frame(const std::string &path) {
    Keeper &k = keeper();
    std::lock_guard<std::mutex> lock(k.mutex);
    if (!keeping) return "presented frames are not kept";
    if (k.width == 0) return k.error.empty() ? "no frame has been presented" : k.error;
    return save_argb_png(k.pixels.data(), k.width, k.height, path);
}
