// Calibration, validation and drift correction: the target grid, each target drawn with its
// sound, accepted after a simulated stable fixation or on Enter, redone on Backspace, and the
// done or error sound at the end.
#include <algorithm>
#include <numeric>

#include "simulated_tracker.h"

namespace simtracker {

namespace {

// A validation or drift-correction point whose simulated error exceeds this fits poorly.
constexpr float kPoorErrorPixels = 50;

bool is_drift_correction() { return tracker().current == Procedure::DriftCorrection; }

// Simulated gaze error at a point: small, except at the configured poor point.
float simulated_error(size_t index) {
    const Tracker &t = tracker();
    uint32_t h = t.settings.seed * 2654435761u ^ uint32_t(index + 1) * 40503u ^
                 uint32_t(t.stats.validations + t.stats.calibrations) * 9973u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    const float unit = float(h % 1000) / 1000.0f;
    const bool poor = t.current != Procedure::Calibration && t.settings.poor_point >= 0 &&
                      size_t(t.settings.poor_point) == index;
    return poor ? 90 + 40 * unit : 6 + 12 * unit;
}

void show_target(int64_t now) {
    Tracker &t = tracker();
    TargetRun &run = t.targets;
    const Point point = run.points[run.index];
    hook_draw_target(point);
    if (is_drift_correction())
        hook_dcorr_target_sound();
    else
        hook_cal_target_sound();
    run.visible = true;
    run.shown_ms = now;
    ++t.stats.targets;
    ++t.stats.target_sounds;
    emit(SIMTRACKER_TARGET_SHOWN, int32_t(run.index), point.x, point.y);
}

void after_targets(int32_t result) {
    Tracker &t = tracker();
    if (t.in_setup) {
        return_to_setup();
        return;
    }
    t.current = Procedure::None;
    t.result = result;
    set_mode(VT_MODE_IDLE);
}

void finish_targets() {
    Tracker &t = tracker();
    const std::vector<float> &errors = t.targets.errors;
    const float worst = errors.empty() ? 0 : *std::max_element(errors.begin(), errors.end());
    const bool poor = t.current != Procedure::Calibration && worst > kPoorErrorPixels;
    if (is_drift_correction())
        hook_dcorr_done_sound(poor);
    else
        hook_cal_done_sound(poor);
    ++(poor ? t.stats.error_sounds : t.stats.done_sounds);
    if (t.current == Procedure::Validation && !errors.empty()) {
        t.stats.validation_mean_error =
            std::accumulate(errors.begin(), errors.end(), 0.0f) / float(errors.size());
        t.stats.validation_max_error = worst;
    }
    hook_end_cal();
    const int32_t result = poor ? SIMTRACKER_POOR : SIMTRACKER_DONE;
    emit(SIMTRACKER_STAGE_END, result);
    after_targets(result);
}

void accept_target(int64_t now) {
    Tracker &t = tracker();
    TargetRun &run = t.targets;
    hook_erase_target();
    run.visible = false;
    run.errors.push_back(simulated_error(run.index));
    const Point point = run.points[run.index];
    emit(SIMTRACKER_TARGET_ACCEPTED, int32_t(run.index), point.x, point.y);
    ++run.index;
    if (run.index == run.points.size()) {
        finish_targets();
        return;
    }
    run.next_target_ms = now + t.settings.target_gap_ms;
}

uint16_t mode_of(Procedure kind) {
    switch (kind) {
    case Procedure::Calibration: return VT_MODE_CALIBRATION;
    case Procedure::Validation: return VT_MODE_VALIDATION;
    default: return VT_MODE_DRIFT_CORRECTION;
    }
}

}  // namespace

std::vector<Point> grid(int points, int width, int height, float span) {
    if ((points != 3 && points != 5 && points != 9) || width <= 0 || height <= 0) return {};
    const int cx = width / 2, cy = height / 2;
    const int dx = int(float(width) * span / 2), dy = int(float(height) * span / 2);
    auto at = [&](int column, int row) {
        return Point{int16_t(cx + column * dx), int16_t(cy + row * dy)};
    };
    // Centre first, then row by row.
    if (points == 3) return {at(0, 0), at(-1, 0), at(1, 0)};
    if (points == 5) return {at(0, 0), at(-1, -1), at(1, -1), at(-1, 1), at(1, 1)};
    return {at(0, 0), at(-1, -1), at(0, -1), at(1, -1), at(-1, 0),
            at(1, 0), at(-1, 1),  at(0, 1),  at(1, 1)};
}

int32_t begin_targets(Procedure kind, std::vector<Point> points) {
    Tracker &t = tracker();
    SDL_Window *window = attached_window();
    if (!window) return fail("no experiment window is attached");
    int width = 0, height = 0;
    SDL_GetWindowSize(window, &width, &height);
    if (points.empty()) return fail("a grid has 3, 5 or 9 points");
    for (const Point &p : points)
        if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height)
            return fail("a target lies outside the window");
    const uint16_t previous_mode = core_tracker_mode();
    set_mode(mode_of(kind));
    if (hook_begin_cal() != 0) {
        set_mode(previous_mode);
        return fail("begin_cal_hook answered -1 (no window)");
    }
    hook_clear_cal();
    t.current = kind;
    t.targets = TargetRun{};
    t.targets.points = std::move(points);
    t.targets.next_target_ms = now_ms();
    if (kind != Procedure::DriftCorrection) t.grid_points = int(t.targets.points.size());
    ++(kind == Procedure::Calibration  ? t.stats.calibrations
       : kind == Procedure::Validation ? t.stats.validations
                                       : t.stats.drift_corrections);
    emit(SIMTRACKER_STAGE_BEGIN, 0);
    return 0;
}

void stop_targets(int32_t result) {
    TargetRun &run = tracker().targets;
    if (run.visible) hook_erase_target();
    run.visible = false;
    hook_end_cal();
    emit(SIMTRACKER_STAGE_END, result);
}

bool targets_key(uint16_t key) {
    TargetRun &run = tracker().targets;
    switch (key) {
    case VT_KEY_ENTER:
        if (!run.visible) return false;
        accept_target(now_ms());
        return true;
    case VT_KEY_BACKSPACE:
        if (run.index == 0 || is_drift_correction()) return false;
        if (run.visible) hook_erase_target();
        run.visible = false;
        --run.index;
        run.errors.resize(run.index);
        show_target(now_ms());
        return true;
    case VT_KEY_ESCAPE:
        stop_targets(SIMTRACKER_ESCAPED);
        after_targets(SIMTRACKER_ESCAPED);
        return true;
    default: return false;
    }
}

void targets_step(int64_t now) {
    const TargetRun &run = tracker().targets;
    const int32_t fixation = tracker().settings.fixation_ms;
    if (run.visible) {
        if (fixation > 0 && now - run.shown_ms >= fixation) accept_target(now);
    } else if (now >= run.next_target_ms) {
        show_target(now);
    }
}

}  // namespace simtracker
