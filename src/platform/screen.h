// Screen capabilities and window focus as the operating system reports them.
#pragma once

#include <cstdint>

struct SDL_Window;

namespace platform {

struct ScreenSize {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bits = 0;
};

// The primary screen's desktop resolution and bits per pixel; false when it cannot be read.
bool desktop_screen_size(ScreenSize &size);

// Asks the window system to make the window the foreground window. Returns true when the
// request was granted; native receives the native window handle used (null when there is
// none). False with a null native handle means the window system has no such request.
bool bring_to_foreground(SDL_Window *window, void *&native);

}  // namespace platform
