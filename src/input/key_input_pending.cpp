// Key hook until it is built: no keyboard key reaches the core library, only the keys of an
// external calibration device.
#include "device/device_modes.h"
#include "input/key_input.h"

int16_t read_key_hook(KeyInput *key) { return device_poll_key(key); }
