// What drawing a message makes that the next frame can use again, kept from one frame to the
// next: each line's texture in the experiment window's renderer, and each measured text's
// size. Rendering, uploading and measuring (SDL2_ttf shapes the text on every measure) cost
// more than the rest of a camera frame's text, and the same texts are drawn frame after frame.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <vector>

typedef struct _TTF_Font TTF_Font;

// The kept texture of text as font renders it in colour, or null; a texture found counts as
// drawn in the current frame, and ink (when given) receives where in it the glyphs put ink.
// Where it is drawn is up to the caller.
SDL_Texture *find_line_texture(TTF_Font *font, const char *text, SDL_Color colour,
                               SDL_Rect *ink = nullptr);

// Keeps texture, just made from text, font and colour in the experiment window's renderer, with
// where in it the glyphs put ink, as drawn in the current frame. False when no more lines are
// kept: the caller keeps the texture.
bool keep_line_texture(TTF_Font *font, const char *text, SDL_Color colour, SDL_Texture *texture,
                       SDL_Rect ink);

// A message drawn whole onto a known background: everything its pixels depend on besides its
// text and font.
struct MessageLayout {
    uint32_t flags;
    int x, y;
    SDL_Color colour, background;
    std::array<int, 2> window;   // width, height
    std::array<int, 4> margins;  // left, right, top, bottom
};

// A message composed into one opaque texture over its layout's background: where it goes, and
// the parts of the texture (in its own pixels) where its lines have ink, which hold every pixel
// that differs from the background. Only those parts need drawing onto a window filled with the
// background; the rest is background already.
struct ComposedMessage {
    SDL_Texture *texture;
    SDL_Rect place;
    std::vector<SDL_Rect> inked;
};

// The kept composition of text drawn in font as layout says, or null; one found counts as drawn
// in the current frame. It stays valid until the next call that keeps or drops textures.
const ComposedMessage *find_message_texture(TTF_Font *font, const char *text,
                                            const MessageLayout &layout);

// Keeps message, just composed for text in font as layout says, as drawn in the current frame.
// False when no more are kept: the caller keeps its texture.
bool keep_message_texture(TTF_Font *font, const char *text, const MessageLayout &layout,
                          const ComposedMessage &message);

// The size of text as TTF_SizeText measures it in font, kept for the current frame. False when
// it cannot be measured.
bool text_size(TTF_Font *font, const char *text, int &width, int &height);

// Starts a frame: what the frame before did not use is dropped (its textures destroyed), so
// that only what the last two frames used is kept.
void start_text_frame();

// Destroys every kept texture; called before the renderer is destroyed.
void release_line_textures();
