// Screen capabilities on Windows from the screen device context (GetDeviceCaps), and window
// focus through SetForegroundWindow on the window's native handle.
#include "platform/screen.h"

#include <windows.h>

#include <SDL.h>
#include <SDL_syswm.h>

namespace platform {

bool desktop_screen_size(ScreenSize &size) {
    const HDC screen = GetDC(nullptr);
    if (!screen) return false;
    size.width = GetDeviceCaps(screen, HORZRES);
    size.height = GetDeviceCaps(screen, VERTRES);
    size.bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return size.width > 0 && size.height > 0;
}

bool bring_to_foreground(SDL_Window *window, void *&native) {
    native = nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WINDOWS) return false;
    native = info.info.win.window;
    return SetForegroundWindow(info.info.win.window) != 0;
}

}  // namespace platform
