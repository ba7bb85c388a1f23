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
