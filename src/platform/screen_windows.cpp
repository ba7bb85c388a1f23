// Screen capabilities on Windows from the screen device context (GetDeviceCaps), DPI awareness
// and the scale of the window's monitor, and window focus through SetForegroundWindow on the
// window's native handle.
#include "platform/screen.h"

#include <windows.h>

#include <SDL.h>
#include <SDL_syswm.h>

namespace platform {

namespace {

// The awareness functions of Windows 10 (1607 and later), looked up so that the library still
// loads on older systems.
template <typename Function>
Function user32_function(const char *name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function>(
                        reinterpret_cast<void *>(GetProcAddress(user32, name)))
                  : nullptr;
}

using SetProcessContext = BOOL(WINAPI *)(DPI_AWARENESS_CONTEXT);
using SetThreadContext = DPI_AWARENESS_CONTEXT(WINAPI *)(DPI_AWARENESS_CONTEXT);
using GetThreadContext = DPI_AWARENESS_CONTEXT(WINAPI *)();
using ContextAwareness = DPI_AWARENESS(WINAPI *)(DPI_AWARENESS_CONTEXT);

// The window a thread makes takes the thread's awareness.
bool thread_dpi_unaware() {
    const auto context = user32_function<GetThreadContext>("GetThreadDpiAwarenessContext");
    const auto awareness = user32_function<ContextAwareness>("GetAwarenessFromDpiAwarenessContext");
    if (context && awareness) return awareness(context()) == DPI_AWARENESS_UNAWARE;
    return !IsProcessDPIAware();
}

}  // namespace

void make_process_dpi_aware() {
    if (!thread_dpi_unaware()) return;
    if (const auto set = user32_function<SetProcessContext>("SetProcessDpiAwarenessContext")) {
        // Per-monitor version 2 needs Windows 10 1703; a process that has chosen already is
        // refused with access denied, and keeps its choice.
        if (!set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) &&
            GetLastError() == ERROR_INVALID_PARAMETER)
            set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
        return;
    }
    SetProcessDPIAware();  // before Windows 10: aware of the system's scale
}

int unaware_display_scale(SDL_Window *window) {
    if (!thread_dpi_unaware()) return 0;
    // An unaware thread is told 96 dots per inch whatever the scale: the figure of the monitor
    // the window is on (the participant's, which need not be the primary) is read as a
    // per-monitor-aware thread, where the system has them.
    const auto set = user32_function<SetThreadContext>("SetThreadDpiAwarenessContext");
    const DPI_AWARENESS_CONTEXT previous =
        set ? set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE) : nullptr;
    UINT dpi = 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    // shcore's GetDpiForMonitor: Windows 8.1 and later.
    using MonitorDpi = HRESULT(WINAPI *)(HMONITOR, int, UINT *, UINT *);
    constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
    if (const HMODULE shcore =
            LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        const auto monitor_dpi = reinterpret_cast<MonitorDpi>(
            reinterpret_cast<void *>(GetProcAddress(shcore, "GetDpiForMonitor")));
        UINT x = 0, y = 0;
        if (monitor_dpi && window && SDL_GetWindowWMInfo(window, &info) &&
            info.subsystem == SDL_SYSWM_WINDOWS &&
            SUCCEEDED(monitor_dpi(MonitorFromWindow(info.info.win.window,
                                                    MONITOR_DEFAULTTONEAREST),
                                  kEffectiveDpi, &x, &y)))
            dpi = x;
        FreeLibrary(shcore);
    }
    if (dpi == 0) {
        if (const HDC screen = GetDC(nullptr)) {
            dpi = UINT(GetDeviceCaps(screen, LOGPIXELSX));
            ReleaseDC(nullptr, screen);
        }
    }
    if (previous) set(previous);
    return dpi == 0 ? 100 : int((dpi * 100 + 48) / 96);
}

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

bool window_size_on_screen(SDL_Window *window, int &width, int &height) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    RECT client{};
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WINDOWS ||
        !GetClientRect(info.info.win.window, &client))
        return false;
    width = client.right - client.left;
    height = client.bottom - client.top;
    return true;
}

}  // namespace platform
