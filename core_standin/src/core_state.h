// State shared by the stand-in core's interface functions and its control interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "vistrak_core64_control.h"

namespace standin {

struct CoreState {
    std::mutex mutex;  // guards everything below except the atomics
    DisplayHooks hooks{};
    ImageWriter image_writer = nullptr;
    StandinCalls calls{};
    std::vector<std::string> log_lines;
    std::vector<std::string> alerts;
    std::vector<StandinOverlayOp> overlay_script;
    StandinOverlaySeen overlay_seen{};
    int bitmap_calls = 0;
    StandinBitmapCall last_bitmap{};
    std::vector<uint8_t> bitmap_pixels;
    std::string bitmap_fname, bitmap_path;
    int32_t bitmap_result = 0;
    std::atomic<uint16_t> display_flags{0};
    std::atomic<uint16_t> tracker_mode{VT_MODE_IDLE};
    std::atomic<int16_t> abort_pending{0};
    std::atomic<int> skip_sleep{0};
    // The display hooks the simulated tracker called (see standin_hook_call).
    std::vector<StandinHookCall> hook_calls;
    std::deque<std::string> hook_texts;  // a deque keeps the texts' addresses stable
    size_t hook_calls_dropped = 0;
    // Draws the simulated tracker's camera overlay; null while it shows no camera image.
    void (*overlay_painter)(OverlayContext *context) = nullptr;
};

CoreState &state();

}  // namespace standin
