// The process-wide display facts behind get_display_information.
#pragma once

#include "vistrak_core_graphics_sdl2.h"

// Refreshes the process-wide DisplayInfo from the window's display mode (or the first
// display's) and returns it.
const DisplayInfo &query_display_information();
