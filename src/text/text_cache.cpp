// The kept textures and sizes: short lists searched in order, each entry stamped with the last
// frame that used it.
#include "text/text_cache.h"

#include <SDL_ttf.h>

#include <algorithm>
#include <string>
#include <vector>

#include "frame/expt_window.h"
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
    SDL_Rect ink;
    uint64_t frame;  // the last frame that drew it
};

struct KeptMessage {
    Made made;
    MessageLayout layout;
    ComposedMessage message;
    uint64_t frame;  // the last frame that drew it
};

struct KeptSize {
    Made made;
    int width, height;
    uint64_t frame;  // the last frame that measured it
};

std::vector<KeptLine> keptLines;
std::vector<KeptMessage> keptMessages;
std::vector<KeptSize> keptSizes;
uint64_t currentFrame = 0;

bool same_colour(SDL_Color a, SDL_Color b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

bool same_layout(const MessageLayout &a, const MessageLayout &b) {
    return a.flags == b.flags && a.x == b.x && a.y == b.y && same_colour(a.colour, b.colour) &&
           same_colour(a.background, b.background) && a.window == b.window &&
           a.margins == b.margins;
}

SDL_Texture *texture_of(const KeptLine &line) { return line.texture; }
SDL_Texture *texture_of(const KeptMessage &kept) { return kept.message.texture; }

// Destroys the kept textures of entries last drawn before frame.
template <typename Entry>
void drop_before(std::vector<Entry> &entries, uint64_t frame) {
    const auto stale = std::partition(entries.begin(), entries.end(),
                                      [frame](const Entry &entry) { return entry.frame >= frame; });
    if (stale == entries.end()) return;
    take_renderer();
    for (auto entry = stale; entry != entries.end(); ++entry)
        SDL_DestroyTexture(texture_of(*entry));
    entries.erase(stale, entries.end());
}

void drop_textures_before(uint64_t frame) {
    drop_before(keptLines, frame);
    drop_before(keptMessages, frame);
}

}  // namespace

SDL_Texture *find_line_texture(TTF_Font *font, const char *text, SDL_Color colour,
                               SDL_Rect *ink) {
    for (KeptLine &line : keptLines) {
        if (!line.made.is(font, text) || !same_colour(line.colour, colour)) continue;
        line.frame = currentFrame;
        if (ink) *ink = line.ink;
        return line.texture;
    }
    return nullptr;
}

bool keep_line_texture(TTF_Font *font, const char *text, SDL_Color colour, SDL_Texture *texture,
                       SDL_Rect ink) {
    if (keptLines.size() >= kMaxKept) return false;
    keptLines.push_back({{text, font, font_generation()}, colour, texture, ink, currentFrame});
    return true;
}

const ComposedMessage *find_message_texture(TTF_Font *font, const char *text,
                                            const MessageLayout &layout) {
    for (KeptMessage &kept : keptMessages) {
        if (!kept.made.is(font, text) || !same_layout(kept.layout, layout)) continue;
        kept.frame = currentFrame;
        return &kept.message;
    }
    return nullptr;
}

bool keep_message_texture(TTF_Font *font, const char *text, const MessageLayout &layout,
                          const ComposedMessage &message) {
    if (keptMessages.size() >= kMaxKept) return false;
    keptMessages.push_back({{text, font, font_generation()}, layout, message, currentFrame});
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
    drop_textures_before(currentFrame);
    keptSizes.erase(std::remove_if(keptSizes.begin(), keptSizes.end(),
                                   [](const KeptSize &size) { return size.frame < currentFrame; }),
                    keptSizes.end());
    ++currentFrame;
}

void release_line_textures() { drop_textures_before(currentFrame + 1); }
