// State of the external calibration device shared by its files: the installed callback, the
// button-state record it fills, the current setup mode, and the keypad's button numbering.
#pragma once

#include <array>
#include <cstdint>

#include "device/device_modes.h"
#include "vistrak_core_graphics_sdl2.h"

// Null while no device is on.
extern DeviceCallback device_callback;
extern void *device_user_data;
// Index into setup_modes: 0 MODE C, 1 MODE V, 2 MODE D, 3 MODE A, 4 on MODE 1 on.
extern int32_t current_setup_mode;
// What the device callback fills, and the states seen at the previous poll.
extern DeviceButtons device_buttons;
extern std::array<uint8_t, 256> last_button_states;

void reset_button_states();
// Follows the tracker mode: calibration, validation and drift correction select MODE C, V
// and D; the setup screen selects MODE 1 when none of the numbered modes is current.
void update_setup_mode();

// The keypad's callback: reports every key of key_states as the button numbered by its PC
// set-1 scan code.
int32_t keypad_device_callback(DeviceButtons *record);
// The set-1 scan code of an SDL scancode (0..254): extended (E0) keys as 0x80 + their code;
// 0 for a key without one.
uint8_t set1_scan_code(int32_t sdl_scancode);

// Drops the keys that button presses produced and the core library has not taken yet.
void clear_device_keys();
