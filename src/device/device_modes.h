// The external calibration device's setup modes and the menu text they show.
#pragma once

#include <cstdint>

#include "vistrak_core64.h"

// Follows the tracker mode: calibration, validation and drift correction select MODE C, V
// and D; the setup screen selects MODE 1 when none of the numbered modes is current.
void update_setup_mode();

// The menu text of the current setup mode (never null; empty when no menu applies).
const char *current_menu_text();

// True from a change of the menu to show (a device button, the tracker's mode) until
// menu_shown: the key hook then draws the status text, which the playback thread of a video
// target may keep it from doing for a while.
bool menu_changed();
// The status text is being drawn with the current menu.
void menu_shown();

// 1 when image display begins, 0 when it ends.
void set_image_menu_mode(int32_t flag);

// For the key hook, when it has no keyboard key to return: hands out the next key that a
// device button produced (type 1, state 1, no modifier) and returns 1, else 0. Polls the
// device, while one is on, whenever no such key is waiting.
int16_t device_poll_key(KeyInput *key);
