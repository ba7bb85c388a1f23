// The experiment window: SDL start-up, the window and renderer the library draws into, and
// their release.
#pragma once

#include <SDL.h>

struct ExptGraphics {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_Rect window_rect{};     // x, y 0; the window's size. All zero while no window is held.
    bool sdl_ready = false;     // SDL started by this library
    bool audio_opened = false;  // the audio subsystem was started by this library
};

extern ExptGraphics exptGraphics;

// Starts SDL video (and audio for the SDL_mixer sound backend) once; ends the process with
// status 1 when video cannot start.
void init_sdl();

// Destroys the renderer and the window and forgets the window size; each only if present.
void release_window();

// True while a window with a renderer is open.
bool window_open();

// The renderer has one owner at a time. While the playback thread of a video target runs it
// owns the renderer; any other thread that is about to use it takes it back here: the playback
// thread is asked to stop and has ended when this returns. Every routine that draws, presents
// or makes or destroys textures gets the renderer through this call, or calls take_renderer
// first. Null while no renderer is held.
SDL_Renderer *drawing_renderer();
void take_renderer();
// Makes the calling thread the renderer's owner for as long as it runs (the playback thread).
void own_renderer_on_this_thread();
