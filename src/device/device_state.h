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
// The menu to show has changed: the next key poll draws it (menu_changed).
void mark_menu_changed();

// The keypad's callback: takes the next change from the key hook's log of key presses and
// releases and reports every key as the button numbered by its PC set-1 scan code. 0 when the
// log holds no change.
int32_t keypad_device_callback(DeviceButtons *record);
// Forgets the logged key events and takes every key as released: keys pressed before the
// keypad was switched on do not act.
void reset_keypad();
// The set-1 scan code of an SDL scancode (0..254): extended (E0) keys as 0x80 + their code;
// 0 for a key without one.
uint8_t set1_scan_code(int32_t sdl_scancode);

// Drops the keys that button presses produced and the core library has not taken yet.
void clear_device_keys();
