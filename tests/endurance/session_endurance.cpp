// Long runs of the library as an application uses it, through its shared library and the
// stand-in core's simulated tracker: 50 cycles of opening the window, a calibration, a
// camera-image session and closing; and one camera-image session streaming for minutes
// (VT_STREAM_SECONDS, 600 by default). Resident memory (VmRSS), the heap in use (when a
// sanitizer's allocator counts it) and open descriptors are sampled and printed; none may grow
// once the first cycle or minute has set everything up. ./run endurance runs it built with
// LeakSanitizer, which also finds any leak, and the cycles once more in the plain build.
//
// Before each sample the C library's allocator hands its free memory back to the system
// (malloc_trim), so that resident memory is the memory in use rather than what happens to
// lie free below a block in use. Resident memory is judged in the plain build only: under a
// sanitizer every thread ever started keeps about 4 KB of the sanitizer's own records, and
// each sound of a calibration opens an audio device with a thread of its own. The heap in use
// shows the library's memory there.
#include <SDL.h>
#include <dirent.h>
#include <malloc.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
    long long resident_kb = 0;
    long long heap_kb = -1;  // -1: not counted (no sanitizer)
    int descriptors = 0;
};

long long resident_kb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long long value = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> value) return value;
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

int open_descriptors() {
    DIR *folder = opendir("/proc/self/fd");
    if (!folder) return -1;
    int count = 0;
    while (const dirent *entry = readdir(folder)) count += entry->d_name[0] != '.';
    closedir(folder);
    return count - 1;  // the folder's own descriptor
}

Usage usage_since(Clock::time_point start) {
    malloc_trim(0);
    const long long heap = vt_test::heap_in_use();
    return {std::chrono::duration<double>(Clock::now() - start).count(), resident_kb(),
            heap < 0 ? -1 : heap / 1024, open_descriptors()};
}

void print_header(const char *first_column) {
    std::printf("%-12s %8s %12s %12s %12s\n", first_column, "time", "resident", "heap in use",
                "descriptors");
}

void print_usage(const std::string &label, const Usage &usage) {
    char heap[32] = "-";
    if (usage.heap_kb >= 0) std::snprintf(heap, sizeof heap, "%.3f MB", usage.heap_kb / 1024.0);
    std::printf("%-12s %6.0f s %9.2f MB %12s %12d\n", label.c_str(), usage.seconds,
                usage.resident_kb / 1024.0, heap, usage.descriptors);
    std::fflush(stdout);
}

// How far a measure rose above its value at samples[first] later on, in MB.
double growth_mb(const std::vector<Usage> &samples, size_t first, long long Usage::*measure) {
    long long highest = samples[first].*measure;
    for (size_t i = first; i < samples.size(); ++i) highest = std::max(highest, samples[i].*measure);
    return double(highest - samples[first].*measure) / 1024.0;
}

// From samples[first] on, resident memory and the heap in use may hardly rise, and the
// descriptors must stay as they were.
void expect_flat(const std::vector<Usage> &samples, size_t first, const char *after) {
    const double resident = growth_mb(samples, first, &Usage::resident_kb);
    std::printf("growth after %s: resident %.2f MB", after, resident);
    if (samples[first].heap_kb >= 0)
        std::printf(", heap in use %.3f MB", growth_mb(samples, first, &Usage::heap_kb));
    std::printf("; descriptors %d -> %d\n", samples[first].descriptors, samples.back().descriptors);
    if (samples[first].heap_kb >= 0)
        EXPECT_LT(growth_mb(samples, first, &Usage::heap_kb), 0.25) << "the heap grows";
    else
        EXPECT_LT(resident, 1.0) << "resident memory grows";
    EXPECT_EQ(samples.back().descriptors, samples[first].descriptors);
}

// The window, with the simulated tracker fast: short fixations, no gaps, frame_rate camera
// frames a second, procedures ended after time_limit_ms (0: never) in case a key is lost.
void open_window(int32_t frame_rate, int32_t time_limit_ms) {
    ASSERT_EQ(init_expt_window(nullptr, nullptr), 0);
    simtracker_attach_window(get_expt_window(nullptr));
    SimTrackerSettings settings;
    simtracker_default_settings(&settings);
    settings.frame_rate = frame_rate;
    settings.fixation_ms = 20;
    settings.target_gap_ms = 0;
    settings.time_limit_ms = time_limit_ms;
    ASSERT_EQ(simtracker_configure(&settings), 0);
}

void close_window() {
    simtracker_clear_script();
    simtracker_attach_window(nullptr);
    close_expt_graphics();
    standin_reset();  // the stand-in core's record of every hook call
}

TEST(Endurance, FiftyCyclesOfWindowCalibrationAndCameraImage) {
    constexpr int kCycles = 50;
    const Clock::time_point start = Clock::now();
    std::vector<Usage> after;  // after[i]: after cycle i + 1
    print_header("after cycle");
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        open_window(250, 60000);
        ASSERT_EQ(simtracker_do_calibration(9), SIMTRACKER_DONE) << "cycle " << cycle;
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
        ASSERT_EQ(simtracker_do_setup(), SIMTRACKER_DONE) << "cycle " << cycle;
        close_window();
        after.push_back(usage_since(start));
        if (cycle <= 3 || cycle % 10 == 0) print_usage(std::to_string(cycle), after.back());
    }
    const SimTrackerStats stats = simtracker_stats();
    EXPECT_EQ(stats.calibrations, kCycles);
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
    print_header("streaming");

    // Every 10 s, as an operator sets up the camera: the next zoom step, every 30 s the next
    // view, every minute the image hidden and shown again (a new buffer, texture and font).
    std::vector<Usage> samples;
    int step = 0;
    for (double next_sample = 0;;) {
        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        if (now >= next_sample) {
            samples.push_back(usage_since(start));
            print_usage("", samples.back());
            next_sample += 10;
            ++step;
            simtracker_handle_key('z');
            if (step % 3 == 0) simtracker_handle_key(0x4D00);
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
