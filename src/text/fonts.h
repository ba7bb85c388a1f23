// The one current TrueType font: finding, opening and closing it.
#pragma once

#include <cstdint>

// Makes the font name (family or path) current at size points. 0 on success, -1 on failure.
int get_new_font(const char *name, int size, uint32_t bold);
void close_current_font();
