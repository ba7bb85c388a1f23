// SDL keycodes to the core library's 16-bit key codes.
#pragma once

#include <SDL.h>

#include <cstdint>

// The core library's code for a key press, or 0 for a key it does not take.
uint16_t translate_key(SDL_Keycode key);
