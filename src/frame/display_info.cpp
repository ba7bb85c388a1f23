// Display facts for the application: the experiment window's display mode (or the first
// display's largest mode before a window exists), and the desktop's size and depth.
#include "frame/display_info.h"

#include <SDL.h>

#include "frame/expt_window.h"
#include "platform/platform.h"
#include "vistrak_core64.h"

namespace {

DisplayInfo displayInfo{0, 0, 0, 0, 0, 0, 32, 0, 0, 1, 60.0f, -1};

// A mode of no size (headless drivers report one before a window exists) counts as unread.
bool read_display_mode(SDL_DisplayMode &mode) {
    bool read = false;
    if (exptGraphics.window) {
        read = SDL_GetWindowDisplayMode(exptGraphics.window, &mode) == 0;
    } else {
        init_sdl();
        // Mode 0 is the display's largest, which need not be the current desktop mode.
        read = SDL_GetNumVideoDisplays() > 0 && SDL_GetDisplayMode(0, 0, &mode) == 0;
    }
    return read && mode.w > 0 && mode.h > 0;
}

}  // namespace

const DisplayInfo &query_display_information() {
    DisplayInfo &d = displayInfo;
    d.left = d.top = 0;
    d.reserved1 = d.reserved2 = 0;
    d.reserved3 = 1;
    d.reserved4 = -1;
    d.refresh = 60.0f;
    SDL_DisplayMode mode{};
    if (read_display_mode(mode)) {
        d.width = mode.w;
        d.height = mode.h;
        // Drivers that cannot tell the rate report 0: the 60 Hz of most displays stands then.
        if (mode.refresh_rate > 0) d.refresh = static_cast<float>(mode.refresh_rate);
        int bpp = 0;
        Uint32 r, g, b, a;
        SDL_PixelFormatEnumToMasks(mode.format, &bpp, &r, &g, &b, &a);
        d.bits = bpp;
    } else {
        core_alert("Cannot get hardware surface. using non accelerated video surfaces ");
        d.width = 800;
        d.height = 600;
        // No pixel format was read: report the common depth rather than none.
        d.bits = 32;
    }
    d.right = d.width - 1;
    d.bottom = d.height - 1;
    return d;
}

extern "C" {

void get_display_information(DisplayInfo *info) {
    const DisplayInfo &current = query_display_information();
    if (info) *info = current;
}

int32_t get_current_display_information(int32_t *width, int32_t *height, int32_t *bits) {
    platform::ScreenSize size;
    platform::desktop_screen_size(size);
    if (width) *width = size.width;
    if (height) *height = size.height;
    if (bits) *bits = size.bits;
    return 1;
}

}  // extern "C"
