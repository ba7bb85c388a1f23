// The simulated session end to end through the whole graphics library: the keypad steering the
// built-in menus from the camera image to a calibration, screenshots checked for the camera
// image, the menu text, the zoom and the target ring at its grid position, the hooks called in
// order, a screen saved through the image writer, and the demo program's own run.
#include <gd.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "test_system.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"
#include "vistrak_simulated_tracker.h"

namespace {

namespace fs = std::filesystem;
using vt_test::Pixels;
using vt_test::rgba;

constexpr uint32_t kBackground = rgba(180, 180, 180);  // the default calibration colours
constexpr uint32_t kForeground = rgba(0, 0, 0);
constexpr uint32_t kPupilHighlight = rgba(40, 90, 255);

bool dark(uint32_t p) {
    return (p >> 24) < 90 && ((p >> 16) & 0xFF) < 90 && ((p >> 8) & 0xFF) < 90;
}

int count_in(const Pixels &pixels, SDL_Rect area, bool (*test)(uint32_t)) {
    int n = 0;
    for (int y = std::max(0, area.y); y < std::min(pixels.height, area.y + area.h); ++y)
        for (int x = std::max(0, area.x); x < std::min(pixels.width, area.x + area.w); ++x)
            n += test(pixels.at(x, y));
    return n;
}

// Screenshots taken by the observer at the input script's marks and at chosen targets.
struct Shots {
    std::vector<std::pair<std::string, Pixels>> taken;
    int target_to_shoot = -1;
    const Pixels *find(const std::string &name) const {
        for (const auto &[label, pixels] : taken)
            if (label == name) return &pixels;
        return nullptr;
    }
};

void observe(const SimTrackerEvent *event, void *data) {
    Shots &shots = *static_cast<Shots *>(data);
    if (event->kind == SIMTRACKER_MARK) {
        shots.taken.emplace_back(event->text, vt_test::read_window_pixels());
    } else if (event->kind == SIMTRACKER_TARGET_SHOWN && event->value == shots.target_to_shoot) {
        shots.taken.emplace_back(
            "target " + std::to_string(event->x) + "," + std::to_string(event->y),
            vt_test::read_window_pixels());
    }
}

// The trace's slots with their tracker modes, leaving out lines, titles and key polls.
std::vector<std::pair<int, int>> screens_in_trace() {
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < standin_hook_call_count(); ++i) {
        const StandinHookCall call = standin_hook_call(i);
        if (call.slot == 1 || call.slot == 2 || call.slot == 4 || call.slot == 8)
            out.emplace_back(call.slot, call.tracker_mode);
    }
    return out;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        window = get_expt_window(nullptr);
        SDL_GetWindowSize(window, &width, &height);
        simtracker_attach_window(window);
        standin_reset();
        SimTrackerSettings s;
        simtracker_default_settings(&s);
        s.fixation_ms = 150;
        s.target_gap_ms = 50;
        s.time_limit_ms = 30000;  // a broken key path fails the test instead of hanging it
        ASSERT_EQ(simtracker_configure(&s), 0);
        simtracker_reset_stats();
        simtracker_set_observer(observe, &shots);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        simtracker_set_observer(nullptr, nullptr);
        simtracker_clear_script();
        enable_external_calibration_device(0, nullptr, nullptr);
        standin_reset();
    }

    // The ring of the default target (outer radius 8, hole radius 2) centred on (x, y).
    void expect_ring_at(const Pixels &p, int x, int y) const {
        EXPECT_EQ(p.at(x - 5, y), kForeground) << "disc left of the hole at " << x << "," << y;
        EXPECT_EQ(p.at(x + 5, y), kForeground) << "disc right of the hole";
        EXPECT_EQ(p.at(x, y - 5), kForeground) << "disc above the hole";
        EXPECT_EQ(p.at(x, y), kBackground) << "the hole";
        EXPECT_EQ(p.at(x + 30, y), kBackground) << "background beside the target";
        EXPECT_EQ(p.at(x < width / 2 ? x + 200 : x - 200, y), kBackground) << "no other target";
    }

    SDL_Window *window = nullptr;
    int width = 0, height = 0;
    Shots shots;
};

TEST_F(EndToEnd, KeypadSteersFromTheCameraImageToACalibration) {
    ASSERT_EQ(enable_external_calibration_device(2, nullptr, nullptr), 1);
    ASSERT_GT(simtracker_load_script("wait 200\n"
                                     "key Return\n"
                                     "wait frames 5\n"
                                     "mark camera\n"
                                     "key z\n"
                                     "wait frames 3\n"
                                     "mark zoom 1\n"
                                     "key z\n"
                                     "key z\n"
                                     "key Return\n"
                                     "wait 200\n"
                                     "key \"Keypad 4\"\n"  // NUM 4: Start Calibration
                                     "wait mode 11\n"
                                     "wait targets 2\n"
                                     "mark calibrating\n"
                                     "wait mode 2\n"
                                     "key Escape\n"),
              0)
        << simtracker_last_error();
    shots.target_to_shoot = 1;
    ASSERT_EQ(simtracker_do_setup(), SIMTRACKER_DONE) << "the keys did not reach the tracker";
    const SimTrackerStats stats = simtracker_stats();
    EXPECT_EQ(stats.calibrations, 1) << "the keypad started the calibration";
    EXPECT_EQ(stats.targets, 9);
    EXPECT_GE(stats.frames, 8);

    // Camera image: centred at the window height (factor height / 384), pupil highlighted.
    const Pixels *camera = shots.find("camera");
    ASSERT_NE(camera, nullptr);
    const int drawn_w = height * 384 / 384, drawn_h = height * 320 / 384;
    const SDL_Rect image{(width - drawn_w) / 2, (height - drawn_h) / 2, drawn_w, drawn_h};
    EXPECT_GT(count_in(*camera, image, [](uint32_t p) { return p == kPupilHighlight; }), 1000);
    EXPECT_EQ(camera->at(image.x - 4, height / 2), kBackground) << "left of the image";
    // The keypad's MODE 1 menu at the top left, the camera view's title under the image.
    EXPECT_GT(count_in(*camera, SDL_Rect{10, 10, image.x - 10, image.y - 10}, dark), 60)
        << "menu text";
    EXPECT_GT(count_in(*camera, SDL_Rect{image.x, image.y + image.h + 8, 400, 30}, dark), 30)
        << "title under the image";

    // Zoom step 1 makes the image 1.3 times as large: it now covers the former margin.
    const Pixels *zoomed = shots.find("zoom 1");
    ASSERT_NE(zoomed, nullptr);
    EXPECT_NE(zoomed->at(image.x - 4, height / 2), kBackground);

    // The second target of the nine-point grid, its ring where the grid puts it.
    const int dx = int(float(width) * 0.8f / 2), dy = int(float(height) * 0.8f / 2);
    const int x = width / 2 - dx, y = height / 2 - dy;
    const Pixels *target = shots.find("target " + std::to_string(x) + "," + std::to_string(y));
    ASSERT_NE(target, nullptr);
    expect_ring_at(*target, x, y);

    // Screens in order: setup, image on and off, setup again, the calibration, setup, end.
    const std::vector<std::pair<int, int>> screens = screens_in_trace();
    const std::vector<std::pair<int, int>> expected{{1, 2},  {4, 3},  {8, 3}, {1, 2},
                                                    {1, 11}, {2, 11}, {1, 2}, {2, 2}};
    EXPECT_EQ(screens, expected);
}

TEST_F(EndToEnd, KeypadAcceptsEveryTargetWithQuickTaps) {
    // Targets wait for the operator; each key is a tap whose press and release reach the key
    // hook together, and the display flags stay 0 throughout the calibration.
    SimTrackerSettings s;
    simtracker_default_settings(&s);
    s.fixation_ms = 0;
    s.target_gap_ms = 100;
    s.time_limit_ms = 30000;
    ASSERT_EQ(simtracker_configure(&s), 0);
    ASSERT_EQ(enable_external_calibration_device(2, nullptr, nullptr), 1);
    std::string script = "wait 100\nkey \"Keypad 4\" 0\n";  // NUM 4: Start Calibration
    for (int target = 0; target < 9; ++target)
        script += "wait targets 1\nkey \"Keypad 7\" 0\n";  // NUM 7: accept the target
    script += "wait mode 2\nkey \"Keypad 0\" 0\n";        // NUM 0: leave the setup
    ASSERT_GT(simtracker_load_script(script.c_str()), 0) << simtracker_last_error();
    ASSERT_EQ(simtracker_do_setup(), SIMTRACKER_DONE) << simtracker_last_error();
    const SimTrackerStats stats = simtracker_stats();
    EXPECT_EQ(stats.calibrations, 1);
    EXPECT_EQ(stats.targets, 9) << "every press of NUM 7 accepted a target";
    for (size_t i = 0; i < standin_hook_call_count(); ++i)
        ASSERT_EQ(standin_hook_call(i).display_flags & 0x12, 0) << "call " << i;
}

TEST_F(EndToEnd, ValidationDriftCorrectionAndASavedScreen) {
    shots.target_to_shoot = 2;
    ASSERT_EQ(simtracker_do_validation(3), SIMTRACKER_DONE) << simtracker_last_error();
    const int x = width / 2 + int(float(width) * 0.8f / 2), y = height / 2;
    const Pixels *target = shots.find("target " + std::to_string(x) + "," + std::to_string(y));
    ASSERT_NE(target, nullptr);
    expect_ring_at(*target, x, y);

    shots.target_to_shoot = 0;
    ASSERT_EQ(simtracker_do_drift_correction(200, 150), SIMTRACKER_DONE);
    ASSERT_NE(shots.find("target 200,150"), nullptr);
    expect_ring_at(*shots.find("target 200,150"), 200, 150);

    // The screen written through the library's image writer, decoded and compared.
    shots.target_to_shoot = -1;
    SDL_Renderer *renderer = SDL_GetRenderer(window);
    SDL_SetRenderDrawColor(renderer, 200, 30, 10, 255);
    const SDL_Rect corner{0, 0, 64, 32};
    SDL_RenderFillRect(renderer, &corner);
    const std::string path = vt_test::temp_dir() + "/screen.png";
    ASSERT_EQ(simtracker_save_screen(path.c_str(), 1), 0) << simtracker_last_error();
    FILE *file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    gdImagePtr png = gdImageCreateFromPng(file);
    std::fclose(file);
    ASSERT_NE(png, nullptr);
    const Pixels window_pixels = vt_test::read_window_pixels();
    EXPECT_EQ(gdImageSX(png), width);
    EXPECT_EQ(gdImageSY(png), height);
    const std::vector<std::pair<int, int>> points{
        {0, 0}, {63, 31}, {64, 0}, {0, 32}, {width - 1, height - 1}};
    for (const auto &[px, py] : points) {
        const int c = gdImageGetTrueColorPixel(png, px, py);
        EXPECT_EQ(rgba(uint8_t(gdTrueColorGetRed(c)), uint8_t(gdTrueColorGetGreen(c)),
                       uint8_t(gdTrueColorGetBlue(c))),
                  window_pixels.at(px, py))
            << px << "," << py;
    }
    gdImageDestroy(png);
}

TEST_F(EndToEnd, TheDemoRunsItsShortSessionHeadless) {
    const std::string out = vt_test::temp_dir();
    const std::string log = out + "/demo.log";
    const std::string program = fs::path(DEMO_PROGRAM).make_preferred().string();
    const std::string command = "\"" + program + "\" --short --out \"" + out +
                                "\" > \"" + log + "\" 2>&1";
    int status = -1;
    {
        // The demo inherits the drivers (and the dummy driver at that, whatever the tests use).
        const vt_test::EnvironmentOverride video("SDL_VIDEODRIVER", "dummy");
        const vt_test::EnvironmentOverride audio("SDL_AUDIODRIVER", "dummy");
        status = vt_test::run_command(command);
    }
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(status, 0) << text.str();
    EXPECT_NE(text.str().find("5 of 5 completed"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("saved-screen.png (through the image writer)"), std::string::npos);
    // The target sounds and the animated target's sound share the one output device.
    EXPECT_EQ(text.str().find("already open"), std::string::npos) << text.str();
    EXPECT_EQ(text.str().find("error occurs during audio play"), std::string::npos);
    EXPECT_TRUE(fs::exists(out + "/index.html"));
    int screenshots = 0;
    for (const auto &entry : fs::directory_iterator(out)) {
        if (entry.path().extension() != ".png") continue;
        FILE *file = std::fopen(entry.path().string().c_str(), "rb");
        ASSERT_NE(file, nullptr);
        gdImagePtr image = gdImageCreateFromPng(file);
        std::fclose(file);
        ASSERT_NE(image, nullptr) << entry.path();
        gdImageDestroy(image);
        ++screenshots;
    }
    EXPECT_GE(screenshots, 8) << "screenshots, the saved screen and the contact sheet";
    EXPECT_TRUE(fs::exists(out + "/index.png"));
}

}  // namespace
