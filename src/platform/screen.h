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

// Display scaling. A window made on a thread that is not DPI-aware is stretched by Windows on
// a scaled display, and every size and position it is given is in scaled pixels; an aware
// thread works in the display's own pixels. Other systems do not stretch windows.

// Makes the process per-monitor DPI-aware when the calling thread is DPI-unaware and the
// process has not chosen its awareness yet (in its manifest or by a call); otherwise, and
// where the system refuses, nothing changes.
void make_process_dpi_aware();

// The scale in per cent (100: not scaled) of the display that shows window, when the calling
// thread is DPI-unaware; 0 when it works in the display's own pixels.
int unaware_display_scale(SDL_Window *window);

// The window's size as the window system holds it, which SDL's record of it need not be (an X
// server without a window manager leaves a full-screen request as it was made); false when
// the system cannot say.
bool window_size_on_screen(SDL_Window *window, int &width, int &height);

// Asks the window system to make the window the foreground window. Returns true when the
// request was granted; native receives the native window handle used (null when there is
// none). False with a null native handle means the window system has no such request.
bool bring_to_foreground(SDL_Window *window, void *&native);

}  // namespace platform
