// The textures of drawn text lines, kept in the experiment window's renderer from one frame to
// the next: rendering and uploading a line costs more than the rest of a camera frame, and the
// same lines are drawn frame after frame. A kept texture is found by its text, font and colour;
// where it is drawn is applied at each draw.
#pragma once

#include <SDL.h>

#include <cstdint>

typedef struct _TTF_Font TTF_Font;

// The kept texture of text as font renders it in colour, or null; a texture found counts as
// drawn in the current frame.
SDL_Texture *find_line_texture(TTF_Font *font, const char *text, SDL_Color colour);

// Keeps texture, just made from text, font and colour in the experiment window's renderer, as
// drawn in the current frame. False when no more lines are kept: the caller keeps the texture.
bool keep_line_texture(TTF_Font *font, const char *text, SDL_Color colour, SDL_Texture *texture);

// Starts a frame: the kept textures the frame before did not draw are destroyed, so that only
// the lines of the last two frames are kept.
void start_text_frame();

// Destroys every kept texture; called before the renderer is destroyed.
void release_line_textures();
