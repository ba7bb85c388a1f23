// Without a display, SDL runs on its dummy video and audio drivers (a driver already chosen
// in the environment stays). Used by the test and benchmark programs' entry points.
#pragma once

#include <stdlib.h>

namespace vt_test {

inline void use_headless_drivers_without_display() {
    const char *display = getenv("DISPLAY");
    const char *wayland = getenv("WAYLAND_DISPLAY");
    if ((display && *display) || (wayland && *wayland)) return;
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
}

}  // namespace vt_test
