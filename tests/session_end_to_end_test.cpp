// The simulated session end to end through the whole graphics library: the keypad steering the
// built-in menus from the camera image to a calibration, screenshots checked for the camera
// image, the menu text, the zoom and the target ring at its grid position, the hooks called in
// order, a screen saved through the image writer, and the demo program's own run, headless and
// in a window driven by real keys; and the library's own window on an X server without a
// window manager.
#include <gd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
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

// What a run of the demo program printed, and its exit status.
struct DemoRun {
    std::string out;  // the output folder
    std::string log;  // standard output and error
    int status = -1;
    bool printed(const std::string &text) const { return log.find(text) != std::string::npos; }
};

std::string read_file(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string demo_command(const std::string &arguments, const std::string &out) {
    const std::string program = fs::path(DEMO_PROGRAM).make_preferred().string();
    return "\"" + program + "\" " + arguments + " --out \"" + out + "\" > \"" + out +
           "/demo.log\" 2>&1";
}

// Runs the demo to its end with the video and audio drivers given.
DemoRun run_demo(const std::string &arguments, const std::string &video_driver,
                 const std::string &audio_driver = "dummy") {
    DemoRun run;
    run.out = vt_test::temp_dir();
    {
        const vt_test::EnvironmentOverride video("SDL_VIDEODRIVER", video_driver);
        const vt_test::EnvironmentOverride audio("SDL_AUDIODRIVER", audio_driver);
        run.status = vt_test::run_command(demo_command(arguments, run.out));
    }
    run.log = read_file(run.out + "/demo.log");
    return run;
}

// The PNG files of the output folder whose names start with a screenshot's number.
std::vector<std::string> numbered_screenshots(const std::string &out) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".png" && std::isdigit(static_cast<unsigned char>(name[0])))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

gdImagePtr read_png(const std::string &path) {
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    gdImagePtr image = gdImageCreateFromPng(file);
    std::fclose(file);
    return image;
}

// Every stage's screenshot is there, readable, and the animated target's shows the video (the
// demo's pinwheel is coloured where the background is grey) at the target's position.
void expect_stage_screenshots(const DemoRun &run, const std::vector<std::string> &stages) {
    const std::vector<std::string> names = numbered_screenshots(run.out);
    ASSERT_EQ(names.size(), stages.size()) << run.log;
    for (size_t i = 0; i < stages.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_NE(names[i].find(stages[i]), std::string::npos);
        gdImagePtr image = read_png(run.out + "/" + names[i]);
        ASSERT_NE(image, nullptr);
        if (stages[i] == "animated-target-at-") {
            int x = 0, y = 0;
            ASSERT_EQ(std::sscanf(names[i].c_str(), "%*d-animated-target-at-%d-%d", &x, &y), 2);
            int coloured = 0;
            for (int dy = -40; dy <= 40; ++dy)
                for (int dx = -40; dx <= 40; ++dx) {
                    const int c = gdImageGetTrueColorPixel(image, x + dx, y + dy);
                    const int r = gdTrueColorGetRed(c), g = gdTrueColorGetGreen(c),
                              b = gdTrueColorGetBlue(c);
                    coloured += std::max({r, g, b}) - std::min({r, g, b}) > 60;
                }
            EXPECT_GT(coloured, 1000) << "the pinwheel around the target";
        }
        gdImageDestroy(image);
    }
    EXPECT_TRUE(fs::exists(run.out + "/index.html"));
    EXPECT_TRUE(fs::exists(run.out + "/index.png"));
}

const std::vector<std::string> kShortSessionShots = {
    "camera-image",           "camera-image-zoom-step-1", "3-point-calibration-target-at-",
    "3-point-validation-target-at-", "drift-correction-target-at-", "animated-target-at-"};

TEST_F(EndToEnd, TheDemoRunsItsShortSessionHeadless) {
    // The demo inherits the drivers (and the dummy driver at that, whatever the tests use).
    const DemoRun run = run_demo("--short", "dummy");
    EXPECT_EQ(run.status, 0) << run.log;
    EXPECT_TRUE(run.printed("5 of 5 completed")) << run.log;
    EXPECT_TRUE(run.printed("saved-screen.png (through the image writer)"));
    // The target sounds and the animated target's sound share the one output device.
    EXPECT_FALSE(run.printed("already open")) << run.log;
    EXPECT_FALSE(run.printed("error occurs during audio play"));
    expect_stage_screenshots(run, kShortSessionShots);
    gdImagePtr saved = read_png(run.out + "/saved-screen.png");
    EXPECT_NE(saved, nullptr);
    if (saved) gdImageDestroy(saved);
}

TEST_F(EndToEnd, WithoutASoundDeviceTheDemoSaysSoOnceAndCountsNoSoundAsHeard) {
    if (!vt_test::sound_output_heard_through_sdl())
        GTEST_SKIP() << "the library plays through SDL's sound drivers on Linux only";
    // ALSA with a default device on a card that is not there, as on a desktop without sound.
    const std::string config = vt_test::temp_dir() + "/no-card.conf";
    std::ofstream(config) << "pcm.!default { type hw card 99 }\n";
    const vt_test::EnvironmentOverride alsa("ALSA_CONFIG_PATH", config);
    const vt_test::EnvironmentOverride echo("VT_CORE_ECHO", "1");  // the core log to stderr
    const DemoRun run = run_demo("--short", "dummy", "alsa");
    EXPECT_EQ(run.status, 0) << run.log;
    size_t said = 0;
    for (size_t at = 0; (at = run.log.find("no sound device:", at)) != std::string::npos; ++at)
        ++said;
    EXPECT_EQ(said, 1u) << run.log;
    EXPECT_FALSE(run.printed("ALSA lib")) << "ALSA's own messages stay off the console";
    EXPECT_FALSE(run.printed("audio output:")) << run.log;
    EXPECT_TRUE(run.printed("Sounds played:  0 target, 0 done, 0 error")) << run.log;
    EXPECT_TRUE(run.printed("Not heard:      10 target, 3 done, 1 error (no sound device)"))
        << run.log;
    EXPECT_TRUE(run.printed("5 of 5 completed")) << run.log;
}

// The demo in a window of an X server of the test's own (tests/support/with_xvfb.sh names it
// in VT_TEST_DISPLAY), on the OpenGL renderer the server gives.
class DemoWindow : public ::testing::Test {
protected:
    void SetUp() override {
        const char *display = std::getenv("VT_TEST_DISPLAY");
        if (!display) GTEST_SKIP() << "no X server: run through tests/support/with_xvfb.sh";
        display_.emplace("DISPLAY", display);
    }
    std::optional<vt_test::EnvironmentOverride> display_;
};

TEST_F(DemoWindow, TheScriptedSessionLeavesEveryStagesScreenshot) {
    const DemoRun run = run_demo("--window --auto --short", vt_test::window_video_driver());
    EXPECT_EQ(run.status, 0) << run.log;
    EXPECT_TRUE(run.printed(std::string("renderer ") + vt_test::window_renderer())) << run.log;
    EXPECT_TRUE(run.printed("5 of 5 completed")) << run.log;
    EXPECT_FALSE(run.printed("screenshot failed")) << run.log;
    expect_stage_screenshots(run, kShortSessionShots);
}

// Waits up to seconds for text in the file at path; the file's text at the end.
std::string wait_for(const std::string &path, const std::string &text, int seconds) {
    std::string found;
    for (int i = 0; i < seconds * 10; ++i) {
        found = read_file(path);
        if (found.find(text) != std::string::npos) break;
        SDL_Delay(100);
    }
    return found;
}

TEST_F(DemoWindow, RealKeysSteerTheInteractiveSession) {
    if (!vt_test::host_program_installed("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    const std::string out = vt_test::temp_dir();
    const std::string log = out + "/demo.log";
    {
        const vt_test::EnvironmentOverride video("SDL_VIDEODRIVER", vt_test::window_video_driver());
        const vt_test::EnvironmentOverride audio("SDL_AUDIODRIVER", "dummy");
        // In the background, and ended should the keys not arrive.
        ASSERT_TRUE(vt_test::start_command(demo_command("--window --short", out), 120));
    }
    ASSERT_NE(wait_for(log, "Camera setup", 60).find("Camera setup"), std::string::npos);
    // Enter shows the camera image; Escape, once its screenshot is taken, leaves the setup;
    // the targets are then accepted by the simulated fixations. The keys go to the window
    // that has the focus, as a participant's do.
    ASSERT_EQ(vt_test::run_host_program("xdotool", "search --sync --name \"Vistrak demo session\" "
                                                   "windowfocus --sync key Return"),
              0);
    ASSERT_NE(wait_for(log, "screenshot 01-", 30).find("screenshot 01-"), std::string::npos);
    ASSERT_EQ(vt_test::run_host_program("xdotool", "key Escape"), 0);
    DemoRun run;
    run.out = out;
    run.log = wait_for(log, "index.html to see", 120);
    EXPECT_TRUE(run.printed("interactive keys")) << run.log;
    EXPECT_TRUE(run.printed("key Enter")) << run.log;
    EXPECT_TRUE(run.printed("5 of 5 completed")) << run.log;
    expect_stage_screenshots(run, {"camera-image-with-the-device-menu",
                                   "3-point-calibration-target-at-",
                                   "3-point-validation-target-at-",
                                   "drift-correction-target-at-", "animated-target-at-"});
}

// The X server's words on a window (xwininfo: a "Name: value" line each) or on the pointer
// (xdotool: "name:value" words), read from the host program's output.
std::map<std::string, int> host_report(const std::string &command) {
    const std::string file = vt_test::temp_dir() + "/report.txt";
    std::map<std::string, int> values;
    if (vt_test::run_host_script(command + " > '" + vt_test::host_file_path(file) + "'") != 0)
        return values;
    std::istringstream lines(read_file(file));
    for (std::string line; std::getline(lines, line);) {
        if (const size_t colon = line.find(": "); colon != std::string::npos) {
            const size_t start = line.find_first_not_of(' ');
            values[line.substr(start, colon - start)] = std::atoi(line.c_str() + colon + 2);
            continue;
        }
        std::istringstream words(line);
        for (std::string word; words >> word;)
            if (const size_t colon = word.find(':'); colon != std::string::npos)
                values[word.substr(0, colon)] = std::atoi(word.c_str() + colon + 1);
    }
    return values;
}

// In this process, as a lab's program on a kiosk PC (an X server without a window manager):
// a window opened without display information fills the screen by the server's own account;
// keys typed with Shift or Ctrl reach the core library with their modifiers; the camera image
// puts the pointer in the middle of an adopted window away from the screen's origin.
TEST_F(DemoWindow, AKioskWindowFillsTheScreenTakesShiftedKeysAndKeepsThePointerInside) {
    if (!vt_test::host_program_installed("xdotool") || !vt_test::host_program_installed("xwininfo"))
        GTEST_SKIP() << "xdotool and xwininfo are not installed";
    const vt_test::EnvironmentOverride video("SDL_VIDEODRIVER", vt_test::window_video_driver());
    ASSERT_EQ(init_expt_window(nullptr, nullptr), 0);
    SDL_DisplayMode desktop{};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    // The window under the screen's middle, which a 1 x 1 window would be too, by the X
    // server's account. Under Wine the window is Wine's, made at the size Windows asks.
    if (std::strcmp(vt_test::window_video_driver(), "x11") == 0) {
        const std::map<std::string, int> under = host_report(
            "xdotool mousemove " + std::to_string(desktop.w / 2) + " " +
            std::to_string(desktop.h / 2) + " sleep 0.2 getmouselocation");
        ASSERT_NE(under.count("window"), 0u);
        const std::map<std::string, int> shown =
            host_report("xwininfo -id " + std::to_string(under.at("window")));
        EXPECT_EQ(shown.count("Width") ? shown.at("Width") : 0, desktop.w)
            << "not the 1 x 1 window of a 0 x 0 request";
        EXPECT_EQ(shown.count("Height") ? shown.at("Height") : 0, desktop.h);
    }

    const DisplayHooks hooks = standin_installed_hooks();
    KeyInput key{};
    hooks.read_key_hook(&key);  // what came before
    const struct {
        const char *typed;
        uint16_t modifier;
    } chords[] = {{"shift+c", KMOD_SHIFT}, {"ctrl+c", KMOD_CTRL}, {"c", 0}};
    for (const auto &chord : chords) {
        SCOPED_TRACE(chord.typed);
        ASSERT_EQ(vt_test::run_host_script(std::string("xdotool key ") + chord.typed), 0);
        SDL_Delay(300);  // the server hands the keys on; all of them before the next poll
        key = KeyInput{};
        ASSERT_EQ(hooks.read_key_hook(&key), 1) << "the key, not the modifier pressed before it";
        EXPECT_EQ(key.key, 'c');
        EXPECT_EQ((key.modifier & KMOD_SHIFT) != 0, chord.modifier == KMOD_SHIFT);
        EXPECT_EQ((key.modifier & KMOD_CTRL) != 0, chord.modifier == KMOD_CTRL);
    }

    // A window of the application's own, away from the origin.
    SDL_Window *adopted = SDL_CreateWindow("vt adopted window", 300, 200, 400, 300, 0);
    ASSERT_NE(adopted, nullptr) << SDL_GetError();
    ASSERT_NE(SDL_CreateRenderer(adopted, -1, 0), nullptr) << SDL_GetError();
    SDL_Window *slot = adopted;
    ASSERT_EQ(init_expt_window(&slot, nullptr), 0);
    const std::map<std::string, int> shown = host_report("xwininfo -name 'vt adopted window'");
    hooks.begin_image_hook();
    SDL_Delay(300);
    const std::map<std::string, int> pointer = host_report("xdotool getmouselocation");
    ASSERT_TRUE(pointer.count("x") && shown.count("Absolute upper-left X"));
    EXPECT_NEAR(pointer.at("x"), shown.at("Absolute upper-left X") + 200, 2)
        << "the window's centre";
    EXPECT_NEAR(pointer.at("y"), shown.at("Absolute upper-left Y") + 150, 2);
    hooks.end_image_hook();
    close_expt_graphics();
}

}  // namespace
