// The simulated tracker's calibration, validation and drift correction: the hooks called in
// order with their arguments, tracker mode and display flags per stage, target acceptance by
// fixation, Enter and the key hook, Backspace and Escape, abort, time limit and bad starts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "session_test_hooks.h"
#include "test_support.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using session_test::received;
using session_test::slots;
using session_test::step_until;

struct XY {
    int x, y;
    bool operator==(const XY &o) const { return x == o.x && y == o.y; }
};

class Procedures : public session_test::TrackerTest {
protected:
    // The grid as the header describes it: centre first, then row by row, spanning 80 %.
    std::vector<XY> expected_grid(int points) const {
        const int cx = width / 2, cy = height / 2;
        const int dx = int(float(width) * 0.8f / 2), dy = int(float(height) * 0.8f / 2);
        if (points == 3) return {{cx, cy}, {cx - dx, cy}, {cx + dx, cy}};
        if (points == 5)
            return {{cx, cy},
                    {cx - dx, cy - dy},
                    {cx + dx, cy - dy},
                    {cx - dx, cy + dy},
                    {cx + dx, cy + dy}};
        return {{cx, cy},      {cx - dx, cy - dy}, {cx, cy - dy}, {cx + dx, cy - dy}, {cx - dx, cy},
                {cx + dx, cy}, {cx - dx, cy + dy}, {cx, cy + dy}, {cx + dx, cy + dy}};
    }

    static std::vector<XY> drawn_targets() {
        std::vector<XY> out;
        for (size_t i = 0; i < standin_hook_call_count(); ++i) {
            const StandinHookCall call = standin_hook_call(i);
            if (call.slot == 11) out.push_back({call.args[0], call.args[1]});
        }
        return out;
    }

    static StandinHookCall last_call_of(int slot) {
        StandinHookCall found{};
        for (size_t i = 0; i < standin_hook_call_count(); ++i)
            if (standin_hook_call(i).slot == slot) found = standin_hook_call(i);
        return found;
    }
};

TEST_F(Procedures, NinePointCalibrationCallsTheHooksInOrderInCalibrationMode) {
    ASSERT_EQ(simtracker_do_calibration(9), SIMTRACKER_DONE) << simtracker_last_error();

    std::vector<int> expected{1, 9};
    for (int i = 0; i < 9; ++i) expected.insert(expected.end(), {11, 12, 10});
    expected.insert(expected.end(), {13, 2});
    EXPECT_EQ(slots(), expected);
    EXPECT_EQ(drawn_targets(), expected_grid(9));
    for (size_t i = 0; i < standin_hook_call_count(); ++i) {
        EXPECT_EQ(standin_hook_call(i).tracker_mode, 11) << "call " << i;
        EXPECT_EQ(standin_hook_call(i).display_flags, 0) << "call " << i;
    }
    EXPECT_EQ(last_call_of(13).args[0], 0) << "calibration ends with the done sound";
    EXPECT_EQ(core_tracker_mode(), 0);
    EXPECT_EQ(core_display_flags(), 0);
    EXPECT_EQ(simtracker_stage(), SIMTRACKER_IDLE);

    const SimTrackerStats stats = simtracker_stats();
    EXPECT_EQ(stats.calibrations, 1);
    EXPECT_EQ(stats.targets, 9);
    EXPECT_EQ(stats.target_sounds, 9);
    EXPECT_EQ(stats.done_sounds, 1);
    EXPECT_EQ(stats.error_sounds, 0);
}

TEST_F(Procedures, ThreeAndFivePointGridsAndTheirShowingOrder) {
    ASSERT_EQ(simtracker_do_calibration(3), SIMTRACKER_DONE);
    EXPECT_EQ(drawn_targets(), expected_grid(3));
    standin_reset();
    ASSERT_EQ(simtracker_do_validation(5), SIMTRACKER_DONE);
    EXPECT_EQ(drawn_targets(), expected_grid(5));
    EXPECT_EQ(last_call_of(11).tracker_mode, 12);

    // A narrower span pulls the outer points toward the centre.
    settings.grid_span = 0.5f;
    reconfigure();
    standin_reset();
    ASSERT_EQ(simtracker_do_calibration(3), SIMTRACKER_DONE);
    EXPECT_EQ(drawn_targets()[1].x, width / 2 - int(float(width) * 0.5f / 2));
}

TEST_F(Procedures, BadArgumentsStartNothing) {
    for (int points : {0, 1, 4, 8, 10, -9}) {
        EXPECT_EQ(simtracker_start_calibration(points), SIMTRACKER_FAILED) << points;
        EXPECT_NE(std::string(simtracker_last_error()).find("3, 5 or 9"), std::string::npos);
        EXPECT_EQ(simtracker_start_validation(points), SIMTRACKER_FAILED) << points;
    }
    const std::vector<std::pair<int, int>> outside{
        {-32768, -32768}, {-1, 10}, {10, -1}, {width, 10}, {10, height}};
    for (auto [x, y] : outside) {
        EXPECT_EQ(simtracker_start_drift_correction(int16_t(x), int16_t(y)), SIMTRACKER_FAILED);
        EXPECT_NE(std::string(simtracker_last_error()).find("outside the window"),
                  std::string::npos);
    }
    EXPECT_EQ(standin_hook_call_count(), 0u);
    EXPECT_EQ(core_tracker_mode(), 0);
    EXPECT_EQ(core_display_flags(), 0);
    EXPECT_EQ(simtracker_stage(), SIMTRACKER_IDLE);
}

TEST_F(Procedures, ValidationSoundsTheErrorForAPoorPointOnly) {
    ASSERT_EQ(simtracker_do_validation(9), SIMTRACKER_DONE);
    EXPECT_EQ(last_call_of(13).args[0], 0);
    EXPECT_EQ(last_call_of(13).tracker_mode, 12);
    SimTrackerStats stats = simtracker_stats();
    EXPECT_GT(stats.validation_max_error, 0.0f);
    EXPECT_LT(stats.validation_max_error, 50.0f);

    settings.poor_point = 4;
    reconfigure();
    standin_reset();
    simtracker_reset_stats();
    ASSERT_EQ(simtracker_do_validation(9), SIMTRACKER_POOR);
    EXPECT_EQ(last_call_of(13).args[0], 1);
    stats = simtracker_stats();
    EXPECT_EQ(stats.error_sounds, 1);
    EXPECT_EQ(stats.done_sounds, 0);
    EXPECT_GT(stats.validation_max_error, 50.0f);
    EXPECT_LT(stats.validation_mean_error, stats.validation_max_error);

    // Calibration has no poor points: the same settings give the done sound.
    standin_reset();
    ASSERT_EQ(simtracker_do_calibration(9), SIMTRACKER_DONE);
    EXPECT_EQ(last_call_of(13).args[0], 0);
}

TEST_F(Procedures, DriftCorrectionUsesItsOwnSoundsAndMode) {
    ASSERT_EQ(simtracker_do_drift_correction(300, 200), SIMTRACKER_DONE);
    EXPECT_EQ(slots(), (std::vector<int>{1, 9, 11, 15, 10, 14, 2}));
    EXPECT_EQ(drawn_targets(), (std::vector<XY>{{300, 200}}));
    EXPECT_EQ(last_call_of(14).args[0], 0);
    EXPECT_EQ(last_call_of(11).tracker_mode, 13);
    EXPECT_EQ(simtracker_stats().drift_corrections, 1);

    settings.poor_point = 0;
    reconfigure();
    standin_reset();
    ASSERT_EQ(simtracker_do_drift_correction(300, 200), SIMTRACKER_POOR);
    EXPECT_EQ(last_call_of(14).args[0], 1);
}

TEST_F(Procedures, EnterAcceptsBackspaceRedoesEscapeLeaves) {
    settings.fixation_ms = 0;  // only Enter accepts
    reconfigure();
    const std::vector<XY> grid = expected_grid(3);
    ASSERT_EQ(simtracker_start_calibration(3), 0);
    EXPECT_EQ(simtracker_handle_key(8), 0) << "nothing to redo before the first acceptance";
    ASSERT_TRUE(step_until([] { return simtracker_stats().targets == 1; }));
    SDL_Delay(30);
    simtracker_step();
    EXPECT_EQ(simtracker_stats().targets, 1) << "no fixation acceptance with fixation_ms 0";

    EXPECT_EQ(simtracker_handle_key(13), 1);
    EXPECT_EQ(slots().back(), 10) << "Enter erases the accepted target";
    EXPECT_EQ(simtracker_handle_key(13), 0) << "no target shown during the gap";
    ASSERT_TRUE(step_until([] { return simtracker_stats().targets == 2; }));
    EXPECT_EQ(drawn_targets().back(), grid[1]);

    EXPECT_EQ(simtracker_handle_key(8), 1);
    const std::vector<int> tail = slots(standin_hook_call_count() - 3);
    EXPECT_EQ(tail, (std::vector<int>{10, 11, 12})) << "erase, then the last point again";
    EXPECT_EQ(drawn_targets().back(), grid[0]);

    EXPECT_EQ(simtracker_handle_key('x'), 0);
    EXPECT_EQ(simtracker_handle_key(27), 1);
    EXPECT_EQ(simtracker_result(), SIMTRACKER_ESCAPED);
    EXPECT_EQ(simtracker_stage(), SIMTRACKER_IDLE);
    EXPECT_EQ(slots(standin_hook_call_count() - 2), (std::vector<int>{10, 2}));
    EXPECT_EQ(last_call_of(13).slot, 0) << "no done sound after Escape";
    EXPECT_EQ(core_tracker_mode(), 0);
}

TEST_F(Procedures, KeysArriveThroughTheKeyHook) {
    settings.fixation_ms = 0;
    reconfigure();
    ASSERT_EQ(simtracker_start_drift_correction(100, 100), 0);
    ASSERT_TRUE(step_until([] { return simtracker_stats().targets == 1; }));
    received().keys.push_back(13);
    ASSERT_TRUE(step_until([] { return simtracker_stage() == SIMTRACKER_IDLE; }));
    EXPECT_EQ(simtracker_result(), SIMTRACKER_DONE);
    EXPECT_EQ(last_call_of(16).args[0], 13);
    EXPECT_EQ(last_call_of(16).result, 1);
    EXPECT_EQ(simtracker_stats().keys, 1);
}

TEST_F(Procedures, AbortRequestEndsNestedScreensWithTheirEndHooks) {
    ASSERT_EQ(simtracker_start_setup(), 0);
    simtracker_handle_key(13);  // camera image on
    simtracker_handle_key('c');
    EXPECT_EQ(simtracker_stage(), SIMTRACKER_CALIBRATION);
    ASSERT_TRUE(step_until([] { return simtracker_stats().targets == 1; }));
    standin_set_abort(1);
    EXPECT_EQ(simtracker_step(), SIMTRACKER_IDLE);
    EXPECT_EQ(simtracker_result(), SIMTRACKER_ABORTED);
    EXPECT_EQ(slots(standin_hook_call_count() - 3), (std::vector<int>{10, 2, 2}))
        << "target erased, calibration screen closed, setup screen closed";
    EXPECT_EQ(core_tracker_mode(), 0);
    EXPECT_EQ(core_display_flags(), 0);

    // While the abort stays pending, a new procedure ends at its first step.
    EXPECT_EQ(simtracker_do_calibration(3), SIMTRACKER_ABORTED);
    standin_set_abort(0);
    EXPECT_EQ(simtracker_do_calibration(3), SIMTRACKER_DONE);
}

TEST_F(Procedures, TimeLimitEndsAProcedure) {
    settings.time_limit_ms = 150;
    reconfigure();
    const Uint32 start = SDL_GetTicks();
    EXPECT_EQ(simtracker_do_setup(), SIMTRACKER_TIMED_OUT);
    const Uint32 took = SDL_GetTicks() - start;
    EXPECT_GE(took, 140u);  // SDL's tick and the tracker's clock round differently
    EXPECT_LT(took, 3000u);
    EXPECT_EQ(slots().back(), 2);
}

TEST_F(Procedures, StartsThatCannotWorkFailCleanly) {
    received().begin_cal_result = -1;  // as the graphics library answers without a window
    EXPECT_EQ(simtracker_start_calibration(9), SIMTRACKER_FAILED);
    EXPECT_NE(std::string(simtracker_last_error()).find("begin_cal_hook"), std::string::npos);
    EXPECT_EQ(slots(), (std::vector<int>{1}));
    EXPECT_EQ(simtracker_start_setup(), SIMTRACKER_FAILED);
    EXPECT_EQ(core_tracker_mode(), 0);
    EXPECT_EQ(core_display_flags(), 0);
    received().begin_cal_result = 0;

    ASSERT_EQ(simtracker_start_setup(), 0);
    EXPECT_EQ(simtracker_start_calibration(9), SIMTRACKER_FAILED);
    EXPECT_NE(std::string(simtracker_last_error()).find("already running"), std::string::npos);
    simtracker_handle_key(27);
    EXPECT_EQ(simtracker_stage(), SIMTRACKER_IDLE);

    simtracker_attach_window(nullptr);
    EXPECT_EQ(simtracker_start_calibration(9), SIMTRACKER_FAILED);
    EXPECT_NE(std::string(simtracker_last_error()).find("no experiment window"), std::string::npos);
    simtracker_attach_window(get_expt_window(nullptr));

    const DisplayHooks none{};
    core_install_hooks(&none);
    standin_reset();
    EXPECT_EQ(simtracker_do_setup(), SIMTRACKER_FAILED);
    EXPECT_NE(std::string(simtracker_last_error()).find("no display hooks"), std::string::npos);
    EXPECT_EQ(standin_hook_call_count(), 0u);
}

TEST_F(Procedures, TraceKeepsItsCapacityAndCountsTheRest) {
    ASSERT_EQ(simtracker_start_setup(), 0);
    ASSERT_EQ(simtracker_handle_key(13), 1);
    const size_t capacity = 262144;
    while (standin_hook_call_count() < capacity) simtracker_handle_key(VT_KEY_RIGHT);  // a title each
    for (int i = 0; i < 10; ++i) simtracker_handle_key(VT_KEY_RIGHT);
    EXPECT_EQ(standin_hook_call_count(), capacity);
    EXPECT_EQ(standin_hook_calls_dropped(), 10u);
    EXPECT_EQ(standin_hook_call(capacity).slot, 0) << "out of range";
    EXPECT_NE(standin_hook_call(capacity - 1).text, nullptr);
    standin_reset();
    EXPECT_EQ(standin_hook_call_count(), 0u);
    EXPECT_EQ(standin_hook_calls_dropped(), 0u);
}

TEST_F(Procedures, ConfigureRefusesValuesOutOfRange) {
    EXPECT_EQ(simtracker_configure(nullptr), -1);
    auto refused = [](auto change) {
        SimTrackerSettings s = session_test::quick_settings();
        change(s);
        return simtracker_configure(&s) == -1;
    };
    EXPECT_TRUE(refused([](SimTrackerSettings &s) { s.frame_rate = 0; }));
    EXPECT_TRUE(refused([](SimTrackerSettings &s) { s.frame_rate = 251; }));
    EXPECT_TRUE(refused([](SimTrackerSettings &s) { s.fixation_ms = -1; }));
    EXPECT_TRUE(refused([](SimTrackerSettings &s) { s.target_gap_ms = 10001; }));
    EXPECT_TRUE(refused([](SimTrackerSettings &s) { s.poor_point = -2; }));
    EXPECT_TRUE(refused([](SimTrackerSettings &s) { s.time_limit_ms = -5; }));
    EXPECT_TRUE(refused([](SimTrackerSettings &s) { s.grid_span = 0.05f; }));
    EXPECT_TRUE(refused([](SimTrackerSettings &s) { s.grid_span = std::nanf(""); }));
    EXPECT_FALSE(refused([](SimTrackerSettings &s) { s.frame_rate = 250; }));
}

TEST_F(Procedures, ObserverSeesStagesTargetsAndResults) {
    static std::vector<SimTrackerEvent> events;
    events.clear();
    simtracker_set_observer(
        [](const SimTrackerEvent *event, void *data) {
            EXPECT_EQ(data, &events);
            events.push_back(*event);
        },
        &events);
    ASSERT_EQ(simtracker_do_calibration(3), SIMTRACKER_DONE);
    const std::vector<XY> grid = expected_grid(3);
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events.front().kind, SIMTRACKER_STAGE_BEGIN);
    EXPECT_EQ(events.front().stage, SIMTRACKER_CALIBRATION);
    for (int i = 0; i < 3; ++i) {
        const SimTrackerEvent &shown = events[size_t(1 + 2 * i)];
        EXPECT_EQ(shown.kind, SIMTRACKER_TARGET_SHOWN);
        EXPECT_EQ(shown.value, i);
        EXPECT_EQ((XY{shown.x, shown.y}), grid[size_t(i)]);
        EXPECT_EQ(events[size_t(2 + 2 * i)].kind, SIMTRACKER_TARGET_ACCEPTED);
    }
    EXPECT_EQ(events.back().kind, SIMTRACKER_STAGE_END);
    EXPECT_EQ(events.back().value, SIMTRACKER_DONE);
}

}  // namespace
