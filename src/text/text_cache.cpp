// The kept textures and sizes: short lists searched in order, each entry stamped with the last
// frame that used it.
#include "text/text_cache.h"

#include <SDL_ttf.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/fonts.h"

namespace {

// Drawing that starts no frames keeps no more of each than this.
constexpr size_t kMaxKept = 32;

// What an entry was made from. The font pointer alone could name a font opened where a closed
// one was: its generation tells them apart.
struct Made {
    std::string text;
    const TTF_Font *font;
    uint64_t fontGeneration;
    bool is(const TTF_Font *other, const char *other_text) const {
        return font == other && fontGeneration == font_generation() && text == other_text;
    }
};

struct KeptLine {
    Made made;
    SDL_Color colour;
    SDL_Texture *texture;
    uint64_t frame;  // the last frame that drew it
};

struct KeptSize {
    Made made;
    int width, height;
    uint64_t frame;  // the last frame that measured it
};

const SDL_Renderer *keptRenderer = nullptr;
std::vector<KeptLine> keptLines;
std::vector<KeptSize> keptSizes;
uint64_t currentFrame = 0;

bool same_colour(SDL_Color a, SDL_Color b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// Destroys the kept textures of lines last drawn before frame.
void drop_lines_before(uint64_t frame) {
    const auto stale = std::partition(keptLines.begin(), keptLines.end(),
                                      [frame](const KeptLine &line) { return line.frame >= frame; });
    for (auto line = stale; line != keptLines.end(); ++line) SDL_DestroyTexture(line->texture);
    keptLines.erase(stale, keptLines.end());
}

}  // namespace

void keep_line_textures_of(SDL_Renderer *renderer) { keptRenderer = renderer; }

bool keeps_textures_of(const SDL_Renderer *renderer) {
    return renderer && renderer == keptRenderer;
}

SDL_Texture *find_line_texture(TTF_Font *font, const char *text, SDL_Color colour) {
    for (KeptLine &line : keptLines) {
        if (!line.made.is(font, text) || !same_colour(line.colour, colour)) continue;
        line.frame = currentFrame;
        return line.texture;
    }
    return nullptr;
}

bool keep_line_texture(TTF_Font *font, const char *text, SDL_Color colour, SDL_Texture *texture) {
    if (keptLines.size() >= kMaxKept) return false;
    keptLines.push_back({{text, font, font_generation()}, colour, texture, currentFrame});
    return true;
}

bool text_size(TTF_Font *font, const char *text, int &width, int &height) {
    for (KeptSize &size : keptSizes) {
        if (!size.made.is(font, text)) continue;
        size.frame = currentFrame;
        width = size.width;
        height = size.height;
        return true;
    }
    if (TTF_SizeText(font, text, &width, &height) != 0) return false;
    if (keptSizes.size() < kMaxKept)
        keptSizes.push_back({{text, font, font_generation()}, width, height, currentFrame});
    return true;
}

void start_text_frame() {
    drop_lines_before(currentFrame);
    keptSizes.erase(std::remove_if(keptSizes.begin(), keptSizes.end(),
                                   [](const KeptSize &size) { return size.frame < currentFrame; }),
                    keptSizes.end());
    ++currentFrame;
}

void release_line_textures() { drop_lines_before(currentFrame + 1); }
