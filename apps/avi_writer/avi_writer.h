// A small writer of RIFF media files: AVIs of 8-bit (palette, stored or run-length encoded),
// 16-bit (5-5-5), 24 or 32-bit DIB frames with an optional PCM sound track, and WAV files; for the demo's animated
// target and the tests' videos and sounds (which may also ask for a damaged frame). Nothing but
// the C++ library is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace avi {

// A picture, top row first, one 0xRRGGBB value per pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
};

struct PcmSound {
    uint16_t channels = 1;
    uint32_t rate = 22050;
    uint16_t bits = 16;
    std::vector<uint8_t> data;
    uint16_t format_tag = 1;  // WAVEFORMATEX tag written into the file (1: PCM)
};

struct AviSpec {
    int bits = 24;  // 8 (palette of the pictures' colours), 16 (5-5-5), 24 or 32
    bool rle8 = false;  // with bits 8: frames stored run-length encoded (BI_RLE8)
    uint32_t rate = 30;
    uint32_t scale = 1;
    std::vector<Picture> frames;  // all of one size
    bool with_sound = false;
    PcmSound sound;
    int short_frame = -1;  // this frame's chunk holds only half its rows (a damaged file)
    int width = 0, height = 0;  // size for a video without frames
    // Instead of frames: this many black frames of width x height, stored run-length encoded
    // (BI_RLE8) as the end-of-picture code alone, two bytes each (a decompression bomb).
    int blank_frames = 0;
};

// Writes an AVI. False when the file cannot be written.
bool write_avi(const std::string &path, const AviSpec &spec);

// Writes sound as a RIFF WAVE file. False when the file cannot be written.
bool write_wav(const std::string &path, const PcmSound &sound);

}  // namespace avi
