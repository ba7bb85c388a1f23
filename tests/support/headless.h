// Without a display, SDL runs on its dummy video and audio drivers (a driver already chosen
// in the environment stays). Used by the test and benchmark programs' entry points.
#pragma once

#include <SDL.h>

namespace vt_test {

inline void use_headless_drivers_without_display() {
    const char *display = SDL_getenv("DISPLAY");
    const char *wayland = SDL_getenv("WAYLAND_DISPLAY");
    if ((display && *display) || (wayland && *wayland)) return;
    SDL_setenv("SDL_VIDEODRIVER", "dummy", 0);
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 0);
}

}  // namespace vt_test
