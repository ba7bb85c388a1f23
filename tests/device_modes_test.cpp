// Device modes: switching devices on and off, the setup mode following the tracker, the menu
// text, the keypad's set-1 numbering, and button presses travelling through the built-in
// menus to the core library's key poll, from the keypad and from a simulated box.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "device/commport.h"
#include "device/device_state.h"
#include "device/setup_script.h"
#include "frame/display_hooks.h"
#include "input/key_translation.h"
#include "simulated_box.h"
#include "test_support.h"
#include "vistrak_core64_control.h"

namespace {

using vt_test::SerialPortsOverride;
using vt_test::SimulatedBox;

constexpr uint16_t kEnter = 13, kBackspace = 8, kEscape = 27;

// The key poll the core library calls.
int16_t core_key_poll(KeyInput &key) { return standin_installed_hooks().read_key_hook(&key); }

// Keys the core library gets from its polls until one returns nothing.
std::vector<uint16_t> polled_keys() {
    std::vector<uint16_t> keys;
    KeyInput key{};
    while (core_key_poll(key) == 1) {
        EXPECT_EQ(key.type, 1);
        EXPECT_EQ(key.state, 1);
        EXPECT_EQ(key.modifier, 0);
        keys.push_back(key.key);
        key = KeyInput{};
    }
    return keys;
}

void push_key(Uint32 type, SDL_Scancode scancode) {
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}
void press(SDL_Scancode scancode) { push_key(SDL_KEYDOWN, scancode); }
void release(SDL_Scancode scancode) { push_key(SDL_KEYUP, scancode); }

// The keys polls return, less the keyboard's own codes of the keys in own (the keys the key
// hook itself hands over when it takes their presses): what the device's buttons produced.
std::vector<uint16_t> device_keys(std::initializer_list<SDL_Scancode> own) {
    std::vector<uint16_t> keys = polled_keys();
    for (SDL_Scancode scancode : own) {
        const auto at = std::find(keys.begin(), keys.end(),
                                  translate_key(SDL_GetKeyFromScancode(scancode)));
        if (at != keys.end()) keys.erase(at);
    }
    return keys;
}

// A keypad key pressed and released through SDL's event queue, a poll after each, with the keys
// the device produced.
std::vector<uint16_t> tap(SDL_Scancode scancode) {
    press(scancode);
    std::vector<uint16_t> keys = device_keys({scancode});
    release(scancode);
    EXPECT_TRUE(polled_keys().empty()) << "a release produces nothing";
    return keys;
}

// Polls the core library's way until done() holds, for reports still on the wire.
std::vector<uint16_t> poll_until(const std::function<bool(const std::vector<uint16_t> &)> &done) {
    std::vector<uint16_t> keys;
    for (int i = 0; i < 400 && !done(keys); ++i) {
        const std::vector<uint16_t> more = polled_keys();
        keys.insert(keys.end(), more.begin(), more.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return keys;
}

// A press and a release of box key k (1 to 7), each with the box's time bytes. Every button
// is up after it: no other button was seen in the time bytes.
std::vector<uint16_t> box_tap(SimulatedBox &box, int k, size_t keys_expected,
                              int32_t mode_expected) {
    box.send(box.key_report(k, true));
    std::vector<uint16_t> keys = poll_until([&](const std::vector<uint16_t> &got) {
        return got.size() >= keys_expected && current_setup_mode == mode_expected &&
               device_buttons.states[k - 1] == 1;
    });
    box.send(box.key_report(k, false));
    poll_until([&](const std::vector<uint16_t> &) { return device_buttons.states[k - 1] == 0; });
    for (int button = 1; button <= 7; ++button)
        EXPECT_EQ(device_buttons.states[button - 1], 0) << "button " << button;
    return keys;
}

std::vector<uint16_t> keys(std::initializer_list<uint16_t> list) { return list; }

// The menu as the status text shows it: the mode brought up to date with the tracker first.
const char *menu_now() {
    update_setup_mode();
    return current_menu_text();
}

DeviceButtons *seen_record = nullptr;
void *seen_user_data = nullptr;
int32_t application_device(DeviceButtons *record) {
    seen_record = record;
    seen_user_data = record->user_data;
    record->states[0] = 1;  // MODE C: button 1 accepts
    record->states[1] = 1;  // button 2 redoes
    return 1;
}
int32_t failing_device(DeviceButtons *) { return -5; }

class DeviceModes : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        standin_reset();
        standin_set_skip_sleep(1);
    }
    void TearDown() override {
        enable_external_calibration_device(0, nullptr, nullptr);
        standin_set_skip_sleep(0);
    }
};

TEST_F(DeviceModes, SwitchingOffClearsTheMenus) {
    ASSERT_EQ(enable_external_calibration_device(2, nullptr, nullptr), 1);
    standin_set_tracker_mode(VT_MODE_SETUP);
    EXPECT_STRNE(menu_now(), "");
    set_image_menu_mode(1);
    EXPECT_EQ(enable_external_calibration_device(0, nullptr, nullptr), 1);
    EXPECT_EQ(device_callback, nullptr);
    EXPECT_EQ(setup_mode_count, 0);
    EXPECT_EQ(setup_modes[4].text[0], '\0');
    EXPECT_EQ(current_setup_mode, 4) << "switching off leaves the mode";
    EXPECT_STREQ(menu_now(), "");
}

TEST_F(DeviceModes, KeypadUsesItsBuiltInScriptAndNoPort) {
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(box.path());
    // Pressed before the keypad is on: it does not act.
    press(SDL_SCANCODE_KP_7);
    EXPECT_EQ(polled_keys(), keys({95}));
    set_image_menu_mode(0);
    const std::string out = vt_test::capture_stdout(
        [] { EXPECT_EQ(enable_external_calibration_device(2, nullptr, nullptr), 1); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(setup_mode_count, 8);
    EXPECT_EQ(setup_modes[4].buttons[0].number, 71);
    EXPECT_EQ(current_setup_mode, 4);
    DeviceButtons record{};
    EXPECT_EQ(keypad_device_callback(&record), 0);
    release(SDL_SCANCODE_KP_7);
    EXPECT_TRUE(polled_keys().empty()) << "its release changes nothing";
    EXPECT_EQ(com_handle, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(box.received(), "") << "no port was probed";
}

TEST_F(DeviceModes, ButtonBoxMissingAfterTwoSearches) {
    SerialPortsOverride ports(",");  // no ports (Windows cannot hold an empty value)
    const std::string out = vt_test::capture_stdout(
        [] { EXPECT_EQ(enable_external_calibration_device(1, nullptr, nullptr), 0); });
    EXPECT_EQ(out, "") << "a missing box prints no load message";
    EXPECT_EQ(standin_calls().sleep, 1);
    EXPECT_EQ(standin_calls().last_sleep_ms, 3000u);
    EXPECT_EQ(device_callback, nullptr);
    EXPECT_EQ(setup_mode_count, 0);
    EXPECT_EQ(current_setup_mode, 0);
    standin_set_tracker_mode(6);
    EXPECT_STREQ(menu_now(), "");
}

TEST_F(DeviceModes, UnusableScriptsAreReportedWithoutSearching) {
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(box.path());
    const std::string missing = vt_test::temp_dir() + "/missing.ini";
    std::string out = vt_test::capture_stdout([&] {
        EXPECT_EQ(enable_external_calibration_device(1, missing.c_str(), nullptr), 0);
    });
    EXPECT_EQ(out, "Failed to load ini (ERR=0) " + missing + "\n");
    const char *no_v = "[MODE C]\nBUTTON 1 EXIT\n[MODE D]\nBUTTON 1 EXIT\n";
    out = vt_test::capture_stdout(
        [&] { EXPECT_EQ(enable_external_calibration_device(1, no_v, nullptr), 0); });
    EXPECT_EQ(out, std::string("Failed to load ini (ERR=-2) ") + no_v + "\n");
    EXPECT_EQ(standin_calls().sleep, 0);
    EXPECT_EQ(box.received(), "");
    EXPECT_EQ(device_callback, nullptr);
}

TEST_F(DeviceModes, ApplicationCallbackGetsItsData) {
    int token = 0;
    ASSERT_EQ(enable_external_calibration_device(reinterpret_cast<uintptr_t>(application_device),
                                                 nullptr, &token),
              1);
    EXPECT_EQ(setup_modes[4].buttons[0].number, 1) << "the button box's script";
    standin_set_tracker_mode(VT_MODE_CALIBRATION);
    EXPECT_EQ(polled_keys(), keys({kEnter, kBackspace})) << "two presses in one poll, both kept";
    EXPECT_EQ(seen_record, &device_buttons);
    EXPECT_EQ(seen_user_data, &token);

    ASSERT_EQ(enable_external_calibration_device(reinterpret_cast<uintptr_t>(failing_device),
                                                 nullptr, nullptr),
              1);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(polled_keys().empty());
    EXPECT_EQ(standin_log_matches("device_poll_key: the device reports error -5"), 1u);
}

TEST_F(DeviceModes, SetupModeFollowsTheTracker) {
    ASSERT_EQ(enable_external_calibration_device(2, nullptr, nullptr), 1);
    const std::vector<std::pair<uint16_t, int32_t>> steps = {
        {2, 4}, {11, 0}, {2, 4}, {12, 1}, {3, 4}, {13, 2}, {7, 2}, {2, 4}, {0x100 | 11, 4}};
    for (const auto &[code, mode] : steps) {
        standin_set_tracker_mode(code);
        update_setup_mode();
        EXPECT_EQ(current_setup_mode, mode) << "tracker code " << code;
    }
    current_setup_mode = kModeA;
    for (const auto &[code, mode] : std::vector<std::pair<uint16_t, int32_t>>{
             {11, kModeA}, {12, kModeA}, {13, kModeD}}) {
        standin_set_tracker_mode(code);
        update_setup_mode();
        EXPECT_EQ(current_setup_mode, mode) << "from MODE A, tracker code " << code;
    }
    set_image_menu_mode(1);
    EXPECT_EQ(current_setup_mode, 4);
    current_setup_mode = 6;
    set_image_menu_mode(1);
    EXPECT_EQ(current_setup_mode, 6) << "a numbered mode stays";
    set_image_menu_mode(0);
    EXPECT_EQ(current_setup_mode, 0);
}

TEST_F(DeviceModes, MenuTextNeedsANumberedModeAndTrackerBit2) {
    const char *script =
        "[MODE C]\nBUTTON 1 ACCEPT_TARGET\n[MODE V]\nBUTTON 1 EXIT\n[MODE D]\nBUTTON 1 EXIT\n"
        "[MODE A]\nTEXT_LINE \"Accept: 1\"\nBUTTON 1 ACCEPT_TARGET\n"
        "[MODE 1]\nTEXT_LINE \"Menu 100%\"\nBUTTON 1 GOTO_MODE 2\n"
        "[MODE 2]\nTEXT_LINE \"Second\"\nBUTTON 1 GOTO_MODE 1\n";
    ASSERT_EQ(enable_external_calibration_device(2, script, nullptr), 1);
    standin_set_tracker_mode(VT_MODE_SETUP);
    EXPECT_STREQ(menu_now(), "Menu 100%\n");
    current_setup_mode = 5;
    standin_set_tracker_mode(6);  // bit 0x2, no mode change
    EXPECT_STREQ(menu_now(), "Second\n");
    standin_set_tracker_mode(4);  // no bit 0x2
    EXPECT_STREQ(menu_now(), "");
    standin_set_tracker_mode(VT_MODE_CALIBRATION);
    EXPECT_STREQ(menu_now(), "") << "MODE C shows nothing";
    current_setup_mode = kModeA;
    EXPECT_STREQ(menu_now(), "Accept: 1\n");
    current_setup_mode = 9;  // past the script's modes
    standin_set_tracker_mode(6);
    EXPECT_STREQ(menu_now(), "");
}

TEST_F(DeviceModes, KeypadReportsKeysUnderSet1Codes) {
    const std::vector<std::pair<SDL_Scancode, uint8_t>> codes = {
        {SDL_SCANCODE_KP_7, 71},      {SDL_SCANCODE_KP_4, 75},   {SDL_SCANCODE_KP_1, 79},
        {SDL_SCANCODE_KP_0, 82},      {SDL_SCANCODE_KP_8, 72},   {SDL_SCANCODE_KP_PERIOD, 83},
        {SDL_SCANCODE_ESCAPE, 1},     {SDL_SCANCODE_A, 0x1E},    {SDL_SCANCODE_Q, 0x10},
        {SDL_SCANCODE_1, 2},          {SDL_SCANCODE_0, 11},      {SDL_SCANCODE_RETURN, 0x1C},
        {SDL_SCANCODE_F1, 0x3B},      {SDL_SCANCODE_F12, 0x58},  {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_UP, 0xC8},      {SDL_SCANCODE_HOME, 0xC7}, {SDL_SCANCODE_RCTRL, 0x9D},
        {SDL_SCANCODE_F16, 0},        {SDL_SCANCODE_UNKNOWN, 0}};
    for (const auto &[scancode, code] : codes) EXPECT_EQ(set1_scan_code(scancode), code) << scancode;
    EXPECT_EQ(set1_scan_code(255), 0);
    EXPECT_EQ(set1_scan_code(-1), 0);

    // Through the key hook, with no device on so that the log waits for the callback.
    DeviceButtons record{};
    record.states[0x60 - 1] = 7;
    reset_keypad();
    EXPECT_EQ(keypad_device_callback(&record), 0) << "nothing logged";
    EXPECT_EQ(record.states[0x60 - 1], 7);

    press(SDL_SCANCODE_KP_7);
    press(SDL_SCANCODE_LEFT);
    press(SDL_SCANCODE_NONUSHASH);  // shares its code with backslash
    press(SDL_SCANCODE_BACKSLASH);
    release(SDL_SCANCODE_NONUSHASH);
    polled_keys();
    for (int change = 0; change < 5; ++change)
        EXPECT_EQ(keypad_device_callback(&record), 1) << "one change per call";
    EXPECT_EQ(keypad_device_callback(&record), 0);
    EXPECT_EQ(record.states[71 - 1], 1);
    EXPECT_EQ(record.states[0xCB - 1], 1);
    EXPECT_EQ(record.states[0x2B - 1], 1) << "down while either key is";
    EXPECT_EQ(record.states[75 - 1], 0);
    EXPECT_EQ(record.states[0x60 - 1], 7) << "a number no key has is left alone";
    reset_keypad();
}

TEST_F(DeviceModes, KeypadWalksTheBuiltInMenus) {
    ASSERT_EQ(enable_external_calibration_device(2, nullptr, nullptr), 1);
    standin_set_tracker_mode(VT_MODE_SETUP);
    EXPECT_EQ(menu_now(), std::string(setup_modes[4].text));

    EXPECT_EQ(tap(SDL_SCANCODE_KP_7), keys({kEnter})) << "camera views ask for the image";
    EXPECT_EQ(current_setup_mode, 5);
    EXPECT_EQ(std::string(menu_now()).rfind("Camera Views:\n", 0), 0u);
    EXPECT_EQ(tap(SDL_SCANCODE_KP_7), keys({VT_KEY_RIGHT}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_4), keys({VT_KEY_LEFT}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_1), keys({})) << "from an image mode: no second Enter";
    EXPECT_EQ(current_setup_mode, 6);
    EXPECT_EQ(tap(SDL_SCANCODE_KP_7), keys({VT_KEY_UP}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_4), keys({VT_KEY_DOWN}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_1), keys({'a'}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_0), keys({}));
    EXPECT_EQ(current_setup_mode, 7);
    EXPECT_EQ(tap(SDL_SCANCODE_KP_7), keys({'+'}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_4), keys({'-'}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_0), keys({}));
    EXPECT_EQ(current_setup_mode, 4);
    EXPECT_EQ(tap(SDL_SCANCODE_KP_5), keys({})) << "a key without a button";

    EXPECT_EQ(tap(SDL_SCANCODE_KP_4), keys({'c'})) << "Start Calibration";
    EXPECT_EQ(current_setup_mode, kModeC);
    standin_set_tracker_mode(VT_MODE_CALIBRATION);
    EXPECT_EQ(tap(SDL_SCANCODE_KP_7), keys({kEnter}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_4), keys({kBackspace}));
    EXPECT_EQ(tap(SDL_SCANCODE_KP_0), keys({kEscape}));

    standin_set_tracker_mode(VT_MODE_SETUP);  // back on the setup screen: MODE 1 again
    EXPECT_EQ(tap(SDL_SCANCODE_KP_1), keys({'v'})) << "Start Validation";
    standin_set_tracker_mode(VT_MODE_VALIDATION);
    press(SDL_SCANCODE_KP_7);
    EXPECT_EQ(device_keys({SDL_SCANCODE_KP_7}), keys({kEnter}));
    press(SDL_SCANCODE_KP_7);  // the press seen again, without a release between
    EXPECT_EQ(device_keys({SDL_SCANCODE_KP_7}), keys({})) << "a held key acts once";
    release(SDL_SCANCODE_KP_7);
    EXPECT_TRUE(polled_keys().empty());
    standin_set_tracker_mode(VT_MODE_DRIFT_CORRECTION);
    EXPECT_EQ(tap(SDL_SCANCODE_KP_0), keys({kEscape})) << "drift correction";
}

TEST_F(DeviceModes, KeypadHearsEveryPressWhateverTheDisplayFlags) {
    ASSERT_EQ(enable_external_calibration_device(2, nullptr, nullptr), 1);
    standin_set_tracker_mode(VT_MODE_CALIBRATION);  // calibration: NUM 7 accepts, NUM 4 redoes
    for (uint16_t flags : {0x0, 0x2, 0x10, 0x12}) {
        SCOPED_TRACE(testing::Message() << "display flags " << flags);
        standin_set_display_flags(flags);
        // Target after target accepted with the same key.
        EXPECT_EQ(tap(SDL_SCANCODE_KP_7), keys({kEnter}));
        EXPECT_EQ(tap(SDL_SCANCODE_KP_7), keys({kEnter}));
        // Released and pressed again between two polls.
        press(SDL_SCANCODE_KP_7);
        EXPECT_EQ(device_keys({SDL_SCANCODE_KP_7}), keys({kEnter}));
        release(SDL_SCANCODE_KP_7);
        press(SDL_SCANCODE_KP_7);
        EXPECT_EQ(device_keys({SDL_SCANCODE_KP_7}), keys({kEnter}));
        release(SDL_SCANCODE_KP_7);
        EXPECT_TRUE(polled_keys().empty());
        // A tap whose press and release both wait at one poll.
        press(SDL_SCANCODE_KP_7);
        release(SDL_SCANCODE_KP_7);
        EXPECT_EQ(device_keys({SDL_SCANCODE_KP_7}), keys({kEnter}));
        // Two keys pressed between two polls: both act, in the order pressed.
        press(SDL_SCANCODE_KP_4);
        press(SDL_SCANCODE_KP_7);
        EXPECT_EQ(device_keys({SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_7}), keys({kBackspace, kEnter}));
        release(SDL_SCANCODE_KP_7);
        release(SDL_SCANCODE_KP_4);
        EXPECT_TRUE(polled_keys().empty());
    }

    // The order counts across a mode change: from Camera Views NUM 1 goes to the pupil
    // threshold, where NUM 7 raises it (in Camera Views it would show the next view).
    standin_set_tracker_mode(VT_MODE_SETUP_IMAGE);
    standin_set_display_flags(0x2);
    current_setup_mode = 5;
    press(SDL_SCANCODE_KP_1);
    press(SDL_SCANCODE_KP_7);
    release(SDL_SCANCODE_KP_1);
    release(SDL_SCANCODE_KP_7);
    EXPECT_EQ(device_keys({SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_7}), keys({VT_KEY_UP}));
    EXPECT_EQ(current_setup_mode, 6);
    standin_set_display_flags(0);
}

TEST_F(DeviceModes, BoxPressesWalkTheBuiltInMenus) {
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(box.path());
    vt_test::capture_stdout(
        [] { ASSERT_EQ(enable_external_calibration_device(1, nullptr, nullptr), 1); });
    EXPECT_EQ(standin_calls().sleep, 0) << "found at the first search";
    standin_set_tracker_mode(VT_MODE_SETUP_IMAGE);
    standin_set_display_flags(0x2);  // the camera image is already shown

    EXPECT_EQ(box_tap(box, 1, 0, 5), keys({})) << "no Enter while the image shows";
    EXPECT_EQ(box_tap(box, 2, 1, 5), keys({VT_KEY_LEFT}));
    EXPECT_EQ(box_tap(box, 3, 0, 6), keys({}));
    EXPECT_EQ(box_tap(box, 2, 1, 6), keys({VT_KEY_UP}));
    EXPECT_EQ(box_tap(box, 4, 0, 7), keys({}));
    EXPECT_EQ(box_tap(box, 4, 0, 4), keys({}));
    EXPECT_EQ(box_tap(box, 2, 1, kModeC), keys({'c'}));
    standin_set_tracker_mode(VT_MODE_CALIBRATION);
    EXPECT_EQ(box_tap(box, 1, 1, kModeC), keys({kEnter}));
    EXPECT_EQ(box_tap(box, 4, 1, kModeC), keys({kEscape}));

    // A quick tap whose press and release arrive together still presses.
    box.send(box.key_report(1, true) + box.key_report(1, false));
    EXPECT_EQ(poll_until([](const std::vector<uint16_t> &got) { return !got.empty(); }),
              keys({kEnter}));

    box.hang_up();
    EXPECT_TRUE(polled_keys().empty());
    EXPECT_EQ(standin_log_matches("device_poll_key: the device reports error -1"), 1u);
}

TEST_F(DeviceModes, GotoModeToAMissingModeIsLogged) {
    const char *script =
        "[MODE C]\nBUTTON 33 GOTO_MODE a\n[MODE V]\nBUTTON 1 EXIT\n[MODE D]\nBUTTON 1 EXIT\n"
        "[MODE 1]\nBUTTON 30 GOTO_MODE 5\nBUTTON 31 GOTO_MODE X\nBUTTON 32 GOTO_MODE 2\n"
        "[MODE 2]\nBUTTON 30 GOTO_MODE a\nDISPLAY_IMAGE yes\n";
    ASSERT_EQ(enable_external_calibration_device(2, script, nullptr), 1);
    standin_set_tracker_mode(VT_MODE_SETUP);
    EXPECT_EQ(tap(SDL_SCANCODE_A), keys({}));  // set-1 code 30
    EXPECT_EQ(tap(SDL_SCANCODE_S), keys({}));  // 31
    EXPECT_EQ(current_setup_mode, 4);
    EXPECT_EQ(standin_log_matches("names no mode of the setup script"), 2u);
    EXPECT_EQ(tap(SDL_SCANCODE_D), keys({kEnter}));  // 32: into the image mode
    EXPECT_EQ(current_setup_mode, 5);
    // MODE A is reached from a procedure: setup screens hand any mode below MODE 1 back to it.
    standin_set_tracker_mode(VT_MODE_CALIBRATION);
    EXPECT_EQ(tap(SDL_SCANCODE_F), keys({})) << "lower-case a names MODE A";  // 33
    EXPECT_EQ(current_setup_mode, kModeA);
    EXPECT_STREQ(menu_now(), setup_modes[kModeA].text);
    EXPECT_EQ(current_setup_mode, kModeA) << "calibration keeps MODE A";
}

}  // namespace
