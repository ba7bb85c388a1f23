// Reading video files for the animated target: the first video stream's frames as packed
// bottom-up device-independent bitmaps (DIBs), and the first audio stream as PCM with its
// WAVEFORMATEX, in the shape the Video for Windows AVI file functions give them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/sound_output.h"

namespace platform {

// BITMAPINFOHEADER: 40 bytes, little-endian. A packed DIB is this header, then clrUsed
// colour-table entries (256 when clrUsed is 0 and bitCount is 8; each blue, green, red,
// reserved), then the rows bottom-up, each padded to a multiple of 4 bytes.
#pragma pack(push, 1)
struct BitmapInfoHeader {
    uint32_t size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;  // 0: uncompressed RGB
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t clrUsed;
    uint32_t clrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40, "BitmapInfoHeader must match BITMAPINFOHEADER");

struct VideoFile;  // an open video file

enum class VideoOpenResult {
    Opened,
    NoHandler,  // no reader for this kind of file
    BadFormat,  // corrupt or unrecognised contents
    NoMemory,
    ReadError,  // the file cannot be opened or read
    Failed,     // any other failure
};

// Opens path (a local file, never a URL) for reading. file is set only when Opened.
VideoOpenResult video_open(const char *path, VideoFile *&file);
void video_close(VideoFile *file);

constexpr int32_t kUnknownLength = INT32_MAX / 2;

struct VideoStreamInfo {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t rate = 0;  // frames per second = rate / scale
    uint32_t scale = 1;
    int32_t start = 0;   // first frame position
    int32_t length = 0;  // frames; kUnknownLength when the container does not say
};

enum class VideoStreamResult { Found, NoStream, NoInfo };

// Selects the first video stream and describes it. NoInfo: its size or rate is unusable.
VideoStreamResult video_stream(VideoFile *file, VideoStreamInfo &info);

// Prepares frame reading. False when the stream's codec is not available.
bool video_open_frames(VideoFile *file);

// Memory a decoded frame may be written into straight away: the stream's height rows of its
// width pixels, packed 24-bit RGB (red first), top-down, pitch bytes apart.
struct RgbRows {
    uint8_t *pixels = nullptr;
    size_t pitch = 0;
};

// The packed DIB of the frame at position; positions are asked in increasing order from the
// stream's start. Uncompressed DIB video (8, 16, 24, 32 bits) comes as stored, anything else
// decoded to 24 bits. With rgb given, a decoded frame may instead be written upright into rgb,
// saving the copy out of the DIB: the DIB is then its header alone (size is the header's), and
// the rows may be written while later frames are read, until video_frames_written returns. The
// bytes stay valid until the next call or video_close. Null when the frame cannot be read or
// decoded (size is then 0).
const uint8_t *video_frame(VideoFile *file, int32_t position, size_t &size,
                           const RgbRows *rgb = nullptr);

// Waits until every frame handed to rgb rows is written. The position of the first frame that
// could not be written, or -1 when all were (and without a file).
int32_t video_frames_written(VideoFile *file);

enum class AudioReadResult {
    Read,
    NoStream,      // no audio stream
    NoInfo,        // the stream's channel count or rate (see sound_output.h) is unusable
    NoFormatSize,  // the sound's format cannot be determined (no decoder for its codec)
    NoFormat,      // the decoder or sample converter cannot be set up
    NoSize,        // the sound is larger than the limit asked for, or than 2 GB
    NoData,        // reading or decoding failed
};

// Reads the first audio stream whole: stored 8- and 16-bit PCM as it is, anything else
// decoded to 16-bit PCM (at most two channels). Reading stops with NoSize as soon as the
// sound would take more than limit bytes (at most 2 GB). data and format are written only on
// Read.
AudioReadResult video_read_audio(VideoFile *file, size_t limit, WaveFormat &format,
                                 std::vector<uint8_t> &data);

}  // namespace platform
