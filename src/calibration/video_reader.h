// Reading video files for the animated target through FFmpeg, on every system: the first video
// stream's frames, stored ones as packed bottom-up device-independent bitmaps (DIBs) and
// decoded ones as 32-bit rows, and the first audio stream as PCM with its WAVEFORMATEX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/sound_output.h"

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

// Opens path (a local file, never a URL; read as UTF-8 or in the ANSI code page by the rule of
// platform/file_paths.h, at any length) for reading. file is set only when Opened.
VideoOpenResult video_open(const char *path, VideoFile *&file);
void video_close(VideoFile *file);

constexpr int32_t kUnknownLength = INT32_MAX / 2;

struct VideoStreamInfo {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t rate = 0;  // frames per second = rate / scale
    uint32_t scale = 1;
    int32_t length = 0;  // frames; kUnknownLength when the container does not say
};

enum class VideoStreamResult { Found, NoStream, NoInfo };

// Selects the first video stream and describes it. NoInfo: its size or rate is unusable.
VideoStreamResult video_stream(VideoFile *file, VideoStreamInfo &info);

// Prepares frame reading. False when the stream's codec is not available.
bool video_open_frames(VideoFile *file);

// The stream's codec as the file names it, for a message when no decoder reads it: its FourCC
// ("MJPG"), or the codec's name where the file has none; empty when it cannot be told.
std::string video_codec(const VideoFile *file);

// A FourCC as its four characters, or in hexadecimal when they are not all printable.
inline std::string fourcc_text(uint32_t tag) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = char((tag >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", unsigned(tag));
            return hex;
        }
        text += c;
    }
    return text;
}

// True when the stream's frames come as stored DIBs (uncompressed video of 8, 16, 24 or 32
// bits); false when they are decoded. Known once video_open_frames succeeded.
bool video_frames_stored(const VideoFile *file);

// Where a decoded frame is written: the stream's height rows of its width pixels, 32 bits each
// (XRGB8888: blue, green, red and an unused byte in memory), top-down, pitch bytes apart.
struct FrameRows {
    uint8_t *pixels = nullptr;
    size_t pitch = 0;
};

enum class FrameRead {
    Frame,
    End,     // the stream has ended, every frame the decoder held handed out
    Failed,  // the file cannot be read further, or the decoder failed
};

// A frame read: a stored frame as its packed DIB; a decoded one as a DIB header alone (size is
// the header's), its picture held for video_write_frame. time: seconds after the stream's first
// frame, as the file stamps it. The bytes stay valid until the next call or video_close.
struct VideoFrameRead {
    const uint8_t *dib = nullptr;
    size_t size = 0;
    double time = 0;
};

// The stream's next frame, in the order shown.
FrameRead video_next_frame(VideoFile *file, VideoFrameRead &frame);

// Writes the decoded frame that video_next_frame gave last upright into rows (apart, so that
// rows can be made while a frame decodes). False when it cannot be converted, or none is held.
bool video_write_frame(VideoFile *file, const FrameRows &rows);

// Keeps the decoded frame that video_next_frame gave last, whatever is decoded after it, until
// video_write_held_frame writes it (upright, into rows) and lets it go. False when it cannot
// be kept, or none is held.
bool video_hold_frame(VideoFile *file);
bool video_write_held_frame(VideoFile *file, const FrameRows &rows);

// Goes back to the stream's first frame. False when the file cannot be read from its start
// again.
bool video_rewind(VideoFile *file);

// The most memory the stream's decoder holds while it decodes (its reference and threads'
// pictures), for the memory budget; 0 for stored frames. Known once video_open_frames succeeded.
size_t video_decoder_bytes(const VideoFile *file);

enum class AudioReadResult {
    Read,
    NoStream,      // no audio stream
    NoInfo,        // the stream's channel count or rate (see sound_output.h) is unusable
    NoFormatSize,  // the sound's format cannot be determined (no decoder for its codec)
    NoFormat,      // the decoder or sample converter cannot be set up
    NoSize,        // the sound is larger than the limit asked for, or than 2 GB
    NoData,        // reading or decoding failed
};

struct SoundReader;  // the first audio stream of an open video file, read piece by piece

// Opens the first audio stream for reading from its start: stored 8- and 16-bit PCM as it is,
// anything else decoded to 16-bit PCM (at most two channels), in format. NoSize when the
// stream's header says the sound takes more than limit bytes (at most 2 GB). reader and format
// are written only on Read. The reader is closed before file.
AudioReadResult video_open_sound(VideoFile *file, size_t limit, platform::WaveFormat &format,
                                 SoundReader *&reader);

// The sound's next piece of at least bytes (fewer at its end), in whole sample frames. Read:
// piece holds it, empty once the sound has ended. NoSize: the sound would take more than the
// limit in all; NoData: reading or decoding failed. Nothing follows a failure.
AudioReadResult video_read_sound(SoundReader *reader, size_t bytes, std::vector<uint8_t> &piece);

void video_close_sound(SoundReader *reader);
