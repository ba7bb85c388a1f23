// The frames the graphics library presents, read on the presenting thread just before they go
// to the screen. Screenshots come from here whatever the renderer (an OpenGL or Direct3D back
// buffer is undefined once presented) and whichever thread presents (the animated target plays
// on a thread of the library's own, which no other thread may draw or read beside).
#pragma once

#include <SDL.h>

#include <string>

// Starts keeping the last presented frame. Returns "" or why frames cannot be kept here.
std::string keep_presented_frames();

// Holds the first frame presented at least delay_ms from now: later frames do not replace it
// until release_presented_frame().
void hold_presented_frame(uint32_t delay_ms);
// Whether a frame is held since the last hold_presented_frame().
bool presented_frame_held();
void release_presented_frame();

// Writes the kept (or held) frame to path as PNG. Returns "" or the error.
std::string save_presented_frame(const std::string &path);

// Reads the renderer's picture into the keeper; the per-system hook calls it before each
// present. The presenting thread owns the renderer, so reading here is safe.
void keep_frame(SDL_Renderer *renderer);

// The per-system hook that calls keep_frame before SDL_RenderPresent. "" or the error.
std::string hook_presents();
