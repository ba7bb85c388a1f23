// The external calibration device's setup modes and the menu text they show.
#pragma once

#include <cstdint>

#include "vistrak_core64.h"

// Brings the setup mode up to date with the tracker mode and returns the menu text to show
// (never null; empty when no menu applies).
const char *current_menu_text();

// 1 when image display begins, 0 when it ends.
void set_image_menu_mode(int32_t flag);

// For the key hook, when it has no keyboard key to return: hands out the next key that a
// device button produced (type 1, state 1, no modifier) and returns 1, else 0. Polls the
// device, while one is on, whenever no such key is waiting.
int16_t device_poll_key(KeyInput *key);
