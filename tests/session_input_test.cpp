// The simulated tracker's input script (parsing, key events in the SDL queue, buttons for the
// scripted device, waits and marks) and its screen saving through the image writer.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "session_test_hooks.h"
#include "test_support.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using session_test::received;
using session_test::step_until;

std::vector<SDL_KeyboardEvent> take_key_events() {
    SDL_PumpEvents();
    std::vector<SDL_Event> events(64);
    const int n =
        SDL_PeepEvents(events.data(), int(events.size()), SDL_GETEVENT, SDL_KEYDOWN, SDL_KEYUP);
    std::vector<SDL_KeyboardEvent> keys;
    for (int i = 0; i < n; ++i) keys.push_back(events[size_t(i)].key);
    return keys;
}

std::string error() { return simtracker_last_error(); }

using Input = session_test::TrackerTest;

TEST_F(Input, MalformedScriptsAreRefusedWithTheLineNamed) {
    ASSERT_EQ(simtracker_load_script("# a comment\n\n   wait 1000\nkey z\n"), 2);
    const std::vector<std::pair<std::string, std::string>> bad{
        {"wait 100\njump 3\n", "line 2: unknown command 'jump'"},
        {"key NoSuchKey\n", "line 1: unknown key name 'NoSuchKey'"},
        {"key \"Keypad 7\n", "unterminated quote"},
        {"wait -1\n", "milliseconds"},
        {"wait 600001\n", "milliseconds"},
        {"wait 12abc\n", "milliseconds"},
        {"wait frames 0\n", "count"},
        {"wait mode 70000\n", "mode code"},
        {"wait banana 3\n", "'wait' takes"},
        {"wait\n", "'wait' takes"},
        {"button 0\n", "button number"},
        {"button 256\n", "button number"},
        {"key z 10001\n", "hold time"},
        {"key\n", "'key' takes"},
        {"key z 1 2 3\n", "'key' takes"},
        {"key z 1 0\n", "count"},
        {"button 2 1 1001\n", "count"},
    };
    for (const auto &[text, message] : bad) {
        EXPECT_EQ(simtracker_load_script(text.c_str()), -1) << text;
        EXPECT_NE(error().find(message), std::string::npos) << text << " gave: " << error();
    }
    EXPECT_EQ(simtracker_load_script(nullptr), -1);
    EXPECT_NE(error().find("no input script"), std::string::npos);
    EXPECT_EQ(simtracker_load_script("/nonexistent/script.txt"), -1);
    EXPECT_NE(error().find("cannot read input script '/nonexistent/script.txt'"),
              std::string::npos);
    EXPECT_EQ(simtracker_load_script(vt_test::temp_dir().c_str()), -1) << "a folder";
    const std::string large = vt_test::temp_dir() + "/large.txt";
    std::ofstream(large) << std::string((1 << 20) + 1, '#');
    EXPECT_EQ(simtracker_load_script(large.c_str()), -1);
    EXPECT_NE(error().find("larger than 1 MiB"), std::string::npos) << error();
    EXPECT_EQ(simtracker_script_pending(), 2) << "the earlier script stays";

    const std::string path = vt_test::temp_dir() + "/script.txt";
    std::ofstream(path) << "wait 5\r\nkey Return\r\nmark done\r\n";
    EXPECT_EQ(simtracker_load_script(path.c_str()), 3) << error();
    EXPECT_EQ(error(), "");
}

TEST_F(Input, KeyPressesArePushedIntoTheSdlQueueForTheWindow) {
    ASSERT_EQ(simtracker_load_script("key z 30\nkey \"Keypad 7\" 0\nkey Escape\n"), 3);
    simtracker_step();
    std::vector<SDL_KeyboardEvent> keys = take_key_events();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].type, uint32_t(SDL_KEYDOWN));
    EXPECT_EQ(keys[0].keysym.scancode, SDL_SCANCODE_Z);
    EXPECT_EQ(keys[0].keysym.sym, SDLK_z);
    EXPECT_EQ(keys[0].windowID, SDL_GetWindowID(window));
    EXPECT_EQ(keys[0].state, SDL_PRESSED);
    EXPECT_EQ(keys[0].repeat, 0);

    simtracker_step();
    EXPECT_TRUE(take_key_events().empty()) << "z is held for 30 ms";
    SDL_Delay(35);
    simtracker_step();
    keys = take_key_events();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].type, uint32_t(SDL_KEYUP));
    EXPECT_EQ(keys[0].state, SDL_RELEASED);
    EXPECT_EQ(keys[0].keysym.scancode, SDL_SCANCODE_Z);
    EXPECT_EQ(keys[1].keysym.sym, SDLK_KP_7);
    EXPECT_EQ(keys[1].keysym.scancode, SDL_SCANCODE_KP_7);
    EXPECT_EQ(keys[2].type, uint32_t(SDL_KEYUP)) << "a hold of 0 releases at once";
    EXPECT_EQ(keys[3].keysym.sym, SDLK_ESCAPE);
    EXPECT_EQ(simtracker_script_pending(), 1) << "Escape is still held";
    EXPECT_EQ(simtracker_stats().script_events, 3);

    // Clearing the script releases the held key.
    simtracker_clear_script();
    keys = take_key_events();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].type, uint32_t(SDL_KEYUP));
    EXPECT_EQ(keys[0].keysym.sym, SDLK_ESCAPE);
    EXPECT_EQ(simtracker_script_pending(), 0);

    // A count repeats the press, each released before the next.
    ASSERT_EQ(simtracker_load_script("key Down 0 3\n"), 3);
    simtracker_step();
    keys = take_key_events();
    ASSERT_EQ(keys.size(), 6u);
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].type, uint32_t(i % 2 ? SDL_KEYUP : SDL_KEYDOWN)) << i;
        EXPECT_EQ(keys[i].keysym.sym, SDLK_DOWN);
    }
}

TEST_F(Input, WaitsForTrackerModeFramesAndTargets) {
    static std::vector<std::string> marks;
    static int targets_at_mark = 0;
    marks.clear();
    simtracker_set_observer(
        [](const SimTrackerEvent *event, void *) {
            if (event->kind != SIMTRACKER_MARK) return;
            marks.emplace_back(event->text);
            targets_at_mark = simtracker_stats().targets;
        },
        nullptr);
    ASSERT_EQ(simtracker_load_script("wait mode 3\nmark image\nwait frames 3\nmark three frames\n"
                                     "wait mode 11\nkey x 0\nwait targets 2\nmark two targets\n"),
              8);
    ASSERT_EQ(simtracker_start_setup(), 0);
    for (int i = 0; i < 5; ++i) simtracker_step();
    EXPECT_TRUE(marks.empty());
    simtracker_handle_key(13);
    simtracker_step();
    ASSERT_EQ(marks, std::vector<std::string>{"image"});
    ASSERT_TRUE(step_until([] { return received().frames == 2; }));
    EXPECT_EQ(marks.size(), 1u);
    ASSERT_TRUE(step_until([] { return marks.size() == 2; }));
    EXPECT_EQ(marks.back(), "three frames");
    EXPECT_GE(received().frames, 3);

    for (int i = 0; i < 5; ++i) simtracker_step();
    EXPECT_TRUE(take_key_events().empty()) << "waits for calibration mode";
    simtracker_handle_key('c');
    simtracker_step();
    EXPECT_EQ(take_key_events().size(), 2u);
    ASSERT_TRUE(step_until([] { return marks.size() == 3; }));
    EXPECT_EQ(marks.back(), "two targets");
    EXPECT_EQ(targets_at_mark, 2);
    EXPECT_EQ(simtracker_script_pending(), 0);
}

TEST_F(Input, AnObserverMayLoadTheNextScriptAtAMark) {
    static int loaded = 0;
    loaded = 0;
    simtracker_set_observer(
        [](const SimTrackerEvent *event, void *) {
            if (event->kind == SIMTRACKER_MARK && std::strcmp(event->text, "next") == 0)
                loaded = simtracker_load_script("key q 0\n");
        },
        nullptr);
    ASSERT_EQ(simtracker_load_script("mark next\nkey w 0\n"), 2);
    simtracker_step();
    simtracker_step();
    EXPECT_EQ(loaded, 1);
    const std::vector<SDL_KeyboardEvent> keys = take_key_events();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].keysym.sym, SDLK_q) << "the new script runs; the old one is gone";
}

TEST_F(Input, ButtonsReachTheScriptedDevice) {
    DeviceButtons buttons{};
    EXPECT_EQ(simtracker_device_callback(nullptr), -1);
    EXPECT_EQ(simtracker_device_callback(&buttons), 1) << "a cleared script reports all up";
    EXPECT_EQ(simtracker_device_callback(&buttons), 0);

    ASSERT_EQ(simtracker_load_script("button 3 20\nbutton 255 0\n"), 2);
    simtracker_step();
    std::memset(buttons.states, 7, sizeof buttons.states);
    EXPECT_EQ(simtracker_device_callback(&buttons), 1);
    EXPECT_EQ(buttons.states[2], 1) << "button 3";
    EXPECT_EQ(buttons.states[0], 0);
    EXPECT_EQ(buttons.states[254], 0);
    EXPECT_EQ(simtracker_device_callback(&buttons), 0) << "nothing new";

    SDL_Delay(25);
    simtracker_step();
    EXPECT_EQ(simtracker_device_callback(&buttons), 1);
    EXPECT_EQ(buttons.states[2], 0) << "released after its hold";
    EXPECT_EQ(buttons.states[254], 0) << "button 255 was pressed and released in one step";
    EXPECT_EQ(simtracker_stats().script_events, 2);
    EXPECT_TRUE(take_key_events().empty()) << "buttons never become key events";
}

// The image writer's view of the last bitmap it was given.
struct Written {
    std::string path;
    int32_t format = -1;
    CoreBitmap bitmap{};
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> reserved;
    int32_t answer = 0;
};
Written written;

int32_t test_writer(const char *path, int32_t format, const CoreBitmap *bitmap) {
    written.path = path;
    written.format = format;
    written.bitmap = *bitmap;
    const auto *bytes = static_cast<const uint8_t *>(bitmap->pixels);
    written.pixels.assign(bytes, bytes + size_t(bitmap->pitch) * size_t(bitmap->height));
    const auto *reserved = static_cast<const uint8_t *>(bitmap->reserved);
    written.reserved.assign(reserved, reserved + 32);
    return written.answer;
}

TEST_F(Input, ScreenIsSavedThroughTheImageWriterAsTopDownBgrx) {
    SDL_Renderer *renderer = SDL_GetRenderer(window);
    SDL_SetRenderDrawColor(renderer, 10, 20, 200, 255);
    SDL_RenderClear(renderer);
    SDL_SetRenderDrawColor(renderer, 250, 10, 20, 255);
    const SDL_Rect corner{0, 0, 100, 50};
    SDL_RenderFillRect(renderer, &corner);
    SDL_SetRenderDrawColor(renderer, 0, 255, 0, 255);
    SDL_RenderDrawPoint(renderer, width - 1, height - 1);

    const ImageWriter library_writer = standin_image_writer();
    written = Written{};
    core_install_image_writer(test_writer, 0);
    ASSERT_EQ(simtracker_save_screen("/tmp/screen.png", 1), 0) << error();
    EXPECT_EQ(written.path, "/tmp/screen.png");
    EXPECT_EQ(written.format, 1);
    EXPECT_EQ(written.bitmap.width, width);
    EXPECT_EQ(written.bitmap.height, height);
    EXPECT_EQ(written.bitmap.depth, 32);
    ASSERT_EQ(written.bitmap.pitch, width * 4);
    auto bgr = [&](int x, int y) {
        const uint8_t *p = &written.pixels[size_t(y) * size_t(width * 4) + size_t(x) * 4];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(bgr(0, 0), (std::vector<int>{20, 10, 250})) << "red corner, top-left";
    EXPECT_EQ(bgr(99, 49), (std::vector<int>{20, 10, 250}));
    EXPECT_EQ(bgr(100, 0), (std::vector<int>{200, 20, 10}));
    EXPECT_EQ(bgr(0, height - 1), (std::vector<int>{200, 20, 10})) << "rows run top-down";
    EXPECT_EQ(bgr(width - 1, height - 1), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(written.reserved, std::vector<uint8_t>(32, 0));
    EXPECT_EQ(simtracker_stats().screens_saved, 1);

    // A writer that fails: its result comes back, with the path named.
    written.answer = -1;
    EXPECT_EQ(simtracker_save_screen("/tmp/unwritable/screen.png", 0), -1);
    EXPECT_NE(error().find("'/tmp/unwritable/screen.png'"), std::string::npos) << error();
    EXPECT_EQ(simtracker_stats().screens_saved, 1);

    EXPECT_EQ(simtracker_save_screen(nullptr, 1), -1);
    EXPECT_EQ(simtracker_save_screen("", 1), -1);
    core_install_image_writer(nullptr, 0);
    EXPECT_EQ(simtracker_save_screen("/tmp/screen.png", 1), -1);
    EXPECT_NE(error().find("no image writer"), std::string::npos);
    core_install_image_writer(test_writer, 0);
    simtracker_attach_window(nullptr);
    EXPECT_EQ(simtracker_save_screen("/tmp/screen.png", 1), -1);
    EXPECT_NE(error().find("no experiment window"), std::string::npos);
    core_install_image_writer(library_writer, 0);
}

}  // namespace
