// Polling the calibration device for the key hook: a button pressed in the current setup mode
// carries out its action, either moving to another mode or becoming a key for the core
// library. The keys wait in a queue and go out one per call, so none is lost.
#include <cctype>
#include <cstddef>
#include <deque>

#include "device/device_state.h"
#include "device/setup_script.h"
#include "vistrak_core64.h"

namespace {

// The key each action sends, by ButtonAction code (0: none; GOTO_MODE acts itself).
constexpr uint16_t kActionKeys[kButtonActionCount] = {
    0,              // NO_ACTION
    'a',            // AUTO_THRESH
    VT_KEY_UP,      // PUPIL_THRESH_UP
    VT_KEY_DOWN,    // PUPIL_THRESH_DOWN
    '+',            // CR_THRESH_UP
    '-',            // CR_THRESH_DOWN
    'c',            // START_CALIBRATION
    'v',            // START_VALIDATION
    'd',            // START_DRIFT_CORRECT
    0,              // GOTO_MODE
    VT_KEY_ESCAPE,  // EXIT
    VT_KEY_RIGHT,   // NEXT_IMAGE
    VT_KEY_LEFT,    // PREV_IMAGE
    VT_KEY_ENTER,   // ACCEPT_TARGET
    VT_KEY_BACKSPACE,  // REDO_LAST_TARGE
};

// Device reads per key poll at most while they bring changes but no key (the keypad hands over
// a key released and pressed again as two changes): enough for what a hand does between two
// polls, few enough that a device reporting news at every read cannot hold a poll up.
constexpr int kReadsPerPoll = 16;

std::deque<uint16_t> pending_keys;
bool device_failing = false;

// The table index a GOTO_MODE argument names, -1 for none.
int32_t goto_target(uint8_t argument) {
    if (argument >= 1 && argument <= 9) return kFirstNumberedMode + argument - 1;
    switch (std::toupper(argument)) {
    case 'C':
        return kModeC;
    case 'V':
        return kModeV;
    case 'D':
        return kModeD;
    case 'A':
        return kModeA;
    default:
        return -1;
    }
}

void goto_mode(uint8_t argument) {
    const int32_t target = goto_target(argument);
    if (target < 0 || target >= setup_mode_count) {
        core_log("device_poll_key: GOTO_MODE %u names no mode of the setup script\n", argument);
        return;
    }
    const bool had_image = current_setup_mode >= 0 && current_setup_mode < setup_mode_count &&
                           setup_modes[std::size_t(current_setup_mode)].display_image;
    current_setup_mode = target;
    // The procedure modes show no menu and start their procedure, whose screen follows. A
    // redraw here would also hand the mode back to MODE 1 while the tracker is still in setup.
    if (target != kModeC && target != kModeV && target != kModeD) mark_menu_changed();
    if (target == kModeC) {
        pending_keys.push_back(kActionKeys[START_CALIBRATION]);
    } else if (target == kModeV) {
        pending_keys.push_back(kActionKeys[START_VALIDATION]);
    } else if (target == kModeD) {
        pending_keys.push_back(kActionKeys[START_DRIFT_CORRECT]);
    } else if (setup_modes[std::size_t(target)].display_image && !had_image &&
               !(core_display_flags() & VT_DISPLAY_IMAGE_SHOWN)) {
        pending_keys.push_back(VT_KEY_ENTER);
    }
}

// Carries out what button number does in the current mode (its first entry there).
void press_button(uint8_t number) {
    if (current_setup_mode < 0 || current_setup_mode >= setup_mode_count) return;
    const SetupMode &mode = setup_modes[std::size_t(current_setup_mode)];
    for (int32_t i = 0; i < mode.button_count; ++i) {
        const SetupButton &button = mode.buttons[i];
        if (button.number != number) continue;
        if (button.action == GOTO_MODE)
            goto_mode(button.argument);
        else if (kActionKeys[button.action])
            pending_keys.push_back(kActionKeys[button.action]);
        return;
    }
}

// Reads the device once; false when it had nothing new.
bool poll_device() {
    device_buttons.user_data = device_user_data;
    const int32_t result = device_callback(&device_buttons);
    if (result < 0) {
        if (!device_failing) core_log("device_poll_key: the device reports error %d\n", result);
        device_failing = true;
        return false;
    }
    device_failing = false;
    if (result == 0) return false;
    bool mode_updated = false;
    for (std::size_t index = 0; index < last_button_states.size() - 1; ++index) {
        const bool pressed = device_buttons.states[index] && !last_button_states[index];
        last_button_states[index] = device_buttons.states[index];
        if (!pressed) continue;
        // The tracker may have changed screens since the mode was last brought up to date.
        if (!mode_updated) update_setup_mode();
        mode_updated = true;
        press_button(static_cast<uint8_t>(index + 1));
    }
    return true;
}

}  // namespace

void clear_device_keys() {
    pending_keys.clear();
    device_failing = false;
}

int16_t device_poll_key(KeyInput *key) {
    if (!key) return 0;
    for (int reads = 0; reads < kReadsPerPoll && pending_keys.empty() && device_callback; ++reads)
        if (!poll_device()) break;
    if (pending_keys.empty()) return 0;
    key->type = 1;
    key->state = 1;
    key->key = pending_keys.front();
    key->modifier = 0;
    pending_keys.pop_front();
    return 1;
}
