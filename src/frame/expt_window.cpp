// Opens and closes the experiment window: SDL start-up, adopting the application's window or
// creating a desktop-fullscreen one, the first frame, focus, and the teardown.
#include "frame/expt_window.h"

#include <SDL_mixer.h>
#include <SDL_syswm.h>
#include <SDL_ttf.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/display_hooks.h"
#include "frame/display_info.h"
#include "frame/sound_backend.h"
#include "frame/window_background.h"
#include "platform/platform.h"
#include "text/text_cache.h"
#include "vistrak_core64.h"
#include "vistrak_core_graphics_sdl2.h"

ExptGraphics exptGraphics;

namespace {

// Set on the thread that owns the renderer while it runs.
thread_local bool renderer_owned_here = false;

std::atomic<const WindowClient *> windowClient{nullptr};

constexpr Uint32 kCreateFlags = SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_INPUT_FOCUS;

bool software_rendering_requested() {
    const char *value = std::getenv("VT_SDL_SOFTWARE");
    return value && *value && std::atoi(value) != 0;
}

void open_mixer() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) platform::print("Audio error %s\n", SDL_GetError());
    if (Mix_OpenAudio(22050, AUDIO_S16LSB, 1, 1024) == -1) {
        platform::print("Mix_OpenAudio: %s\n", SDL_GetError());
    } else {
        Mix_Volume(1, 64);
    }
    exptGraphics.audio_opened = true;
}

// Whether the display runs at rate once the window asked for it. A desktop-fullscreen window
// never changes the display's mode (SDL only stores the one asked for), so success is read back
// from the display's current mode. A rate SDL does not know (0) or cannot read confirms
// nothing and refutes nothing: it is not taken for a different one.
bool refresh_rate_applied(int rate) {
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(exptGraphics.window, &mode) != 0) {
        platform::print("SDL_GetWindowDisplayMode failed: %s\n", SDL_GetError());
        return false;
    }
    mode.refresh_rate = rate;
    if (SDL_SetWindowDisplayMode(exptGraphics.window, &mode) != 0) {
        platform::print("SDL_SetWindowDisplayMode failed: %s\n", SDL_GetError());
        return false;
    }
    const int display = SDL_GetWindowDisplayIndex(exptGraphics.window);
    SDL_DisplayMode current;
    if (display < 0 || SDL_GetCurrentDisplayMode(display, &current) != 0) return true;
    return current.refresh_rate == 0 || current.refresh_rate == rate;
}

void apply_refresh_rate(int rate) {
    if (!refresh_rate_applied(rate)) platform::print("Couldn't set window refresh rate\n");
}

void bring_window_forward() {
    SDL_RaiseWindow(exptGraphics.window);
    if (SDL_SetWindowInputFocus(exptGraphics.window) == 0) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(exptGraphics.window, &info)) {
        void *native = nullptr;
        if (platform::bring_to_foreground(exptGraphics.window, native))
            core_log("init_expt_window:SetForegroundWindow succeeded:window %p\n", native);
        else
            core_log("init_expt_window:SetForegroundWindow failed:window %p\n", native);
    } else {
        core_log("init_expt_window:SDL_GetWindowWMInfo failed:%s\n", SDL_GetError());
    }
    core_log("init_expt_window:SDL_SetWindowInputFocus failed:%s\n", SDL_GetError());
}

// Takes the application's window. Returns false when it has no renderer.
bool adopt_window(SDL_Window *window) {
    // Adopting the window already held keeps it: releasing it first would destroy it.
    if (exptGraphics.window && exptGraphics.window != window) release_window();
    exptGraphics.window = window;
    exptGraphics.renderer = SDL_GetRenderer(window);
    return exptGraphics.renderer != nullptr;
}

bool create_window(const DisplayInfo *info, int &refresh_rate) {
    const int width = info ? info->width : 0;
    const int height = info ? info->height : 0;
    const int bits = info ? info->bits : 0;
    // SDL counts whole hertz: 59.94 asks for 60.
    refresh_rate = info ? static_cast<int>(std::lround(info->refresh)) : 0;
    // A window still held from an earlier call would otherwise be lost with its renderer.
    release_window();
    // Without a size, the desktop's: a window manager makes the window full-screen whatever
    // its size, but without one (a kiosk PC) the window keeps the size it is made with.
    SDL_DisplayMode desktop{};
    const bool sized = width != 0 && height != 0;
    if (!sized && SDL_GetDesktopDisplayMode(0, &desktop) != 0) desktop = SDL_DisplayMode{};
    if (SDL_CreateWindowAndRenderer(width != 0 ? width : desktop.w,
                                    height != 0 ? height : desktop.h, kCreateFlags,
                                    &exptGraphics.window, &exptGraphics.renderer) != 0) {
        platform::print("Couldn't create window and renderer: %s\n", SDL_GetError());
        platform::print("Couldn't initialize window with %lux%lux%lu %s\n",
                        static_cast<unsigned long>(width), static_cast<unsigned long>(height),
                        static_cast<unsigned long>(bits), SDL_GetError());
        exptGraphics.window = nullptr;
        exptGraphics.renderer = nullptr;
        return false;
    }
    return true;
}

}  // namespace

void init_sdl() {
    if (exptGraphics.sdl_ready) return;
    // A host that unloads the library before close_expt_graphics leaves it loaded and whole.
    platform::hold_library();
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        // Every size and position in the display's own pixels, unless the application has
        // chosen (SDL's hint, or the process's own awareness): before any window exists.
        if (!SDL_GetHint(SDL_HINT_WINDOWS_DPI_AWARENESS)) platform::make_process_dpi_aware();
        // The hint reads SDL_VIDEODRIVER too: whether the application chose a driver.
        const bool driver_chosen = SDL_GetHint(SDL_HINT_VIDEODRIVER) != nullptr;
        if (SDL_Init(SDL_INIT_VIDEO) < 0) {
            platform::print("SDL_Init failed: %s\n", SDL_GetError());
            std::fflush(stdout);
            std::exit(1);
        }
        // A display that cannot be reached makes SDL fall back to a driver that shows nothing:
        // a session would run on no screen at all.
        const char *driver = SDL_GetCurrentVideoDriver();
        if (!driver_chosen && driver &&
            (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
            platform::print("SDL_Init failed: no display can be reached (DISPLAY \"%s\"): SDL "
                            "fell back to its %s driver, which shows nothing\n",
                            platform::environment_variable("DISPLAY").c_str(), driver);
            std::fflush(stdout);
            std::exit(1);
        }
    }
    if (!use_system_player()) {
        if (SDL_WasInit(SDL_INIT_AUDIO)) {
            // The application started audio itself: it keeps the mixer and renderer choices.
            exptGraphics.sdl_ready = true;
            return;
        }
        open_mixer();
    }
    // Unless the application has chosen: a Direct3D renderer that the video target's playback
    // thread draws with must be made for threads, and Windows gives the foreground to a
    // process that is not already in it (started from a terminal, an operator's click on the
    // other screen) only when the raise is forced, or the participant's keys go elsewhere.
    if (!SDL_GetHint(SDL_HINT_RENDER_DIRECT3D_THREADSAFE))
        SDL_SetHint(SDL_HINT_RENDER_DIRECT3D_THREADSAFE, "1");
    if (!SDL_GetHint(SDL_HINT_FORCE_RAISEWINDOW)) SDL_SetHint(SDL_HINT_FORCE_RAISEWINDOW, "1");
    if (software_rendering_requested()) {
        platform::print("Requesting SDL software rendering\n");
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    }
    exptGraphics.sdl_ready = true;
}

void release_window() {
    if (exptGraphics.renderer) {
        take_renderer();
        if (const WindowClient *client = windowClient) client->release_textures();
        release_background_texture();
        release_line_textures();
        keep_line_textures_of(nullptr);
        SDL_DestroyRenderer(exptGraphics.renderer);
        exptGraphics.renderer = nullptr;
    }
    if (exptGraphics.window) {
        SDL_HideWindow(exptGraphics.window);
        SDL_DestroyWindow(exptGraphics.window);
        exptGraphics.window = nullptr;
    }
    exptGraphics.window_rect = SDL_Rect{};
}

bool window_open() { return exptGraphics.window && exptGraphics.renderer; }

void set_window_client(const WindowClient *client) { windowClient = client; }

void take_renderer() {
    if (renderer_owned_here) return;
    if (const WindowClient *client = windowClient) client->give_back_renderer();
}

bool renderer_lent() {
    const WindowClient *client = windowClient;
    return client && client->holds_renderer();
}

SDL_Renderer *drawing_renderer() {
    take_renderer();
    return exptGraphics.renderer;
}

void own_renderer_on_this_thread() { renderer_owned_here = true; }

extern "C" {

int16_t init_expt_window(SDL_Window **window_slot, DisplayInfo *info) {
    install_display_hooks();
    init_sdl();

    int refresh_rate = 0;
    if (window_slot && *window_slot) {
        if (!adopt_window(*window_slot)) return -1;
    } else if (!create_window(info, refresh_rate)) {
        return -1;
    }

    keep_line_textures_of(exptGraphics.renderer);
    if (std::getenv("VT_SDL_SOFTWARE")) {
        SDL_RendererInfo renderer_info;
        if (SDL_GetRendererInfo(exptGraphics.renderer, &renderer_info) == 0)
            std::fprintf(stderr, "SDL renderer: %s\n", renderer_info.name);
    }
    if (refresh_rate != 0) apply_refresh_rate(refresh_rate);
    if (const int scale = platform::unaware_display_scale(exptGraphics.window);
        scale != 0 && scale != 100)
        core_log("init_expt_window: the display is scaled to %d %% and this process is not "
                 "DPI-aware: Windows stretches the window, and sizes and positions are in "
                 "scaled pixels\n",
                 scale);

    get_display_information(info);
    if (window_slot) *window_slot = exptGraphics.window;
    int width = 0, height = 0;
    SDL_GetWindowSize(exptGraphics.window, &width, &height);
    exptGraphics.window_rect = SDL_Rect{0, 0, width, height};
    // What SDL reports is what it asked for; the window system has the last word.
    if (int shown_width = 0, shown_height = 0;
        platform::window_size_on_screen(exptGraphics.window, shown_width, shown_height) &&
        (shown_width != width || shown_height != height)) {
        core_log("init_expt_window: the window is %dx%d on the screen, not %dx%d: no window "
                 "manager made it full-screen\n",
                 shown_width, shown_height, width, height);
        platform::print("init_expt_window: the window is %dx%d on the screen, not %dx%d\n",
                        shown_width, shown_height, width, height);
    }

    ++exptGraphics.windows_opened;
    core_attach_window(nullptr);
    core_set_abort(0);
    core_graphics_ready();

    if (TTF_Init() < 0) {
        platform::print("TTF_Init failed: %s\n", SDL_GetError());
        return 2;
    }
    SDL_ShowCursor(SDL_DISABLE);

    SDL_Renderer *renderer = drawing_renderer();
    const SDL_Color &background = windowLook.backgroundColor;
    SDL_SetRenderDrawColor(renderer, background.r, background.g, background.b, background.a);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);

    bring_window_forward();
    return 0;
}

void close_expt_graphics(void) {
    if (const WindowClient *client = windowClient) client->close();
    // The animated target's sound is gone with it; the feedback sounds' device goes too, while
    // SDL is still up.
    platform::audio_output_close();
    if (!exptGraphics.sdl_ready) return;
    remove_display_hooks();
    release_window();
    if (exptGraphics.audio_opened) {
        Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        exptGraphics.audio_opened = false;
    }
    SDL_Delay(2000);
    SDL_Quit();
    exptGraphics.sdl_ready = false;
    platform::release_library();
}

SDL_Window *get_expt_window(SDL_Window **window_slot) {
    if (window_slot) *window_slot = exptGraphics.window;
    return exptGraphics.window;
}

}  // extern "C"
