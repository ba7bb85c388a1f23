// Switching the external calibration device on and off, and the current setup mode that
// follows the tracker's mode and picks the menu text shown beside the camera image.
#include "device/device_modes.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "device/commport.h"
#include "device/device_state.h"
#include "device/setup_script.h"
#include "platform/console_output.h"
#include "vistrak_core64.h"

DeviceCallback device_callback = nullptr;
void *device_user_data = nullptr;
int32_t current_setup_mode = kFirstNumberedMode;
DeviceButtons device_buttons{};
std::array<uint8_t, 256> last_button_states{};

namespace {

bool menuChanged = false;

// Bit of the tracker mode code while the numbered modes' menus apply.
constexpr uint16_t kTrackerMenuBit = 0x2;

// A second search after this pause finds a box that was still starting up.
constexpr uint32_t kBoxSearchPauseMs = 3000;

constexpr uintptr_t kDeviceOff = 0;
constexpr uintptr_t kDeviceButtonBox = 1;
constexpr uintptr_t kDeviceKeypad = 2;

DeviceCallback install_button_box() {
    if (find_button_box()) return button_box_device_callback;
    core_sleep_ms(kBoxSearchPauseMs);
    return find_button_box() ? button_box_device_callback : nullptr;
}

}  // namespace

extern "C" int32_t enable_external_calibration_device(uintptr_t type, const char *path_or_text,
                                                      void *data) {
    close_com_port();
    device_callback = nullptr;
    device_user_data = nullptr;
    clear_device_keys();
    reset_button_states();
    clear_setup_modes();
    if (type == kDeviceOff) return 1;

    const int32_t result = load_setup_script(path_or_text, type);
    if (result <= 0) {
        platform::print("Failed to load ini (ERR=%d) %s\n", result,
                        path_or_text ? path_or_text : "(null)");
        std::fflush(stdout);
        return 0;
    }

    if (type == kDeviceKeypad) {
        reset_keypad();
        device_callback = keypad_device_callback;
    } else if (type == kDeviceButtonBox) {
        device_callback = install_button_box();
    } else {
        device_user_data = data;
        device_callback = reinterpret_cast<DeviceCallback>(type);
    }

    current_setup_mode = device_callback ? kFirstNumberedMode : 0;
    if (!device_callback) clear_setup_modes();
    return device_callback ? 1 : 0;
}

void reset_button_states() {
    std::fill(std::begin(device_buttons.states), std::end(device_buttons.states), 0);
    last_button_states.fill(0);
}

void update_setup_mode() {
    switch (core_tracker_mode()) {
    case VT_MODE_DRIFT_CORRECTION:
        current_setup_mode = kModeD;
        break;
    case VT_MODE_VALIDATION:
        if (current_setup_mode != kModeA) current_setup_mode = kModeV;
        break;
    case VT_MODE_CALIBRATION:
        if (current_setup_mode != kModeA) current_setup_mode = kModeC;
        break;
    case VT_MODE_SETUP:
    case VT_MODE_SETUP_IMAGE:
        if (current_setup_mode < kFirstNumberedMode) {
            current_setup_mode = kFirstNumberedMode;
            mark_menu_changed();  // the setup menu shows at the next chance to draw
        }
        break;
    default:
        break;
    }
}

void mark_menu_changed() { menuChanged = true; }

bool menu_changed() { return menuChanged; }

void menu_shown() { menuChanged = false; }

const char *current_menu_text() {
    const int32_t mode = current_setup_mode;
    if (mode >= kFirstNumberedMode && mode < setup_mode_count &&
        (core_tracker_mode() & kTrackerMenuBit))
        return setup_modes[size_t(mode)].text;
    if (mode == kModeA) return setup_modes[kModeA].text;
    return "";
}

void set_image_menu_mode(int32_t flag) {
    if (!flag)
        current_setup_mode = 0;
    else if (current_setup_mode < kFirstNumberedMode)
        current_setup_mode = kFirstNumberedMode;
}
