// The kept line textures: a short list searched in order, each entry stamped with the last
// frame that drew it.
#include "text/line_textures.h"

#include <algorithm>
#include <string>
#include <vector>

#include "frame/expt_window.h"
#include "text/fonts.h"

namespace {

// Drawing that starts no frames keeps no more lines than this.
constexpr size_t kMaxKeptLines = 32;

struct KeptLine {
    std::string text;
    const TTF_Font *font;
    // The pointer alone could name a font opened where a closed one was.
    uint64_t fontGeneration;
    SDL_Color colour;
    SDL_Texture *texture;
    uint64_t frame;  // the last frame that drew it
};

std::vector<KeptLine> keptLines;
uint64_t currentFrame = 0;

bool same_colour(SDL_Color a, SDL_Color b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// Destroys the kept textures last drawn before frame.
void drop_lines_before(uint64_t frame) {
    const auto stale =
        std::partition(keptLines.begin(), keptLines.end(),
                       [frame](const KeptLine &line) { return line.frame >= frame; });
    if (stale == keptLines.end()) return;
    take_renderer();
    for (auto line = stale; line != keptLines.end(); ++line) SDL_DestroyTexture(line->texture);
    keptLines.erase(stale, keptLines.end());
}

}  // namespace

SDL_Texture *find_line_texture(TTF_Font *font, const char *text, SDL_Color colour) {
    const uint64_t generation = font_generation();
    for (KeptLine &line : keptLines) {
        if (line.font != font || line.fontGeneration != generation ||
            !same_colour(line.colour, colour) || line.text != text)
            continue;
        line.frame = currentFrame;
        return line.texture;
    }
    return nullptr;
}

bool keep_line_texture(TTF_Font *font, const char *text, SDL_Color colour, SDL_Texture *texture) {
    if (keptLines.size() >= kMaxKeptLines) return false;
    keptLines.push_back({text, font, font_generation(), colour, texture, currentFrame});
    return true;
}

void start_text_frame() {
    drop_lines_before(currentFrame);
    ++currentFrame;
}

void release_line_textures() { drop_lines_before(currentFrame + 1); }
