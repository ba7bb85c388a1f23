// The screen-image writer the core library calls to save screens.
#pragma once

#include <cstdint>

#include "vistrak_core_graphics_sdl2.h"

int32_t image_writer(const char *path, int32_t format, const CoreBitmap *bitmap);
