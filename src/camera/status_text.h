// The menu text and camera-view title drawn beside the camera image, in a font whose size
// follows the window width and the image's text scale.
#pragma once

#include <SDL.h>

#include <cstdint>

// 1 while a status font is current (set by select_scaled_font and set_cal_font, cleared when
// image display ends); the scale it was chosen for.
extern int32_t statusFontLoaded;
extern float statusFontScale;

// Draws the texts into the renderer without presenting.
void draw_status_text();
// The same onto a window just filled with the opaque colour background: each text is drawn as
// one texture, kept while it stays the same (the pixels are the same).
void draw_status_text_on(SDL_Color background);
// The same as draw_status_text with menu_text in place of the device's menu text.
void draw_status_text_with_menu(const char *menu_text);
// With mode 2: asks for the texts to be drawn and presented by the next hook that may draw
// (draw_requested_status_text, or any drawing of the status text); other modes do nothing. The
// callers are queries and key polls, which must not draw themselves: the renderer may be the
// playback thread's.
void refresh_status_text(int32_t mode);
// Carries out a requested redraw: draws the texts and presents, unless the playback thread
// owns the renderer (the request then waits for the next call).
void draw_requested_status_text();
// Makes a bold font of size 15 x scale current (scale taken as at least 1.0; sizes outside
// 5..100 give 15), unless one chosen for a scale less than 0.1 away is current already.
void select_scaled_font(float scale);
