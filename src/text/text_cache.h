// What drawing a message makes that the next frame can use again, kept from one frame to the
// next: each line's texture in the experiment window's renderer, and each measured text's
// size. Rendering, uploading and measuring (SDL2_ttf shapes the text on every measure) cost
// more than the rest of a camera frame's text, and the same texts are drawn frame after frame.
#pragma once

#include <SDL.h>

typedef struct _TTF_Font TTF_Font;

// The renderer whose line textures are kept (the experiment window's, given when it opens, null
// once it is released); lines drawn with any other renderer are made for each drawing.
void keep_line_textures_of(SDL_Renderer *renderer);
bool keeps_textures_of(const SDL_Renderer *renderer);

// The kept texture of text as font renders it in colour, or null; a texture found counts as
// drawn in the current frame. Where it is drawn is up to the caller.
SDL_Texture *find_line_texture(TTF_Font *font, const char *text, SDL_Color colour);

// Keeps texture, just made from text, font and colour in the kept renderer, as drawn in the
// current frame. False when no more lines are kept: the caller keeps the texture.
bool keep_line_texture(TTF_Font *font, const char *text, SDL_Color colour, SDL_Texture *texture);

// The size of text as TTF_SizeText measures it in font, kept for the current frame. False when
// it cannot be measured.
bool text_size(TTF_Font *font, const char *text, int &width, int &height);

// Starts a frame: what the frame before did not use is dropped (its textures destroyed), so
// that only what the last two frames used is kept. The caller holds the renderer.
void start_text_frame();

// Destroys every kept texture; called, with the renderer held, before it is destroyed.
void release_line_textures();
