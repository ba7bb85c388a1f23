// The camera overlay's drawing callbacks (line, circle or lozenge outline, mouse position)
// and the bars and half arcs they are built from, drawn with SDL2_gfx on the window.
#pragma once

#include <cstdint>

#include "vistrak_core64.h"

// Callbacks of the OverlayContext. Coordinates are drawn-image pixels; the drawn image is
// taken to be centred in the window with the size of the context's overlaySurface.
// colour: 1, 2 white; 3, 6 green; 4, 5, 7 red; anything else black.
int draw_overlay_line(OverlayContext *context, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      int32_t colour);
int draw_overlay_lozenge(OverlayContext *context, int32_t x, int32_t y, int32_t width,
                         int32_t height, int32_t colour);
int get_overlay_mouse(OverlayContext *context, int32_t *x, int32_t *y, uint32_t *state);

// Bars in window coordinates: rows y - 1 and y; columns x - 1 to x + 1.
int draw_hline(int32_t x1, int32_t x2, int32_t y, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
int draw_vline(int32_t x, int32_t y1, int32_t y2, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

// One curved end of a lozenge in window coordinates, diameter d, two pixels thick.
// kind: 0 top, 1 left, 2 right (x is the centre's x), 3 bottom (y is one below the centre).
int draw_half_arc(OverlayContext *context, int32_t x, int32_t y, int32_t d, int32_t colour,
                  int32_t kind);
