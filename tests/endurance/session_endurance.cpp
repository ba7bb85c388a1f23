// Long runs of the library as an application uses it, through its shared library and the
// stand-in core's simulated tracker: 50 cycles of opening the window, a calibration, a
// camera-image session, a validation whose targets are a short video with sound, and closing;
// and one camera-image session streaming for minutes (VT_STREAM_SECONDS, 600 by default). What
// the system holds for the process (test_system.h: on Linux resident memory, the heap in use
// when a sanitizer's allocator counts it, and open descriptors; on Windows private bytes,
// handles, GDI and USER objects) is sampled and printed; none may grow once the first cycle or
// minute has set everything up. ./run endurance runs it built with LeakSanitizer, which also
// finds any leak, the cycles once more in the plain build, and then the cycles of the Windows
// build under Wine.
#include <SDL.h>  // on Windows main is SDL's entry point's SDL_main
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "headless.h"
#include "leak_checks.h"
#include "test_system.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"
#include "vistrak_simulated_tracker.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Usage {
    double seconds = 0;  // since the run began
    std::vector<vt_test::ProcessMeasure> measures;
};

Usage usage_since(Clock::time_point start) {
    std::vector<vt_test::ProcessMeasure> measures = vt_test::process_measures();
    return {std::chrono::duration<double>(Clock::now() - start).count(), std::move(measures)};
}

void print_header(const char *first_column, const Usage &usage) {
    std::printf("%-12s %8s", first_column, "time");
    for (const vt_test::ProcessMeasure &measure : usage.measures)
        std::printf(" %13s", measure.name);
    std::printf("\n");
}

void print_usage(const std::string &label, const Usage &usage) {
    std::printf("%-12s %6.0f s", label.c_str(), usage.seconds);
    for (const vt_test::ProcessMeasure &measure : usage.measures) {
        if (measure.value < 0)
            std::printf(" %13s", "-");
        else if (measure.memory)
            std::printf(" %10.3f MB", double(measure.value) / (1 << 20));
        else
            std::printf(" %13lld", (long long)measure.value);
    }
    std::printf("\n");
    std::fflush(stdout);
}

// From samples[first] on, no measure may rise by more than its allowance (the highest sample
// counts).
void expect_flat(const std::vector<Usage> &samples, size_t first, const char *after) {
    const std::vector<vt_test::ProcessMeasure> &before = samples[first].measures;
    std::vector<double> growth(before.size());  // memory: MB; a count: objects
    std::printf("growth after %s:", after);
    for (size_t m = 0; m < before.size(); ++m) {
        const vt_test::ProcessMeasure &measure = before[m];
        if (measure.value < 0) continue;
        int64_t highest = measure.value;
        for (size_t i = first; i < samples.size(); ++i)
            highest = std::max(highest, samples[i].measures[m].value);
        const int64_t last = samples.back().measures[m].value;
        if (measure.memory) {
            growth[m] = double(highest - measure.value) / (1 << 20);
            std::printf(" %s %+.3f MB (last %+.3f MB);", measure.name, growth[m],
                        double(last - measure.value) / (1 << 20));
        } else {
            growth[m] = double(highest - measure.value);
            std::printf(" %s %lld -> %lld (highest %lld);", measure.name,
                        (long long)measure.value, (long long)last, (long long)highest);
        }
    }
    std::printf("\n");
    for (size_t m = 0; m < before.size(); ++m) {
        if (before[m].value >= 0 && before[m].allowed_growth >= 0) {
            EXPECT_LE(growth[m], before[m].allowed_growth) << before[m].name << " grows";
        }
    }
}

// The simulated tracker fast: targets accepted after fixation_ms, no gaps, frame_rate camera
// frames a second, procedures ended after time_limit_ms (0: never) in case a key is lost.
void configure_tracker(int32_t frame_rate, int32_t fixation_ms, int32_t time_limit_ms) {
    SimTrackerSettings settings;
    simtracker_default_settings(&settings);
    settings.frame_rate = frame_rate;
    settings.fixation_ms = fixation_ms;
    settings.target_gap_ms = 0;
    settings.time_limit_ms = time_limit_ms;
    ASSERT_EQ(simtracker_configure(&settings), 0);
}

void open_window(int32_t frame_rate, int32_t time_limit_ms) {
    ASSERT_EQ(init_expt_window(nullptr, nullptr), 0);
    simtracker_attach_window(get_expt_window(nullptr));
    configure_tracker(frame_rate, 20, time_limit_ms);
}

void close_window() {
    simtracker_clear_script();
    simtracker_attach_window(nullptr);
    close_expt_graphics();
    standin_reset();  // the stand-in core's record of every hook call
}

// The animated target: a validation whose three targets are ENDURANCE_VIDEO (64 x 48
// Microsoft Video 1 frames at 12 a second, with PCM sound), each shown for a few of its
// frames; then the drawn target again.
void validate_with_video_target() {
    ASSERT_EQ(set_cal_animation_target(ENDURANCE_VIDEO, 0, 0), 0);
    configure_tracker(250, 250, 60000);
    ASSERT_EQ(simtracker_do_validation(3), SIMTRACKER_DONE);
    // Loaded and played, not replaced by the drawn ring.
    EXPECT_EQ(standin_log_matches("return from LoadVideo is 1 "), 1u);
    EXPECT_EQ(set_cal_animation_target(nullptr, 0, 0), -1);  // none from here on
}

TEST(Endurance, FiftyCyclesOfWindowCalibrationCameraImageAndVideoTarget) {
    constexpr int kCycles = 50;
    const Clock::time_point start = Clock::now();
    std::vector<Usage> after;  // after[i]: after cycle i + 1
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ASSERT_NO_FATAL_FAILURE(open_window(250, 60000));
        ASSERT_EQ(simtracker_do_calibration(9), SIMTRACKER_DONE);
        ASSERT_GT(simtracker_load_script("key Return\n"
                                         "wait frames 40\n"
                                         "key z\n"
                                         "wait frames 10\n"
                                         "key Right\n"
                                         "wait frames 10\n"
                                         "key Return\n"
                                         "wait 50\n"
                                         "key Escape\n"),
                  0)
            << simtracker_last_error();
        ASSERT_EQ(simtracker_do_setup(), SIMTRACKER_DONE);
        ASSERT_NO_FATAL_FAILURE(validate_with_video_target());
        close_window();
        after.push_back(usage_since(start));
        if (cycle == 1) print_header("after cycle", after.back());
        if (cycle <= 3 || cycle % 10 == 0) print_usage(std::to_string(cycle), after.back());
    }
    const SimTrackerStats stats = simtracker_stats();
    EXPECT_EQ(stats.calibrations, kCycles);
    EXPECT_EQ(stats.validations, kCycles);
    EXPECT_GE(stats.frames, kCycles * 60);
    expect_flat(after, 0, "cycle 1");
    EXPECT_FALSE(vt_test::leaks_found());
}

TEST(Endurance, CameraImageStreamsForMinutesWithoutGrowing) {
    const char *setting = std::getenv("VT_STREAM_SECONDS");
    const double seconds = setting && *setting ? std::atof(setting) : 600.0;
    const Clock::time_point start = Clock::now();
    open_window(60, 0);
    ASSERT_EQ(simtracker_start_setup(), 0);
    ASSERT_EQ(simtracker_handle_key(13), 1);  // Enter: the camera image

    // Every 10 s, as an operator sets up the camera: the next zoom step, every 30 s the next
    // view, every minute the image hidden and shown again (a new buffer, texture and font).
    std::vector<Usage> samples;
    int step = 0;
    for (double next_sample = 0;;) {
        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        if (now >= next_sample) {
            samples.push_back(usage_since(start));
            if (samples.size() == 1) print_header("streaming", samples.back());
            print_usage("", samples.back());
            next_sample += 10;
            ++step;
            simtracker_handle_key('z');
            if (step % 3 == 0) simtracker_handle_key(VT_KEY_RIGHT);
            if (step % 6 == 0) {
                simtracker_handle_key(13);
                simtracker_handle_key(13);
            }
        }
        if (now >= seconds) break;
        ASSERT_EQ(simtracker_step(), SIMTRACKER_SETUP);
        SDL_Delay(1);
    }
    const int frames = simtracker_stats().frames;
    ASSERT_EQ(simtracker_handle_key(27), 1);
    while (simtracker_step() != SIMTRACKER_IDLE) {
    }
    close_window();
    print_usage("closed", usage_since(start));

    // The first minute sets everything up (fonts, textures, the stand-in core's trace of hook
    // calls filling to its capacity); from then on nothing may grow.
    std::printf("%d frames\n", frames);
    EXPECT_GT(frames, int(seconds * 30));
    expect_flat(samples, std::min<size_t>(6, samples.size() - 1), "the first minute");
    EXPECT_FALSE(vt_test::leaks_found());
}

}  // namespace

int main(int argc, char **argv) {
    vt_test::use_headless_drivers_without_display();
    vt_test::prepare_system_libraries();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
