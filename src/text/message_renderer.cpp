// The message renderer: formatting, fitting a line into the window, wrapping at blanks or at
// a newline, alignment, and drawing each line as a blended SDL2_ttf texture; textures and
// measured sizes are kept while the same text is drawn again, and a message drawn onto a known
// background is kept whole, composed into one opaque texture whose inked parts are drawn.
#include "text/message_renderer.h"

#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "frame/expt_window.h"
#include "text/fonts.h"
#include "text/text_cache.h"

namespace {

int marginLeft = 0;
int marginRight = 0;
int marginTop = 0;
int marginBottom = 0;

struct SurfaceDeleter {
    void operator()(SDL_Surface *surface) const { SDL_FreeSurface(surface); }
};
struct TextureDeleter {
    void operator()(SDL_Texture *texture) const { SDL_DestroyTexture(texture); }
};

// Where the glyphs of a rendered line put ink: the span of the rows and of the columns that
// hold a pixel not fully transparent, empty when none does. Drawn with blending, the other
// pixels leave the window as it was. Without an alpha channel every pixel counts.
SDL_Rect ink_of(const SDL_Surface *surface) {
    const Uint32 alpha = surface->format->Amask;
    if (surface->format->BytesPerPixel != 4 || alpha == 0) return {0, 0, surface->w, surface->h};
    int left = surface->w, right = 0, top = surface->h, bottom = 0;
    for (int y = 0; y < surface->h; ++y) {
        const auto *row = reinterpret_cast<const Uint32 *>(
            static_cast<const Uint8 *>(surface->pixels) + ptrdiff_t(y) * surface->pitch);
        for (int x = 0; x < surface->w; ++x) {
            if (!(row[x] & alpha)) continue;
            left = std::min(left, x);
            right = std::max(right, x + 1);
            top = std::min(top, y);
            bottom = y + 1;
        }
    }
    if (right <= left) return {0, 0, 0, 0};
    return {left, top, right - left, bottom - top};
}

// A new texture of line: rendered blended by SDL2_ttf and uploaded into renderer; ink receives
// where its glyphs put ink.
SDL_Texture *render_line(SDL_Renderer *renderer, TTF_Font *font, const char *line,
                         SDL_Color colour, SDL_Rect &ink) {
    std::unique_ptr<SDL_Surface, SurfaceDeleter> surface(
        TTF_RenderText_Blended(font, line, colour));
    if (!surface) {
        std::printf("Could not create text surface (%s)\n", SDL_GetError());
        return nullptr;
    }
    ink = ink_of(surface.get());
    SDL_Texture *texture = SDL_CreateTextureFromSurface(renderer, surface.get());
    if (!texture) std::printf("Could not create texture from surface (%s)\n", SDL_GetError());
    return texture;
}

}  // namespace

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Width of the first length characters of line (which holds at least that many).
int prefix_width(TTF_Font *font, char *line, size_t length) {
    const char kept = line[length];
    line[length] = '\0';
    int width = 0;
    if (TTF_SizeText(font, line, &width, nullptr) != 0) width = 0;
    line[length] = kept;
    return width;
}

// Index of the first line feed or carriage return after the first character, 0 when none.
size_t first_newline(const char *line, size_t length) {
    for (size_t i = 1; i < length; ++i)
        if (line[i] == '\n' || line[i] == '\r') return i;
    return 0;
}

size_t find_line_break(TTF_Font *font, char *line, size_t length, int room, bool &blank_break) {
    const size_t newline = first_newline(line, length);
    // The break is the last blank whose line, blank included, is narrower than room. SDL_ttf
    // measures a text as the span of its glyphs' extents, which a further character can only
    // widen, so the blanks' widths rise with their index and a binary search over the blanks
    // finds the break that a search from the end would.
    std::array<uint16_t, kLineSize> blanks;
    size_t count = 0;
    for (size_t i = 0; i < length; ++i)
        if (is_blank(line[i])) blanks[count++] = static_cast<uint16_t>(i);
    size_t fitting = 0;  // blanks[0 .. fitting) fit
    for (size_t low = 0, high = count; low < high;) {
        const size_t middle = low + (high - low) / 2;
        if (prefix_width(font, line, blanks[middle] + 1u) < room) {
            low = middle + 1;
            fitting = low;
        } else {
            high = middle;
        }
    }
    const size_t blank = fitting > 0 ? blanks[fitting - 1] : 0;
    blank_break = blank != 0 && (newline == 0 || blank < newline);
    if (blank != 0 && newline != 0) return std::min(blank, newline);
    return blank != 0 ? blank : newline;
}

namespace {

using TexturePtr = std::unique_ptr<SDL_Texture, TextureDeleter>;

// The texture of line: a kept one, or one made now. Only the experiment window's renderer keeps
// textures (its release destroys them); a texture not kept is handed to made. Null when none
// could be made.
SDL_Texture *line_texture(SDL_Renderer *renderer, TTF_Font *font, const char *line,
                          SDL_Color colour, TexturePtr &made, SDL_Rect &ink) {
    const bool keep = renderer == exptGraphics.renderer;
    if (SDL_Texture *kept = keep ? find_line_texture(font, line, colour, &ink) : nullptr)
        return kept;
    made.reset(render_line(renderer, font, line, colour, ink));
    if (made && keep && keep_line_texture(font, line, colour, made.get(), ink))
        return made.release();
    return made.get();
}

// A line drawn with its place in the window, and where in its texture the glyphs put ink.
struct PlacedLine {
    SDL_Texture *texture;
    SDL_Rect rect, ink;
};

// The line at (x, y), aligned as flags ask; false (nothing placed) when it cannot be rendered.
bool place_line(SDL_Renderer *renderer, TTF_Font *font, const char *line, int x, int y,
                int window_width, uint32_t flags, SDL_Color colour, TexturePtr &made,
                PlacedLine &placed) {
    placed.texture = line_texture(renderer, font, line, colour, made, placed.ink);
    if (!placed.texture) return false;
    placed.rect = {x, y, 0, 0};
    SDL_QueryTexture(placed.texture, nullptr, nullptr, &placed.rect.w, &placed.rect.h);
    align_text_rect(placed.rect, window_width, flags);
    return true;
}

// Lays text out from (x, y) as draw_message_line describes, handing each line and its place to
// draw, which returns false to stop.
template <typename Draw>
void lay_out(SDL_Window *window, const char *text, uint32_t flags, int x, int y, Draw draw) {
    if (!current_font()) get_new_font("sans", 30, 0);
    TTF_Font *font = current_font();
    if (!font) {
        std::printf("Font cannot be loaded\n");
        return;
    }
    std::array<char, kLineSize> line;
    while (true) {
        int text_width = 0, text_height = 0;
        if (!text_size(font, text, text_width, text_height)) {
            std::printf("Could not measure text (%s)\n", SDL_GetError());
            return;
        }
        // The experiment window's renderer may be lent to the playback thread.
        SDL_Renderer *renderer = window == exptGraphics.window ? drawing_renderer()
                                 : window                       ? SDL_GetRenderer(window)
                                                                : nullptr;
        if (!renderer) {
            std::printf("Invalid window handle\n");
            return;
        }
        int window_width = 0, window_height = 0;
        SDL_GetWindowSize(window, &window_width, &window_height);
        if (y + text_height + marginBottom > window_height) return;

        const size_t length = strnlen(text, kLineSize - 1);
        std::memcpy(line.data(), text, length);
        line[length] = '\0';
        bool blank_break = false;
        size_t cut = 0;
        if (x + marginRight + text_width <= window_width) {
            // It fits, yet its line feeds still end lines: a menu of several lines must not
            // show them as glyphs on one line.
            cut = first_newline(line.data(), length);
            if (cut == 0) {
                if (length > 0) draw(renderer, font, line.data(), x, y, window_width);
                return;
            }
        } else {
            cut = find_line_break(font, line.data(), length, window_width - x - marginRight,
                                  blank_break);
            if (cut == 0) return;  // the first word alone is wider than the room
        }
        line[cut] = '\0';
        if (!draw(renderer, font, line.data(), x, y, window_width)) return;
        if (!(flags & kTextContinue)) return;

        size_t rest = cut + 1;
        if (text[cut] == '\r' && text[rest] == '\n') ++rest;  // a CR-LF ends one line
        if (blank_break)
            while (rest < kLineSize - 1 && text[rest] == ' ') ++rest;
        text += rest;
        y += static_cast<int>(text_height * kLineSpacing);
    }
}

// The lines of a message composed once into one opaque texture over its background: what they
// cover is copied, blended already, without blending again. Each line is blended over the lines
// before it exactly as it would be in the window, overlapping lines included, so the pixels are
// those of drawing the lines one by one onto the background. Only the lines' inked parts differ
// from the background; they are all that is copied. A renderer that rasterises in software
// (llvmpipe) pays for every pixel a copy covers, and glyphs fill only part of a line's box. False
// when the renderer cannot draw into a texture.
bool compose(SDL_Renderer *renderer, SDL_Window *window, const std::vector<PlacedLine> &lines,
             SDL_Color background, ComposedMessage &message) {
    SDL_Rect &place = message.place;
    place = lines.front().rect;
    for (const PlacedLine &line : lines) SDL_UnionRect(&place, &line.rect, &place);
    Uint32 format = SDL_GetWindowPixelFormat(window);
    if (format == SDL_PIXELFORMAT_UNKNOWN) format = SDL_PIXELFORMAT_ARGB8888;
    if (!SDL_RenderTargetSupported(renderer)) return false;
    TexturePtr composed(
        SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_TARGET, place.w, place.h));
    if (!composed) return false;
    SDL_Texture *target = SDL_GetRenderTarget(renderer);
    SDL_Color colour{};
    SDL_GetRenderDrawColor(renderer, &colour.r, &colour.g, &colour.b, &colour.a);
    bool drawn = SDL_SetRenderTarget(renderer, composed.get()) == 0 &&
                 SDL_SetRenderDrawColor(renderer, background.r, background.g, background.b,
                                        255) == 0 &&
                 SDL_RenderClear(renderer) == 0;
    message.inked.clear();
    for (const PlacedLine &line : lines) {
        const SDL_Point at{line.rect.x - place.x, line.rect.y - place.y};
        const SDL_Rect rect{at.x, at.y, line.rect.w, line.rect.h};
        drawn = drawn && SDL_RenderCopy(renderer, line.texture, nullptr, &rect) == 0;
        if (!SDL_RectEmpty(&line.ink))
            message.inked.push_back(
                {at.x + line.ink.x, at.y + line.ink.y, line.ink.w, line.ink.h});
    }
    drawn = SDL_SetRenderTarget(renderer, target) == 0 && drawn;
    SDL_SetRenderDrawColor(renderer, colour.r, colour.g, colour.b, colour.a);
    if (!drawn || SDL_SetTextureBlendMode(composed.get(), SDL_BLENDMODE_NONE) != 0) return false;
    message.texture = composed.release();
    return true;
}

// Draws text onto the window's background (below) as the inked parts of one composed texture,
// kept while the same message is drawn again in the same place.
void draw_composed(SDL_Window *window, const char *text, uint32_t flags, int x, int y,
                   SDL_Color colour, SDL_Color background) {
    TTF_Font *font = current_font();
    MessageLayout layout{flags, x, y, colour, background, {0, 0},
                         {marginLeft, marginRight, marginTop, marginBottom}};
    SDL_GetWindowSize(window, &layout.window[0], &layout.window[1]);
    const ComposedMessage *found = font ? find_message_texture(font, text, layout) : nullptr;
    ComposedMessage made{};
    TexturePtr made_texture;
    if (!found) {
        std::vector<PlacedLine> lines;
        std::vector<TexturePtr> made_lines;
        lay_out(window, text, flags, x, y,
                [&](SDL_Renderer *renderer, TTF_Font *line_font, const char *line, int line_x,
                    int line_y, int window_width) {
                    PlacedLine placed{};
                    made_lines.emplace_back();
                    if (!place_line(renderer, line_font, line, line_x, line_y, window_width,
                                    flags, colour, made_lines.back(), placed))
                        return false;
                    lines.push_back(placed);
                    return true;
                });
        if (lines.empty()) return;
        SDL_Renderer *renderer = drawing_renderer();
        if (!compose(renderer, window, lines, background, made)) {
            // Lines drawn one by one give the same pixels.
            for (const PlacedLine &line : lines)
                SDL_RenderCopy(renderer, line.texture, nullptr, &line.rect);
            return;
        }
        made_texture.reset(made.texture);
        found = &made;
        // The lines' font: loaded while laying out when there was none.
        if (keep_message_texture(current_font(), text, layout, made)) made_texture.release();
    }
    for (const SDL_Rect &part : found->inked) {
        const SDL_Rect place{found->place.x + part.x, found->place.y + part.y, part.w, part.h};
        SDL_RenderCopy(drawing_renderer(), found->texture, &part, &place);
    }
}

}  // namespace

void set_text_margins(int left, int right, int top, int bottom) {
    marginLeft = left;
    marginRight = right;
    marginTop = top;
    marginBottom = bottom;
}

void align_text_rect(SDL_Rect &rect, int window_width, uint32_t flags) {
    if (flags & kTextFlushRight) rect.x = window_width - rect.w;
    if (flags & kTextCentred) rect.x = (window_width - rect.w) / 2;
}

namespace {

// Formats the message and draws it, onto background when one is given.
void draw_formatted(const SDL_Color *background, SDL_Window *window, SDL_Color colour,
                    uint32_t flags, int x, int y, const char *format, va_list args) {
    if (!format) return;
    if (flags & kTextContinue) {
        x += marginLeft;
        y += marginTop;
    }
    std::array<char, kMessageSize> text;
    const int length = std::vsnprintf(text.data(), text.size(), format, args);
    if (length < 0) return;  // an encoding error leaves nothing to draw
    // Only the experiment window's renderer keeps what is composed.
    if (background && window && window == exptGraphics.window)
        draw_composed(window, text.data(), flags, x, y, colour, *background);
    else
        draw_message_line(window, text.data(), flags, x, y, colour);
}

}  // namespace

void draw_message(SDL_Window *window, SDL_Color colour, uint32_t flags, int x, int y,
                  const char *format, ...) {
    va_list args;
    va_start(args, format);
    draw_formatted(nullptr, window, colour, flags, x, y, format, args);
    va_end(args);
}

void draw_message_on(const SDL_Color *background, SDL_Window *window, SDL_Color colour,
                     uint32_t flags, int x, int y, const char *format, ...) {
    va_list args;
    va_start(args, format);
    draw_formatted(background, window, colour, flags, x, y, format, args);
    va_end(args);
}

// Line after line rather than by recursion, so that a long message cannot exhaust the stack.
void draw_message_line(SDL_Window *window, const char *text, uint32_t flags, int x, int y,
                       SDL_Color colour) {
    if (!text) return;
    lay_out(window, text, flags, x, y,
            [&](SDL_Renderer *renderer, TTF_Font *font, const char *line, int line_x,
                int line_y, int window_width) {
                TexturePtr made;
                PlacedLine placed{};
                if (!place_line(renderer, font, line, line_x, line_y, window_width, flags,
                                colour, made, placed))
                    return false;
                SDL_RenderCopy(renderer, placed.texture, nullptr, &placed.rect);
                return true;
            });
}
