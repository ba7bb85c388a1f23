// Application surfaces described as CoreBitmap records for the core library.
#pragma once

#include <SDL.h>

#include "vistrak_core_graphics_sdl2.h"

// Converts surface to a new 32-bit XRGB8888 surface (drawn over black, so alpha and colour
// keys apply) and describes it in a new record. converted receives the new surface, which
// owns the record's pixels; the caller frees it after free_core_bitmap. Null, with converted
// null, when the surface is null or empty or a step fails (logged with SDL's reason).
CoreBitmap *surface_to_core_bitmap(SDL_Surface *surface, SDL_Surface *&converted);

// Frees the record's reserved block, then the record (null is ignored).
void free_core_bitmap(CoreBitmap *record);
