// Camera image hooks until they are built: they accept the image and show nothing.
#include "camera/camera_image.h"

int16_t begin_image_hook() { return 0; }
void image_title_hook(int32_t, const char *) {}
void image_line_hook(int16_t, int16_t, int16_t, const uint8_t *) {}
void palette_hook(int16_t, const uint8_t *, const uint8_t *, const uint8_t *) {}
void end_image_hook() {}
