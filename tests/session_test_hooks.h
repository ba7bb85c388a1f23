// A display-hook table for the simulated tracker's tests: it keeps what the tracker streams
// (palette, camera lines, titles) and answers the key poll from a queue, so the tracker's
// output can be checked whatever the graphics library's hooks do on this build.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "vistrak_core64.h"
#include "vistrak_core64_control.h"
#include "test_support.h"
#include "vistrak_core_graphics_sdl2.h"
#include "vistrak_simulated_tracker.h"

namespace session_test {

struct Received {
    int16_t begin_cal_result = 0;
    std::array<uint32_t, 256> palette{};  // 0x00RRGGBB
    int palette_count = 0;
    std::vector<uint8_t> frame = std::vector<uint8_t>(384 * 320, 0);  // last complete frame
    std::vector<uint8_t> assembling = std::vector<uint8_t>(384 * 320, 0);
    int lines_in_frame = 0;  // lines received since the last complete frame
    int expected_line = 1;   // lines must arrive 1, 2, ..., total
    int out_of_order = 0;
    int frames = 0;      // frames completed by their last line
    int bad_frames = 0;  // completed with other than 320 lines
    std::string title;
    std::deque<uint16_t> keys;  // answered by the key poll, one per call
};

inline Received &received() {
    static Received r;
    return r;
}

inline int16_t begin_cal() { return received().begin_cal_result; }
inline void nothing() {}
inline void flag(int16_t) {}
inline void target(int16_t, int16_t) {}
inline int16_t begin_image() { return 1; }
inline void title(int32_t, const char *text) { received().title = text ? text : ""; }

inline void palette(int16_t count, const uint8_t *r, const uint8_t *g, const uint8_t *b) {
    Received &rec = received();
    rec.palette_count = count;
    for (int i = 0; i < count && i < 256; ++i)
        rec.palette[size_t(i)] = uint32_t(r[i]) << 16 | uint32_t(g[i]) << 8 | b[i];
}

inline void line(int16_t width, int16_t number, int16_t total, const uint8_t *indices) {
    Received &rec = received();
    if (number != rec.expected_line) ++rec.out_of_order;
    rec.expected_line = number + 1;
    ++rec.lines_in_frame;
    if (number >= 1 && number <= 320 && width > 0 && width <= 384)
        std::copy(indices, indices + width, rec.assembling.begin() + (number - 1) * 384);
    if (number == total) {
        if (rec.lines_in_frame != 320) ++rec.bad_frames;
        rec.frame = rec.assembling;
        ++rec.frames;
        rec.lines_in_frame = 0;
        rec.expected_line = 1;
    }
}

inline int16_t read_key(KeyInput *key) {
    Received &rec = received();
    if (rec.keys.empty()) return 0;
    key->type = 1;
    key->state = 1;
    key->key = rec.keys.front();
    key->modifier = 0;
    rec.keys.pop_front();
    return 1;
}

inline void alert(const char *) {}

// Installs the recording table in the stand-in core and forgets what was received.
inline void install() {
    received() = Received{};
    const DisplayHooks hooks{begin_cal, nothing, nothing, begin_image, title,  line,
                             palette,   nothing, nothing, nothing,     target, nothing,
                             flag,      flag,    nothing, read_key,    alert};
    core_install_hooks(&hooks);
}

// Quick settings for tests: short fixations and gaps.
inline SimTrackerSettings quick_settings() {
    SimTrackerSettings s;
    simtracker_default_settings(&s);
    s.frame_rate = 100;
    s.fixation_ms = 20;
    s.target_gap_ms = 5;
    return s;
}

// The slots of the trace from index first on, in order.
inline std::vector<int> slots(size_t first = 0) {
    std::vector<int> out;
    for (size_t i = first; i < standin_hook_call_count(); ++i)
        out.push_back(standin_hook_call(i).slot);
    return out;
}

// Steps the running procedure until pred() holds or the procedure ends; at most timeout ms.
template <typename Pred>
bool step_until(Pred pred, int timeout_ms = 5000) {
    const Uint32 start = SDL_GetTicks();
    while (!pred()) {
        if (SDL_GetTicks() - start > Uint32(timeout_ms)) return false;
        simtracker_step();
        SDL_Delay(1);
    }
    return true;
}

// The fixture of the simulated tracker's tests: the shared window attached, the recording
// hooks installed, quick settings, counters and script cleared. A procedure still running at
// the end is aborted.
class TrackerTest : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        window = get_expt_window(nullptr);
        ASSERT_NE(window, nullptr);
        SDL_GetWindowSize(window, &width, &height);
        simtracker_attach_window(window);
        install();
        standin_reset();
        settings = quick_settings();
        reconfigure();
        simtracker_reset_stats();
        simtracker_clear_script();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        simtracker_clear_script();
        simtracker_set_observer(nullptr, nullptr);
        if (simtracker_stage() != SIMTRACKER_IDLE) {
            standin_set_abort(1);
            simtracker_step();
        }
        standin_reset();
    }
    void reconfigure() { ASSERT_EQ(simtracker_configure(&settings), 0); }

    SDL_Window *window = nullptr;
    int width = 0, height = 0;
    SimTrackerSettings settings{};
};

}  // namespace session_test
