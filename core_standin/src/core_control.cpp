// The stand-in core's control and inspection interface (see vistrak_core64_control.h).
#include <cstring>

#include "core_state.h"

namespace standin {

CoreState &state() {
    // Never destroyed: a graphics library logs from its unload step, which runs after the
    // static destructors at process exit.
    static CoreState *instance = new CoreState;
    return *instance;
}

}  // namespace standin

using standin::state;

extern "C" {

void standin_reset(void) {
    auto &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.calls = StandinCalls{};
    s.log_lines.clear();
    s.alerts.clear();
    s.overlay_script.clear();
    s.overlay_seen = StandinOverlaySeen{};
    s.bitmap_calls = 0;
    s.last_bitmap = StandinBitmapCall{};
    s.bitmap_pixels.clear();
    s.bitmap_fname.clear();
    s.bitmap_path.clear();
    s.bitmap_result = 0;
    s.display_flags = 0;
    s.tracker_mode = VT_MODE_IDLE;
    s.abort_pending = 0;
    s.skip_sleep = 0;
    s.hook_calls.clear();
    s.hook_texts.clear();
    s.hook_calls_dropped = 0;
}

DisplayHooks standin_installed_hooks(void) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().hooks;
}

ImageWriter standin_image_writer(void) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().image_writer;
}

StandinCalls standin_calls(void) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().calls;
}

size_t standin_log_count(void) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().log_lines.size();
}

const char *standin_log_line(size_t index) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return index < state().log_lines.size() ? state().log_lines[index].c_str() : nullptr;
}

size_t standin_alert_count(void) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().alerts.size();
}

const char *standin_alert(size_t index) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return index < state().alerts.size() ? state().alerts[index].c_str() : nullptr;
}

size_t standin_log_matches(const char *text) {
    if (!text) return 0;
    std::lock_guard<std::mutex> lock(state().mutex);
    size_t count = 0;
    for (const auto &line : state().log_lines) count += line.find(text) != std::string::npos;
    return count;
}

void standin_set_display_flags(uint16_t flags) { state().display_flags = flags; }
void standin_set_tracker_mode(uint16_t mode) { state().tracker_mode = mode; }
void standin_set_abort(int16_t pending) { state().abort_pending = pending; }
void standin_set_skip_sleep(int skip) { state().skip_sleep = skip; }

int standin_bitmap_call_count(void) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().bitmap_calls;
}

StandinBitmapCall standin_last_bitmap_call(void) {
    auto &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    StandinBitmapCall call = s.last_bitmap;
    call.pixels = s.bitmap_pixels.empty() ? nullptr : s.bitmap_pixels.data();
    call.pixel_bytes = s.bitmap_pixels.size();
    call.fname = s.bitmap_fname.c_str();
    call.path = s.bitmap_path.c_str();
    return call;
}

void standin_set_bitmap_result(int32_t result) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().bitmap_result = result;
}

void standin_set_overlay_script(const StandinOverlayOp *ops, size_t count) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().overlay_script.assign(ops, ops ? ops + count : ops);
}

StandinOverlaySeen standin_last_overlay(void) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().overlay_seen;
}

}  // extern "C"
