// Helpers shared by the calibration tests: asymmetric test images, a check of the drawn ring
// on screen, the calibration look returned to its defaults between cases, and reading WAV
// clips.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio_output.h"
#include "calibration/cal_data.h"
#include "calibration/feedback_sounds.h"
#include "test_support.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace cal_test {

struct SurfaceDeleter {
    void operator()(SDL_Surface *surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// Colours (0xRRGGBBAA) of an image's top-left, top-right, bottom-left, bottom-right quarters.
using Quadrants = std::array<uint32_t, 4>;

inline uint32_t quadrant_colour(const Quadrants &q, int x, int y, int w, int h) {
    return q[size_t((y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0))];
}

// A w × h opaque image in four differently coloured quarters: a mirrored, flipped or
// channel-swapped copy cannot pass for it.
inline SurfacePtr quadrant_image(int w, int h, const Quadrants &q) {
    SurfacePtr image(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA8888));
    if (!image) return image;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            static_cast<uint32_t *>(image->pixels)[y * image->pitch / 4 + x] =
                quadrant_colour(q, x, y, w, h);
    return image;
}

inline SDL_Color colour(uint32_t rgba) {
    return SDL_Color{uint8_t(rgba >> 24), uint8_t(rgba >> 16), uint8_t(rgba >> 8), uint8_t(rgba)};
}

inline std::array<uint8_t, 4> bytes(uint32_t rgba) {
    return {uint8_t(rgba >> 24), uint8_t(rgba >> 16), uint8_t(rgba >> 8), uint8_t(rgba)};
}

// Checks the ring of radii outer and inner whose (2·outer + 2) × 2·outer texture was copied
// with its top-left corner at (left, top): the disc spans columns 1 to 2·outer + 1 and rows 0
// to 2·outer - 1 of the texture; pixels clearly inside the hole or outside the disc show the
// background, pixels clearly between them the foreground.
inline void expect_ring(const vt_test::Pixels &p, int left, int top, int outer, int inner,
                        uint32_t fg, uint32_t bg) {
    const double cx = left + outer + 1, cy = top + outer;
    int min_x = 1 << 30, max_x = -1, min_y = 1 << 30, max_y = -1, wrong = 0;
    for (int y = top - 2; y < top + 2 * outer + 2; ++y)
        for (int x = left - 2; x < left + 2 * outer + 4; ++x) {
            const uint32_t pixel = p.at(x, y);
            ASSERT_TRUE(pixel == fg || pixel == bg) << "foreign colour at " << x << "," << y;
            const bool inside_texture =
                x >= left && x < left + 2 * outer + 2 && y >= top && y < top + 2 * outer;
            if (pixel == fg) {
                EXPECT_TRUE(inside_texture) << "disc pixel outside the texture at " << x << "," << y;
                min_x = std::min(min_x, x), max_x = std::max(max_x, x);
                min_y = std::min(min_y, y), max_y = std::max(max_y, y);
            }
            const double d = std::hypot(x - cx, y - cy);
            const bool in_hole = inner > 0 && d <= inner - 1;
            const bool on_disc = d <= outer - 1 && d >= inner + 1;
            if ((in_hole || d >= outer + 1) && pixel != bg) ++wrong;
            if (on_disc && pixel != fg) ++wrong;
        }
    EXPECT_EQ(wrong, 0) << "pixels of the wrong colour in the ring at " << left << "," << top;
    if (inner >= outer) {
        EXPECT_EQ(max_x, -1) << "a hole as large as the disc leaves no disc";
        return;
    }
    EXPECT_EQ(min_x, left + 1);
    EXPECT_EQ(max_x, left + 2 * outer + 1);
    EXPECT_EQ(min_y, top);
    EXPECT_EQ(max_y, top + 2 * outer - 1);
}

constexpr uint32_t kDefaultForeground = vt_test::rgba(0, 0, 0);
constexpr uint32_t kDefaultBackground = vt_test::rgba(180, 180, 180);

// Default colours, ring radii 8 and 2, no custom target or background, display flags 0.
inline void restore_default_look() {
    set_cal_target_surface(nullptr);
    reset_background_surface();
    const auto fg = bytes(kDefaultForeground), bg = bytes(kDefaultBackground);
    set_calibration_colors(fg.data(), bg.data());
    set_target_size(16, 4);
    standin_set_display_flags(0);
}

// A RIFF WAVE file's format and samples, read chunk by chunk.
struct Wav {
    bool ok = false;
    uint16_t format = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t rate = 0, byteRate = 0, fmtSize = 0;
    std::vector<int16_t> samples;  // the 'data' chunk as 16-bit samples
};

inline uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

inline Wav parse_wav(const uint8_t *data, size_t size) {
    Wav wav;
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0 ||
        le32(data + 4) != size - 8)
        return wav;
    bool have_fmt = false, have_data = false;
    for (size_t at = 12; at + 8 <= size;) {
        const uint32_t length = le32(data + at + 4);
        const uint8_t *body = data + at + 8;
        if (at + 8 + length > size) return wav;
        if (std::memcmp(data + at, "fmt ", 4) == 0 && length >= 16) {
            wav.fmtSize = length;
            wav.format = le16(body);
            wav.channels = le16(body + 2);
            wav.rate = le32(body + 4);
            wav.byteRate = le32(body + 8);
            wav.blockAlign = le16(body + 12);
            wav.bits = le16(body + 14);
            have_fmt = true;
        } else if (std::memcmp(data + at, "data", 4) == 0) {
            for (uint32_t i = 0; i + 1 < length; i += 2)
                wav.samples.push_back(int16_t(le16(body + i)));
            have_data = true;
        }
        at += 8 + length + (length & 1);
    }
    wav.ok = have_fmt && have_data;
    return wav;
}

// The samples of the built-in clip a sound kind plays.
inline std::vector<int16_t> clip_samples(int32_t kind) {
    const BuiltinClip clip = builtin_clip(kind);
    return parse_wav(clip.data, clip.size).samples;
}

// Where clip starts in output, or -1 when output does not hold it sample for sample.
inline long find_clip(const std::vector<int16_t> &output, const std::vector<int16_t> &clip) {
    const auto at = std::search(output.begin(), output.end(), clip.begin(), clip.end());
    return at == output.end() || clip.empty() ? -1 : long(at - output.begin());
}

}  // namespace cal_test
