// Device modes until they are built: no device, no menu.
#include "device/device_modes.h"

const char *current_menu_text() { return ""; }
void set_image_menu_mode(int32_t) {}
int16_t device_poll_key(KeyInput *) { return 0; }
