// The message renderer: formatting, fitting a line into the window, wrapping at blanks or at
// a newline, alignment, and drawing each line as a blended SDL2_ttf texture; textures and
// measured sizes are kept while the same text is drawn again.
#include "text/message_renderer.h"

#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/console_output.h"
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

// A new texture of line: rendered blended by SDL2_ttf and uploaded into renderer.
SDL_Texture *render_line(SDL_Renderer *renderer, TTF_Font *font, const char *line,
                         SDL_Color colour) {
    std::unique_ptr<SDL_Surface, SurfaceDeleter> surface(
        TTF_RenderText_Blended(font, line, colour));
    if (!surface) {
        platform::print("Could not create text surface (%s)\n", SDL_GetError());
        return nullptr;
    }
    SDL_Texture *texture = SDL_CreateTextureFromSurface(renderer, surface.get());
    if (!texture) platform::print("Could not create texture from surface (%s)\n", SDL_GetError());
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

// The texture of line: a kept one, or one made now. Only the renderer the cache keeps textures
// of (the experiment window's) keeps them; a texture not kept is handed to made. Null when none
// could be made.
SDL_Texture *line_texture(SDL_Renderer *renderer, TTF_Font *font, const char *line,
                          SDL_Color colour, TexturePtr &made) {
    const bool keep = keeps_textures_of(renderer);
    if (SDL_Texture *kept = keep ? find_line_texture(font, line, colour) : nullptr) return kept;
    made.reset(render_line(renderer, font, line, colour));
    if (made && keep && keep_line_texture(font, line, colour, made.get())) return made.release();
    return made.get();
}

// Draws line at (x, y), aligned as flags ask; false when it cannot be rendered.
bool draw_line(SDL_Renderer *renderer, TTF_Font *font, const char *line, int x, int y,
               int window_width, uint32_t flags, SDL_Color colour) {
    TexturePtr made;
    SDL_Texture *texture = line_texture(renderer, font, line, colour, made);
    if (!texture) return false;
    SDL_Rect rect{x, y, 0, 0};
    SDL_QueryTexture(texture, nullptr, nullptr, &rect.w, &rect.h);
    align_text_rect(rect, window_width, flags);
    SDL_RenderCopy(renderer, texture, nullptr, &rect);
    return true;
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

void draw_message(SDL_Window *window, SDL_Color colour, uint32_t flags, int x, int y,
                  const char *format, ...) {
    if (!format) return;
    if (flags & kTextContinue) {
        x += marginLeft;
        y += marginTop;
    }
    std::array<char, kMessageSize> text;
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    if (length < 0) return;  // an encoding error leaves nothing to draw
    draw_message_line(window, text.data(), flags, x, y, colour);
}

// Line after line rather than by recursion, so that a long message cannot exhaust the stack.
void draw_message_line(SDL_Window *window, const char *text, uint32_t flags, int x, int y,
                       SDL_Color colour) {
    if (!text) return;
    if (!current_font()) get_new_font("sans", 30, 0);
    TTF_Font *font = current_font();
    if (!font) {
        platform::print("Font cannot be loaded\n");
        return;
    }
    std::array<char, kLineSize> line;
    while (true) {
        int text_width = 0, text_height = 0;
        if (!text_size(font, text, text_width, text_height)) {
            platform::print("Could not measure text (%s)\n", SDL_GetError());
            return;
        }
        SDL_Renderer *renderer = window ? SDL_GetRenderer(window) : nullptr;
        if (!renderer) {
            platform::print("Invalid window handle\n");
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
                if (length > 0) draw_line(renderer, font, line.data(), x, y, window_width, flags,
                                          colour);
                return;
            }
        } else {
            cut = find_line_break(font, line.data(), length, window_width - x - marginRight,
                                  blank_break);
            if (cut == 0) return;  // the first word alone is wider than the room
        }
        line[cut] = '\0';
        if (!draw_line(renderer, font, line.data(), x, y, window_width, flags, colour)) return;
        if (!(flags & kTextContinue)) return;

        size_t rest = cut + 1;
        if (text[cut] == '\r' && text[rest] == '\n') ++rest;  // a CR-LF ends one line
        if (blank_break)
            while (rest < kLineSize - 1 && text[rest] == ' ') ++rest;
        text += rest;
        y += static_cast<int>(text_height * kLineSpacing);
    }
}
