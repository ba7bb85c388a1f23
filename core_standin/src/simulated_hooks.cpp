// The simulated tracker's way to the display hooks: each call goes to the record the graphics
// plug-in installed and is written to the hook-call trace of the inspection interface.
#include <initializer_list>

#include "core_state.h"
#include "simulated_tracker.h"

namespace simtracker {

namespace {

constexpr size_t kTraceCapacity = 262144;

DisplayHooks installed() {
    std::lock_guard<std::mutex> lock(standin::state().mutex);
    return standin::state().hooks;
}

// A call as it begins: the slot, its arguments, and what the tracker reports meanwhile.
struct PendingCall {
    StandinHookCall call{};
    std::string text;
    bool has_text = false;
};

PendingCall begin_call(int32_t slot, std::initializer_list<int32_t> args,
                       const char *text = nullptr) {
    PendingCall pending;
    pending.call.slot = slot;
    int i = 0;
    for (int32_t value : args) pending.call.args[i++] = value;
    pending.call.tracker_mode = core_tracker_mode();
    pending.call.display_flags = core_display_flags();
    if (text) {
        pending.text = text;
        pending.has_text = true;
    }
    return pending;
}

void record(PendingCall pending, int32_t result = 0) {
    auto &s = standin::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.hook_calls.size() >= kTraceCapacity) {
        ++s.hook_calls_dropped;
        return;
    }
    pending.call.result = result;
    if (pending.has_text) {
        s.hook_texts.push_back(std::move(pending.text));
        pending.call.text = s.hook_texts.back().c_str();
    }
    s.hook_calls.push_back(pending.call);
}

// Calls a hook that returns nothing, if installed, and records it.
template <typename Hook, typename... Args>
void call(Hook hook, PendingCall pending, Args... args) {
    if (!hook) return;
    hook(args...);
    record(std::move(pending));
}

}  // namespace

bool hooks_installed() {
    const DisplayHooks hooks = installed();
    return hooks.begin_cal_hook && hooks.end_cal_hook && hooks.read_key_hook;
}

int16_t hook_begin_cal() {
    auto hook = installed().begin_cal_hook;
    if (!hook) return -1;
    PendingCall pending = begin_call(1, {});
    const int16_t result = hook();
    record(std::move(pending), result);
    return result;
}

void hook_end_cal() { call(installed().end_cal_hook, begin_call(2, {})); }

int16_t hook_begin_image() {
    auto hook = installed().begin_image_hook;
    if (!hook) return 0;
    PendingCall pending = begin_call(4, {});
    const int16_t result = hook();
    record(std::move(pending), result);
    return result;
}

void hook_image_title(const char *title) {
    call(installed().image_title_hook, begin_call(5, {}, title), 0, title);
}

void hook_image_line(int16_t width, int16_t line, int16_t total, const uint8_t *indices) {
    call(installed().image_line_hook, begin_call(6, {width, line, total}), width, line, total,
         indices);
}

void hook_palette(int16_t count, const uint8_t *red, const uint8_t *green, const uint8_t *blue) {
    call(installed().palette_hook, begin_call(7, {count}), count, red, green, blue);
}

void hook_end_image() { call(installed().end_image_hook, begin_call(8, {})); }
void hook_clear_cal() { call(installed().clear_cal_hook, begin_call(9, {})); }
void hook_erase_target() { call(installed().erase_target_hook, begin_call(10, {})); }

void hook_draw_target(Point point) {
    call(installed().draw_cal_target, begin_call(11, {point.x, point.y}), point.x, point.y);
}

void hook_cal_target_sound() { call(installed().cal_target_sound_hook, begin_call(12, {})); }

void hook_cal_done_sound(bool error) {
    const int16_t flag = error ? 1 : 0;
    call(installed().cal_done_sound_hook, begin_call(13, {flag}), flag);
}

void hook_dcorr_done_sound(bool error) {
    const int16_t flag = error ? 1 : 0;
    call(installed().dcorr_done_sound_hook, begin_call(14, {flag}), flag);
}

void hook_dcorr_target_sound() { call(installed().dcorr_target_sound_hook, begin_call(15, {})); }

bool hook_read_key(KeyInput &key) {
    auto hook = installed().read_key_hook;
    if (!hook) return false;
    PendingCall pending = begin_call(16, {});
    if (hook(&key) != 1) return false;
    pending.call.args[0] = key.key;
    pending.call.args[1] = key.modifier;
    record(std::move(pending), 1);
    return true;
}

}  // namespace simtracker

extern "C" {

size_t standin_hook_call_count(void) {
    std::lock_guard<std::mutex> lock(standin::state().mutex);
    return standin::state().hook_calls.size();
}

StandinHookCall standin_hook_call(size_t index) {
    std::lock_guard<std::mutex> lock(standin::state().mutex);
    const auto &calls = standin::state().hook_calls;
    return index < calls.size() ? calls[index] : StandinHookCall{};
}

size_t standin_hook_calls_dropped(void) {
    std::lock_guard<std::mutex> lock(standin::state().mutex);
    return standin::state().hook_calls_dropped;
}

}  // extern "C"
