// The simulated tracker's application interface: settings, the attached window, starting and
// stepping procedures, key dispatch, abort and time limit, the observer and the counters.
#include <chrono>
#include <cmath>
#include <thread>

#include "core_state.h"
#include "simulated_tracker.h"

namespace simtracker {

namespace {

// The wait between steps of the blocking procedures: keys are polled at about 500 Hz.
constexpr auto kStepPause = std::chrono::milliseconds(2);

bool settings_valid(const SimTrackerSettings &s) {
    return s.frame_rate >= 1 && s.frame_rate <= 250 && s.fixation_ms >= 0 &&
           s.fixation_ms <= 60000 && s.target_gap_ms >= 0 && s.target_gap_ms <= 10000 &&
           s.poor_point >= -1 && s.time_limit_ms >= 0 && std::isfinite(s.grid_span) &&
           s.grid_span >= 0.1f && s.grid_span <= 1.0f;
}

// Ends whatever runs, calling the end hooks a tracker calls when it leaves its screens.
void end_all(int32_t result) {
    Tracker &t = tracker();
    if (t.current != Procedure::Setup && t.current != Procedure::None) stop_targets(result);
    if (t.in_setup) {
        t.current = Procedure::Setup;
        hide_image();
        hook_end_cal();
        emit(SIMTRACKER_STAGE_END, result);
    }
    t.current = Procedure::None;
    t.in_setup = false;
    t.result = result;
    set_mode(VT_MODE_IDLE);
    set_flag(VT_DISPLAY_IMAGE_SHOWN, false);
}

// Checks shared by every start.
bool can_start() {
    Tracker &t = tracker();
    t.error.clear();
    if (t.current != Procedure::None) {
        fail("a procedure is already running");
        return false;
    }
    if (!hooks_installed()) {
        fail("no display hooks are installed");
        return false;
    }
    t.settings = t.configured;
    t.started_ms = now_ms();
    t.camera.noise = t.settings.seed ? t.settings.seed : 1;
    return true;
}

int32_t run_to_end(int32_t started) {
    if (started != 0) return started;
    while (simtracker_step() != SIMTRACKER_IDLE) std::this_thread::sleep_for(kStepPause);
    return tracker().result;
}

int32_t start_grid(Procedure kind, int32_t points) {
    if (!can_start()) return SIMTRACKER_FAILED;
    int width = 0, height = 0;
    if (SDL_Window *window = attached_window()) SDL_GetWindowSize(window, &width, &height);
    return begin_targets(kind, grid(points, width, height, tracker().settings.grid_span));
}

}  // namespace

Tracker &tracker() {
    static Tracker instance = [] {
        Tracker t;
        simtracker_default_settings(&t.configured);
        t.settings = t.configured;
        return t;
    }();
    return instance;
}

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

SimTrackerStage stage_of(Procedure procedure) {
    switch (procedure) {
    case Procedure::Setup: return SIMTRACKER_SETUP;
    case Procedure::Calibration: return SIMTRACKER_CALIBRATION;
    case Procedure::Validation: return SIMTRACKER_VALIDATION;
    case Procedure::DriftCorrection: return SIMTRACKER_DRIFT_CORRECTION;
    default: return SIMTRACKER_IDLE;
    }
}

void set_mode(uint16_t mode) { standin::state().tracker_mode = mode; }

void set_flag(uint16_t flag, bool on) {
    auto &flags = standin::state().display_flags;
    flags = on ? uint16_t(flags | flag) : uint16_t(flags & ~flag);
}

void emit(SimTrackerEventKind kind, int32_t value, int16_t x, int16_t y, const char *text) {
    const Tracker &t = tracker();
    if (!t.observer) return;
    const SimTrackerEvent event{kind, stage_of(t.current), value, x, y, text};
    t.observer(&event, t.observer_data);
}

int32_t fail(const std::string &message) {
    tracker().error = message;
    return SIMTRACKER_FAILED;
}

SDL_Window *attached_window() {
    const uint32_t id = tracker().window_id;
    if (id == 0 || !SDL_WasInit(SDL_INIT_VIDEO)) return nullptr;
    return SDL_GetWindowFromID(id);
}

}  // namespace simtracker

using simtracker::Procedure;
using simtracker::tracker;

extern "C" {

void simtracker_default_settings(SimTrackerSettings *settings) {
    if (!settings) return;
    *settings = SimTrackerSettings{};
    settings->frame_rate = 30;
    settings->fixation_ms = 800;
    settings->target_gap_ms = 250;
    settings->poor_point = -1;
    settings->time_limit_ms = 0;
    settings->grid_span = 0.8f;
    settings->seed = 1;
}

int32_t simtracker_configure(const SimTrackerSettings *settings) {
    if (!settings || !simtracker::settings_valid(*settings)) return -1;
    tracker().configured = *settings;
    return 0;
}

void simtracker_attach_window(SDL_Window *window) {
    tracker().window_id = window ? SDL_GetWindowID(window) : 0;
}

int32_t simtracker_start_setup(void) {
    if (!simtracker::can_start()) return SIMTRACKER_FAILED;
    return simtracker::begin_setup();
}

int32_t simtracker_start_calibration(int32_t points) {
    return simtracker::start_grid(Procedure::Calibration, points);
}

int32_t simtracker_start_validation(int32_t points) {
    return simtracker::start_grid(Procedure::Validation, points);
}

int32_t simtracker_start_drift_correction(int16_t x, int16_t y) {
    if (!simtracker::can_start()) return SIMTRACKER_FAILED;
    return simtracker::begin_targets(Procedure::DriftCorrection, {simtracker::Point{x, y}});
}

int32_t simtracker_do_setup(void) { return simtracker::run_to_end(simtracker_start_setup()); }

int32_t simtracker_do_calibration(int32_t points) {
    return simtracker::run_to_end(simtracker_start_calibration(points));
}

int32_t simtracker_do_validation(int32_t points) {
    return simtracker::run_to_end(simtracker_start_validation(points));
}

int32_t simtracker_do_drift_correction(int16_t x, int16_t y) {
    return simtracker::run_to_end(simtracker_start_drift_correction(x, y));
}

SimTrackerStage simtracker_step(void) {
    using namespace simtracker;
    Tracker &t = tracker();
    const int64_t now = now_ms();
    script_step(now);
    if (t.current == Procedure::None) return SIMTRACKER_IDLE;
    if (core_abort_requested()) {
        end_all(SIMTRACKER_ABORTED);
        return SIMTRACKER_IDLE;
    }
    if (t.settings.time_limit_ms > 0 && now - t.started_ms >= t.settings.time_limit_ms) {
        end_all(SIMTRACKER_TIMED_OUT);
        return SIMTRACKER_IDLE;
    }
    KeyInput key{};
    if (hook_read_key(key)) {
        ++t.stats.keys;
        simtracker_handle_key(key.key);
    }
    if (t.current == Procedure::Setup)
        setup_step(now_ms());
    else if (t.current != Procedure::None)
        targets_step(now_ms());
    return stage_of(t.current);
}

int32_t simtracker_handle_key(uint16_t key) {
    using namespace simtracker;
    Tracker &t = tracker();
    bool acted = false;
    if (t.current == Procedure::Setup && key == VT_KEY_ESCAPE) {
        end_all(SIMTRACKER_DONE);
        acted = true;
    } else if (t.current == Procedure::Setup) {
        acted = setup_key(key);
    } else if (t.current != Procedure::None) {
        acted = targets_key(key);
    }
    if (acted) emit(SIMTRACKER_KEY, key);
    return acted ? 1 : 0;
}

SimTrackerStage simtracker_stage(void) { return simtracker::stage_of(tracker().current); }
int32_t simtracker_result(void) { return tracker().result; }
const char *simtracker_last_error(void) { return tracker().error.c_str(); }

void simtracker_set_observer(SimTrackerObserver observer, void *user_data) {
    tracker().observer = observer;
    tracker().observer_data = user_data;
}

SimTrackerStats simtracker_stats(void) { return tracker().stats; }
void simtracker_reset_stats(void) { tracker().stats = SimTrackerStats{}; }

}  // extern "C"
