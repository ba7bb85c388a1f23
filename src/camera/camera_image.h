// The camera image hooks: buffer creation, palette, lines, title and release.
#pragma once

#include <cstdint>

int16_t begin_image_hook();
void image_title_hook(int32_t unused, const char *title);
void image_line_hook(int16_t width, int16_t line, int16_t total_lines, const uint8_t *indices);
void palette_hook(int16_t count, const uint8_t *red, const uint8_t *green, const uint8_t *blue);
void end_image_hook();
