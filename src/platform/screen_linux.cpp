// Screen capabilities on Linux, read through SDL's video subsystem (started for the query
// when nobody else has started it).
#include "platform/screen.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

#include <cstdint>

namespace platform {

bool desktop_screen_size(ScreenSize &size) {
    const bool started_here = !SDL_WasInit(SDL_INIT_VIDEO);
    if (started_here && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_DisplayMode mode;
    const bool ok = SDL_GetDesktopDisplayMode(0, &mode) == 0;
    if (ok) {
        size.width = mode.w;
        size.height = mode.h;
        // Bytes-per-pixel rounding, as a screen device reports its depth (XRGB8888: 32).
        int bpp = 0;
        Uint32 r, g, b, a;
        SDL_PixelFormatEnumToMasks(mode.format, &bpp, &r, &g, &b, &a);
        size.bits = bpp;
    }
    if (started_here) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return ok;
}

// X11 and Wayland hand a window the display's own pixels.
void make_process_dpi_aware() {}

int unaware_display_scale(SDL_Window *) { return 0; }

bool bring_to_foreground(SDL_Window *window, void *&native) {
    native = nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
        native = reinterpret_cast<void *>(static_cast<uintptr_t>(info.info.x11.window));
    // X11 and Wayland grant focus only on their own terms and SDL_RaiseWindow has already
    // asked: there is no further request that could succeed.
    return false;
}

// Through the X library SDL has loaded (found, not loaded again: RTLD_NOLOAD), by a round trip
// to the server: the window's attributes as the server holds them.
bool window_size_on_screen(SDL_Window *window, int &width, int &height) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    void *x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!x11) return false;
    // XWindowAttributes begins with x, y, width and height (ints); the rest is room enough.
    struct Attributes {
        int x, y, width, height;
        unsigned char rest[256];
    } attributes{};
    using GetAttributes = int (*)(Display *, Window, Attributes *);
    const auto get = reinterpret_cast<GetAttributes>(dlsym(x11, "XGetWindowAttributes"));
    const bool read = get && get(info.info.x11.display, info.info.x11.window, &attributes) != 0;
    dlclose(x11);
    if (!read) return false;
    width = attributes.width;
    height = attributes.height;
    return true;
}

}  // namespace platform
