// The overlay callbacks the core library draws the camera overlay with: lines, circle and
// lozenge outlines in numbered colours, and the mouse position in drawn-image pixels.
// Coordinates are worked in 64 bits and clamped to SDL2_gfx's 16-bit range, so values far
// off the image stay off it instead of wrapping onto it; the clip rectangle keeps the rest.
#include "camera/overlay_primitives.h"

#include <SDL.h>
#include <SDL2_gfxPrimitives.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "frame/expt_window.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
};

Rgb colour_of(int32_t colour) {
    switch (colour) {
    case 1:
    case 2: return {255, 255, 255};
    case 3:
    case 6: return {0, 255, 0};
    case 4:
    case 5:
    case 7: return {255, 0, 0};
    default: return {0, 0, 0};
    }
}

Sint16 gfx(int64_t value) {
    return static_cast<Sint16>(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}

// Window position of the drawn image's top-left corner: the overlay surface centred.
struct Origin {
    int64_t x = 0, y = 0;
};

bool overlay_size(const OverlayContext *context, int &width, int &height) {
    if (!context || !context->overlaySurface) return false;
    width = context->overlaySurface->w;
    height = context->overlaySurface->h;
    return true;
}

Origin origin_of(int width, int height) {
    return {(exptGraphics.window_rect.w - width) / 2, (exptGraphics.window_rect.h - height) / 2};
}

bool origin_of(const OverlayContext *context, Origin &origin) {
    int width = 0, height = 0;
    if (!overlay_size(context, width, height)) return false;
    origin = origin_of(width, height);
    return true;
}

int box(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t r, uint8_t g, uint8_t b,
        uint8_t a) {
    return boxRGBA(drawing_renderer(), gfx(x1), gfx(y1), gfx(x2), gfx(y2), r, g, b, a);
}

int aaline(int64_t x1, int64_t y1, int64_t x2, int64_t y2, Rgb c) {
    return aalineRGBA(drawing_renderer(), gfx(x1), gfx(y1), gfx(x2), gfx(y2), c.r, c.g, c.b,
                      255);
}

// An arc from start to end degrees, or a whole circle.
struct Shape {
    bool arc;
    Sint16 radius, start, end;
};

// Whether the outline of a circle of radius about (x, y) can touch the renderer's clip
// rectangle. One that passes wholly outside it, or around it, shows nothing there, however
// many points SDL2_gfx would work through for it: hundreds of thousands for a radius of
// SDL2_gfx's largest coordinates.
bool outline_may_show(SDL_Renderer *renderer, int64_t radius, int64_t x, int64_t y) {
    SDL_Rect clip;
    SDL_RenderGetClipRect(renderer, &clip);
    if (SDL_RectEmpty(&clip)) return true;
    constexpr int64_t kSlack = 2;  // the outline's width and SDL2_gfx's rounding
    const int64_t left = clip.x, right = left + clip.w, top = clip.y, bottom = top + clip.h;
    const int64_t near_x = std::clamp(x, left, right) - x, near_y = std::clamp(y, top, bottom) - y;
    const int64_t far_x = std::max(std::llabs(x - left), std::llabs(x - right));
    const int64_t far_y = std::max(std::llabs(y - top), std::llabs(y - bottom));
    const int64_t outer = radius + kSlack, inner = std::max<int64_t>(radius - kSlack, 0);
    return near_x * near_x + near_y * near_y <= outer * outer &&
           far_x * far_x + far_y * far_y >= inner * inner;
}

// Draws shape centred at (x, y) where it can show.
int draw_shape(const Shape &shape, int64_t x, int64_t y, Rgb c) {
    SDL_Renderer *renderer = drawing_renderer();
    // A negative radius is SDL2_gfx's to refuse.
    if (shape.radius >= 0 && !outline_may_show(renderer, shape.radius, gfx(x), gfx(y))) return 0;
    return shape.arc ? arcRGBA(renderer, gfx(x), gfx(y), shape.radius, shape.start, shape.end,
                               c.r, c.g, c.b, 255)
                     : circleRGBA(renderer, gfx(x), gfx(y), shape.radius, c.r, c.g, c.b, 255);
}

// Lines longer than this are drawn only where they cross the clip rectangle: SDL2_gfx draws an
// anti-aliased line pixel by pixel, each pixel a draw call, some hundred thousand of them for a
// line between its largest coordinates. No line of an image on a screen is as long.
constexpr int64_t kLongestWholeLine = 4096;

// Cuts the line from (x1, y1) to (x2, y2) to the renderer's clip rectangle and a margin for
// its smoothed edges, keeping its direction; false when it misses them.
bool clip_line(int64_t &x1, int64_t &y1, int64_t &x2, int64_t &y2) {
    SDL_Rect clip;
    SDL_RenderGetClipRect(drawing_renderer(), &clip);
    if (SDL_RectEmpty(&clip)) return true;
    constexpr double kMargin = 4;
    const double dx = double(x2 - x1), dy = double(y2 - y1);
    // Liang-Barsky: the part of the line, from 0 to 1, inside each of the four edges.
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {double(x1) - (clip.x - kMargin), clip.x + clip.w + kMargin - double(x1),
                         double(y1) - (clip.y - kMargin), clip.y + clip.h + kMargin - double(y1)};
    double from = 0, to = 1;
    for (int edge = 0; edge < 4; ++edge) {
        if (p[edge] == 0) {
            if (q[edge] < 0) return false;
            continue;
        }
        const double t = q[edge] / p[edge];
        if (p[edge] < 0)
            from = std::max(from, t);
        else
            to = std::min(to, t);
    }
    if (from > to) return false;
    const int64_t x0 = x1, y0 = y1;
    x1 = x0 + std::llround(from * dx), y1 = y0 + std::llround(from * dy);
    x2 = x0 + std::llround(to * dx), y2 = y0 + std::llround(to * dy);
    return true;
}

}  // namespace

int draw_hline(int32_t x1, int32_t x2, int32_t y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return box(x1, int64_t(y) - 1, x2, y, r, g, b, a);
}

int draw_vline(int32_t x, int32_t y1, int32_t y2, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return box(int64_t(x) - 1, y1, int64_t(x) + 1, y2, r, g, b, a);
}

int draw_overlay_line(OverlayContext *context, int32_t from_x, int32_t from_y, int32_t to_x,
                      int32_t to_y, int32_t colour) {
    Origin o;
    if (!origin_of(context, o)) return -1;
    const Rgb c = colour_of(colour);
    // Drawn from left to right whichever way the core library gives the line.
    if (to_x < from_x) {
        std::swap(from_x, to_x);
        std::swap(from_y, to_y);
    }
    int64_t x1 = from_x + o.x, y1 = from_y + o.y, x2 = to_x + o.x, y2 = to_y + o.y;
    if (x1 == x2) return draw_vline(gfx(x1), gfx(y1), gfx(y2), c.r, c.g, c.b, 255);
    if (y1 == y2) return draw_hline(gfx(x1), gfx(x2), gfx(y1), c.r, c.g, c.b, 255);
    x1 = gfx(x1), y1 = gfx(y1), x2 = gfx(x2), y2 = gfx(y2);
    if (std::max<int64_t>(x2 - x1, std::llabs(y2 - y1)) > kLongestWholeLine &&
        !clip_line(x1, y1, x2, y2))
        return 0;
    // A one-pixel anti-aliased line on either side thickens and smooths the plain line.
    if (y1 > y2) {
        aaline(x1, y1 - 1, x2 - 1, y2, c);
        aaline(x1 + 1, y1, x2, y2 + 1, c);
    } else {
        aaline(x1 + 1, y1, x2, y2 - 1, c);
        aaline(x1, y1 + 1, x2 - 1, y2, c);
    }
    return lineRGBA(drawing_renderer(), gfx(x1), gfx(y1), gfx(x2), gfx(y2), c.r, c.g, c.b,
                    255);
}

int draw_half_arc(OverlayContext *, int32_t x, int32_t y, int32_t d, int32_t colour,
                  int32_t kind) {
    const Rgb c = colour_of(colour);
    const int64_t r = d / 2;
    int64_t cx = int64_t(x) + r, cy = int64_t(y) + r;
    Sint16 start = 180, end = 360;
    switch (kind) {
    case 1: start = 90, end = 270; break;
    case 2: cx = x, start = 270, end = 90; break;
    case 3: cy = int64_t(y) - 1, start = 0, end = 180; break;
    default: break;
    }
    draw_shape({true, gfx(r), start, end}, cx, cy, c);
    return draw_shape({true, gfx(r - 1), start, end}, cx, cy, c);
}

int draw_overlay_lozenge(OverlayContext *context, int32_t x, int32_t y, int32_t width,
                         int32_t height, int32_t colour) {
    Origin o;
    if (!origin_of(context, o)) return -1;
    const Rgb c = colour_of(colour);
    const int64_t left = x + o.x, top = y + o.y, w = width, h = height;
    if (std::llabs(w - h) < 4) {
        // Near-square: a circle of the width's diameter.
        const int64_t r = w / 2;
        draw_shape({false, gfx(r), 0, 0}, left + r, top + r, c);
        return draw_shape({false, gfx(r - 1), 0, 0}, left + r, top + r, c);
    }
    if (w < h) {
        const int64_t r = w / 2;
        const int64_t y1 = top + r, y2 = top + r + (h - w);
        draw_vline(gfx(left), gfx(y1), gfx(y2), c.r, c.g, c.b, 255);
        draw_vline(gfx(left + w), gfx(y1), gfx(y2), c.r, c.g, c.b, 255);
        draw_half_arc(context, gfx(left), gfx(top), gfx(w), colour, 0);
        return draw_half_arc(context, gfx(left), gfx(top + h - r), gfx(w), colour, 3);
    }
    const int64_t r = h / 2;
    const int64_t x1 = left + r, x2 = left + r + (w - h);
    draw_hline(gfx(x1), gfx(x2), gfx(top), c.r, c.g, c.b, 255);
    draw_hline(gfx(x1), gfx(x2), gfx(top + h), c.r, c.g, c.b, 255);
    draw_half_arc(context, gfx(left), gfx(top), gfx(h), colour, 1);
    return draw_half_arc(context, gfx(left + w - r), gfx(top), gfx(h), colour, 2);
}

int get_overlay_mouse(OverlayContext *context, int32_t *x, int32_t *y, uint32_t *state) {
    int width = 0, height = 0;
    if (!overlay_size(context, width, height) || !x || !y || !state) return -1;
    int mx = 0, my = 0;
    const Uint32 buttons = SDL_GetMouseState(&mx, &my);
    const Origin o = origin_of(width, height);
    const int64_t ix = mx - o.x, iy = my - o.y;
    const bool inside = ix >= 0 && ix <= width && iy >= 0 && iy <= height;
    *x = int32_t(std::clamp<int64_t>(ix, 0, width));
    *y = int32_t(std::clamp<int64_t>(iy, 0, height));
    // The button state is reported only while the mouse is over the image.
    if (inside) *state = buttons & SDL_BUTTON_LMASK;
    return 0;
}
