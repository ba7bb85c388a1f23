// The external calibration device's setup modes and the menu text they show.
#pragma once

#include <cstdint>

#include "vistrak_core64.h"

// Brings the setup mode up to date with the tracker mode and returns the menu text to show
// (never null; empty when no menu applies).
const char *current_menu_text();

// 1 when image display begins, 0 when it ends.
void set_image_menu_mode(int32_t flag);

// Polls the device while one is on. Returns 1 and fills key when a button press produced a
// key for the core library, else 0.
int16_t device_poll_key(KeyInput *key);
