// The static target's motion, an extension the application switches on
// (set_cal_target_motion): it travels from where it was last drawn to its new position and
// shrinks from a larger size to its own before draw_cal_target returns, then pulses on a
// thread of its own until the hooks stop it.
#pragma once

#include <cstdint>

// Presents the static target's way to (x, y): the move from where it was last drawn on this
// screen, then the shrink, each at the display's pace; the target in place at its own size is
// left to the caller. Nothing while motion is off.
void animate_target_arrival(int16_t x, int16_t y);

// Once the target is in place: starts its pulse, when asked for, on the drawing thread (the
// drawing thread), until it is erased, cleared, the screen ends or the core aborts.
void start_target_pulse();
