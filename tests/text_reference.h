// Reference pictures for the text tests: lines rendered straight through SDL2_ttf with the
// current font, placed where a test expects them, to compare with what the library drew.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/expt_window.h"
#include "test_support.h"
#include "text/fonts.h"

namespace text_test {

// Asymmetric colours: a red/blue swap changes every text pixel.
constexpr SDL_Color kInk{220, 40, 90, 255};
constexpr SDL_Color kPaper{30, 120, 200, 255};

struct RefLine {
    std::string text;
    int x;
    int y;
};

inline void clear_window() {
    SDL_SetRenderDrawColor(exptGraphics.renderer, kPaper.r, kPaper.g, kPaper.b, kPaper.a);
    SDL_RenderClear(exptGraphics.renderer);
}

inline int text_width(const std::string &text) {
    int w = 0;
    TTF_SizeText(current_font(), text.c_str(), &w, nullptr);
    return w;
}

inline int text_height(const std::string &text) {
    int h = 0;
    TTF_SizeText(current_font(), text.c_str(), nullptr, &h);
    return h;
}

// The window as it looks with exactly these lines drawn on the paper colour.
inline vt_test::Pixels reference(const std::vector<RefLine> &lines, SDL_Color ink = kInk) {
    clear_window();
    for (const RefLine &line : lines) {
        SDL_Surface *surface = TTF_RenderText_Blended(current_font(), line.text.c_str(), ink);
        EXPECT_NE(surface, nullptr) << line.text;
        if (!surface) continue;
        SDL_Texture *texture = SDL_CreateTextureFromSurface(exptGraphics.renderer, surface);
        const SDL_Rect rect{line.x, line.y, surface->w, surface->h};
        SDL_RenderCopy(exptGraphics.renderer, texture, nullptr, &rect);
        SDL_DestroyTexture(texture);
        SDL_FreeSurface(surface);
    }
    return vt_test::read_window_pixels();
}

inline size_t differing_pixels(const vt_test::Pixels &a, const vt_test::Pixels &b) {
    if (a.data.size() != b.data.size()) return SIZE_MAX;
    size_t count = 0;
    for (size_t i = 0; i < a.data.size(); ++i) count += a.data[i] != b.data[i];
    return count;
}

inline size_t ink_pixels(const vt_test::Pixels &p) {
    const uint32_t paper = vt_test::rgba(kPaper.r, kPaper.g, kPaper.b);
    size_t count = 0;
    for (uint32_t pixel : p.data) count += pixel != paper;
    return count;
}

}  // namespace text_test
