// The graphics library's exports the demo configures the session with. They are referenced
// weakly, so the demo also runs against a library build that lacks some of them (an export
// that is missing reads as null and its option is reported as unavailable).
#pragma once

#include "vistrak_core_graphics_sdl2.h"

#pragma weak set_calibration_colors
#pragma weak set_target_size
#pragma weak set_cal_target_surface
#pragma weak set_cal_background_surface
#pragma weak set_cal_sounds
#pragma weak set_dcorr_sounds
#pragma weak set_cal_animation_target
#pragma weak set_cal_font
#pragma weak enable_external_calibration_device

// True when the library provides the export.
template <typename Function>
bool provided(Function *function) {
    return function != nullptr;
}
