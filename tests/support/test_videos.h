// Test videos and sounds made on the fly, so that no media file is kept in the repository:
// uncompressed AVIs and WAV files through the project's RIFF writer (8, 16, 24, 32-bit DIB
// frames, optional PCM sound, optional damage) and MJPEG, MPEG-4 and H.264 videos made with
// FFmpeg's encoders.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "avi_writer.h"
#include "calibration/sound_track.h"

namespace vt_test {

using avi::AviSpec;
using avi::PcmSound;
using avi::Picture;
using avi::write_avi;
using avi::write_wav;

// The colour of a surface's pixel as 0xRRGGBB, whatever its format.
uint32_t surface_rgb(SDL_Surface *surface, int x, int y);

// Four quadrants (top-left, top-right, bottom-left, bottom-right): a red/blue swap or a
// flipped picture shows as a wrong colour in a known place.
Picture quadrants(int width, int height, uint32_t top_left, uint32_t top_right,
                  uint32_t bottom_left, uint32_t bottom_right);

// An AVI of quadrant frames (red, green, blue and white unless given): frame i's bottom-right
// quadrant is bottom_right(i), which tells the frames apart; sound is its track when it has
// samples. The fields run from those every video sets to those few change, for brace lists.
struct QuadrantVideo {
    int width = 0, height = 0;
    int frames = 0;
    uint32_t rate = 30;
    std::function<uint32_t(int)> bottom_right = [](int) { return 0xFFFFFFu; };
    PcmSound sound = {};
    int bits = 24;
    uint32_t top_left = 0xFF0000, top_right = 0x00FF00, bottom_left = 0x0000FF;
};
bool write_quadrant_video(const std::string &path, const QuadrantVideo &video);

// A square wave of seconds at rate, 16-bit (amplitude 8000) or 8-bit.
PcmSound tone(double seconds, uint32_t rate = 22050, uint16_t channels = 1, uint16_t bits = 16);

// A sine of hz at amplitude for seconds, 16-bit, the same on every channel.
PcmSound sine(double seconds, double hz, double amplitude, uint32_t rate = 22050,
              uint16_t channels = 1);

enum class SoundCodec { None, Pcm, Mp2 };

// Whether this system's test programs can write compressed videos: with FFmpeg's encoders on
// Linux; on Windows with the build machine's ffmpeg program, which Wine runs.
bool can_encode_videos();
constexpr const char *kNoEncoders =
    "needs FFmpeg's encoders: in-process on Linux, the build machine's ffmpeg under Wine";
enum class VideoCodec { Mjpeg, Mpeg4, H264 };

// Writes a video of frame_count frames picture(i) at rate frames per second in codec, in the
// container the file name's extension names, with seconds_of_sound of a 44.1 kHz stereo tone
// (16-bit PCM or MP2). False on failure, or when this FFmpeg has no encoder for codec.
bool write_encoded_video(const std::string &path, VideoCodec codec, int width, int height,
                         int frame_count, int rate, SoundCodec sound, double seconds_of_sound,
                         const std::function<Picture(int)> &picture);

// Writes an AVI of frame_count MJPEG frames picture(i) at rate frames per second, with
// seconds_of_sound of a 44.1 kHz stereo tone (16-bit PCM or MP2). False on failure.
bool write_mjpeg_avi(const std::string &path, int width, int height, int frame_count, int rate,
                     SoundCodec sound, double seconds_of_sound,
                     const std::function<Picture(int)> &picture);

// Calls visit(frame, j) for each frame of a pass over the loaded animated target, taken in order
// as the playback thread takes them; returns the number of frames (0 when none is loaded).
size_t visit_video_pass(const std::function<void(SDL_Surface *, int32_t)> &visit);

// The loaded animated target's sound format and sound track; null without a loaded sound.
const platform::WaveFormat *loaded_sound_format();
SoundTrack *loaded_sound_track();

// The loaded animated target's whole sound track, its pieces read to the end as the decoding
// thread reads them; empty when none is loaded.
std::vector<uint8_t> whole_sound();

}  // namespace vt_test
