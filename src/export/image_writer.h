// The screen-image writer the core library calls to save screens.
#pragma once

#include <cstdint>

#include "vistrak_core_graphics_sdl2.h"

// Writes bitmap to path. With libgd: format 1 PNG, 2 GIF, 3 WBMP (black pixels black, all
// others white), 4 XPM (refused: libgd cannot write it), any other JPEG of quality 100; only
// 32-bit bitmaps (bytes blue, green, red, unused). Without libgd: a BMP of the raw pixels
// whatever the format, for depths 15, 16, 24 and 32 (SDL's default masks for the depth).
// Returns 0 when the whole file was written, -1 otherwise; a failed write leaves no new file
// and an earlier file of the same name as it was.
int32_t image_writer(const char *path, int32_t format, const CoreBitmap *bitmap);
