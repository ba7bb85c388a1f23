// Test videos made on the fly, so that no media file is kept in the repository: a small
// uncompressed AVI writer (8, 16, 24, 32-bit DIB frames, optional PCM sound, optional damage)
// and MJPEG AVIs made with FFmpeg's encoders.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vt_test {

// A picture, top row first, one 0xRRGGBB value per pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
};

// The colour of a surface's pixel as 0xRRGGBB, whatever its format.
uint32_t surface_rgb(SDL_Surface *surface, int x, int y);

// Four quadrants (top-left, top-right, bottom-left, bottom-right): a red/blue swap or a
// flipped picture shows as a wrong colour in a known place.
Picture quadrants(int width, int height, uint32_t top_left, uint32_t top_right,
                  uint32_t bottom_left, uint32_t bottom_right);

struct PcmSound {
    uint16_t channels = 1;
    uint32_t rate = 22050;
    uint16_t bits = 16;
    std::vector<uint8_t> data;
    uint16_t format_tag = 1;  // WAVEFORMATEX tag written into the file (1: PCM)
};

// A square wave of seconds at rate, 16-bit (amplitude 8000) or 8-bit.
PcmSound tone(double seconds, uint32_t rate = 22050, uint16_t channels = 1, uint16_t bits = 16);

struct AviSpec {
    int bits = 24;  // 8 (palette of the pictures' colours), 16 (5-5-5), 24 or 32
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

// Writes an uncompressed AVI. False when the file cannot be written.
bool write_avi(const std::string &path, const AviSpec &spec);

enum class SoundCodec { None, Pcm, Mp2 };

// Writes an AVI of frame_count MJPEG frames picture(i) at rate frames per second, with
// seconds_of_sound of a 44.1 kHz stereo tone (16-bit PCM or MP2). False on failure.
bool write_mjpeg_avi(const std::string &path, int width, int height, int frame_count, int rate,
                     SoundCodec sound, double seconds_of_sound,
                     const std::function<Picture(int)> &picture);

}  // namespace vt_test
