// The experiment window: SDL start-up, the window and renderer the library draws into, and
// their release.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>

struct ExptGraphics {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_Rect window_rect{};     // x, y 0; the window's size. All zero while no window is held.
    bool sdl_ready = false;     // SDL started by this library
    bool audio_opened = false;  // the audio subsystem was started by this library
    std::atomic<uint32_t> windows_opened{0};  // windows init_expt_window has got
};

extern ExptGraphics exptGraphics;

// Starts SDL video (and audio for the SDL_mixer sound backend) once; ends the process with
// status 1 when video cannot start.
void init_sdl();

// Destroys the renderer and the window and forgets the window size; each only if present.
void release_window();

// True while a window with a renderer is open.
bool window_open();

// What a part of the library that uses the window keeps of it, and how it lets go: a thread of
// its own that borrows the renderer, textures of the renderer, and what it keeps until the
// window closes. The calibration display is the one such client.
struct WindowClient {
    bool (*holds_renderer)();      // the client's thread draws with the renderer now
    void (*give_back_renderer)();  // asks that thread to stop; returns once it has
    void (*release_textures)();    // destroys the client's textures, before the renderer goes
    void (*close)();               // runs first in close_expt_graphics, with or without a window
};
// Registers client (static storage) before it keeps anything; registering again changes nothing.
void set_window_client(const WindowClient *client);

// The renderer has one owner at a time. While the client's thread borrows it (the playback
// thread of a video target), any other thread that is about to use it takes it back here: the
// borrowing thread is asked to stop and has ended when this returns. Every routine that draws,
// presents or makes or destroys textures gets the renderer through this call, or calls
// take_renderer first. Null while no renderer is held.
SDL_Renderer *drawing_renderer();
void take_renderer();
// True while the client's thread holds the renderer.
bool renderer_lent();
// Makes the calling thread the renderer's owner for as long as it runs (the borrowing thread).
void own_renderer_on_this_thread();
