// Video files on Windows, read through the Video for Windows AVI file functions: the frame
// decoder of AVIStreamGetFrame hands out packed DIBs (decoded ones are turned into 24 bits
// here), AVIStreamRead the sound track as stored, and the Audio Compression Manager turns a
// compressed track into 16-bit PCM.
#include "platform/video_reader.h"

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>
#include <vfw.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/wide_text_windows.h"

namespace platform {

namespace {

constexpr int32_t kMaxSide = 16384;  // larger frames are not a calibration target

struct StreamRelease {
    void operator()(IAVIStream *stream) const { AVIStreamRelease(stream); }
};
struct FramesClose {
    void operator()(IGetFrame *frames) const { AVIStreamGetFrameClose(frames); }
};
struct AcmClose {
    void operator()(HACMSTREAM__ *converter) const { acmStreamClose(converter, 0); }
};
using StreamPtr = std::unique_ptr<IAVIStream, StreamRelease>;
using FramesPtr = std::unique_ptr<IGetFrame, FramesClose>;
using AcmPtr = std::unique_ptr<HACMSTREAM__, AcmClose>;

VideoOpenResult open_failure(HRESULT result) {
    switch (static_cast<unsigned long>(result)) {
        case 0x80040154UL:  // REGDB_E_CLASSNOTREG
            return VideoOpenResult::NoHandler;
        case static_cast<unsigned long>(AVIERR_BADFORMAT):
            return VideoOpenResult::BadFormat;
        case static_cast<unsigned long>(AVIERR_MEMORY):
            return VideoOpenResult::NoMemory;
        // The AVI handler opened the file, then found it ending before the RIFF headers it
        // reads: an empty, cut short or foreign file, not a disk that fails.
        case static_cast<unsigned long>(AVIERR_FILEREAD):
            return VideoOpenResult::BadFormat;
        case static_cast<unsigned long>(AVIERR_FILEOPEN):
            return VideoOpenResult::ReadError;
        default:
            return VideoOpenResult::Failed;
    }
}

uint32_t dib_stride(int32_t width, int bits) {
    return ((uint32_t(width) * uint32_t(bits) + 31) / 32) * 4;
}

}  // namespace

struct VideoFile {
    PAVIFILE file = nullptr;
    StreamPtr video;
    FramesPtr frames;
    // Bytes of a stored frame's rows; 0 when the stream is compressed and its decoder
    // judges each frame.
    size_t stored_bytes = 0;
    bool have_frame = false;  // a frame was handed out: an empty chunk repeats it
    // The file's size: what its headers say a format or the sound takes is bounded by it.
    uint64_t bytes = 0;
    int32_t width = 0, height = 0;  // the stream's frame size, as video_stream tells it
    uint32_t compression = 0;       // the stream's FourCC, as its format tells it
    std::vector<uint8_t> flipped;  // a top-down frame turned bottom-up

    VideoFile() { AVIFileInit(); }
    VideoFile(const VideoFile &) = delete;
    VideoFile &operator=(const VideoFile &) = delete;
    ~VideoFile() {
        frames.reset();
        video.reset();
        if (file) AVIFileRelease(file);
        AVIFileExit();
    }
};

VideoOpenResult video_open(const char *path, VideoFile *&file) {
    file = nullptr;
    if (!path || !*path) return VideoOpenResult::ReadError;
    std::unique_ptr<VideoFile> opened(new (std::nothrow) VideoFile);
    if (!opened) return VideoOpenResult::NoMemory;
    const HRESULT result =
        AVIFileOpenW(&opened->file, multimedia_path(path).c_str(), OF_READ, nullptr);
    if (result != AVIERR_OK) {
        opened->file = nullptr;
        return open_failure(result);
    }
    WIN32_FILE_ATTRIBUTE_DATA about{};
    if (!GetFileAttributesExW(wide_path(path).c_str(), GetFileExInfoStandard, &about))
        return VideoOpenResult::ReadError;
    opened->bytes = uint64_t(about.nFileSizeHigh) << 32 | about.nFileSizeLow;
    file = opened.release();
    return VideoOpenResult::Opened;
}

void video_close(VideoFile *file) { delete file; }

VideoStreamResult video_stream(VideoFile *file, VideoStreamInfo &info) {
    if (!file) return VideoStreamResult::NoStream;
    PAVISTREAM stream = nullptr;
    if (AVIFileGetStream(file->file, &stream, streamtypeVIDEO, 0) != AVIERR_OK)
        return VideoStreamResult::NoStream;
    file->video.reset(stream);
    AVIFILEINFOA about{};
    if (AVIFileInfoA(file->file, &about, sizeof about) != AVIERR_OK ||
        about.dwWidth == 0 || about.dwWidth > DWORD(kMaxSide) || about.dwHeight == 0 ||
        about.dwHeight > DWORD(kMaxSide) || about.dwRate == 0 || about.dwScale == 0)
        return VideoStreamResult::NoInfo;
    info.width = file->width = int32_t(about.dwWidth);
    info.height = file->height = int32_t(about.dwHeight);
    info.rate = about.dwRate;
    info.scale = about.dwScale;
    info.start = AVIStreamStart(stream);
    info.length = std::clamp<LONG>(AVIStreamLength(stream), 0, kUnknownLength);
    return VideoStreamResult::Found;
}

bool video_open_frames(VideoFile *file) {
    if (!file || !file->video) return false;
    PAVISTREAM stream = file->video.get();
    const LONG start = AVIStreamStart(stream);
    LONG format_size = 0;
    if (AVIStreamReadFormat(stream, start, nullptr, &format_size) != AVIERR_OK ||
        format_size < LONG(sizeof(BitmapInfoHeader)) || uint64_t(format_size) > file->bytes)
        return false;
    std::vector<uint8_t> format_bytes(static_cast<size_t>(format_size));
    if (AVIStreamReadFormat(stream, start, format_bytes.data(), &format_size) != AVIERR_OK)
        return false;
    BitmapInfoHeader stored;
    std::memcpy(&stored, format_bytes.data(), sizeof stored);
    file->compression = stored.compression;
    const int32_t height = stored.height < 0 ? -stored.height : stored.height;
    if (stored.width <= 0 || stored.width > kMaxSide || height == 0 || height > kMaxSide)
        return false;
    const int bits = stored.bitCount;
    if (stored.compression == BI_RGB && (bits == 8 || bits == 16 || bits == 24 || bits == 32))
        file->stored_bytes = size_t(dib_stride(stored.width, bits)) * size_t(height);
    // No format asked for: stored rows come as they are, and a decoder writes the format it
    // suggests itself, its own depth (8 bits for RLE, 16 for Video 1, 24 for Cinepak), which
    // video_frame turns into 24 bits. Asked for 24 bits, Wine's Video 1 decoder swaps red and
    // blue, and left to the display's format each codec gives a depth of its own.
    file->frames.reset(AVIStreamGetFrameOpen(stream, nullptr));
    return bool(file->frames);
}

namespace {

// Whether the chunk of a stored frame holds the frame's rows whole. The frame functions hand
// out a short chunk's rows with the rest of the frame left from before; an empty chunk repeats
// the previous frame, as in every AVI.
bool stored_frame_whole(VideoFile &file, int32_t position) {
    LONG bytes = 0;
    if (AVIStreamRead(file.video.get(), position, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK)
        return false;
    return bytes == 0 ? file.have_frame : size_t(bytes) >= file.stored_bytes;
}

// A colour channel of a DIB's pixels: its mask's place and width.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(uint32_t mask) {
        for (; mask && !(mask & 1); mask >>= 1) ++shift;
        for (; mask & 1; mask >>= 1) ++bits;
    }
    // The channel of pixel widened or narrowed to 8 bits, low bits repeating the high ones
    // (5-bit 31 is 255).
    uint8_t of(uint32_t pixel) const {
        uint32_t value = (pixel >> shift) & ((1u << bits) - 1);
        if (bits >= 8) return uint8_t(value >> (bits - 8));
        value <<= 8 - bits;
        return uint8_t(value | value >> bits);
    }
};

// Writes a decoded frame, a DIB at 8 bits with its colour table, 16 or 32 bits as RGB or bit
// fields, or 24 bits, into 32-bit rows of the stream's size; a frame of another size fills what
// the two share. rows is where the DIB's rows start. False for another format.
bool to_rows(const VideoFile &file, const uint8_t *dib, const BitmapInfoHeader &header,
             const uint8_t *rows, const FrameRows &out) {
    const int bits = header.bitCount;
    const int32_t height = header.height < 0 ? -header.height : header.height;
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
    // The masks follow a 40-byte header; a larger header holds them at the same place.
    if (header.compression == BI_BITFIELDS && (bits == 16 || bits == 32))
        std::memcpy(masks, dib + sizeof header, sizeof masks);
    else if (header.compression != BI_RGB || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return false;
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    // A colour index beyond the frame's table (a damaged file's) is black.
    uint8_t table[256][4] = {};
    if (bits == 8)
        std::memcpy(table, dib + header.size,
                    4 * size_t(std::min<uint32_t>(header.clrUsed ? header.clrUsed : 256, 256)));
    const uint32_t stride = dib_stride(header.width, bits);
    const int32_t width = std::min(header.width, file.width);
    for (int32_t r = 0; r < std::min(height, file.height); ++r) {
        const uint8_t *in = rows + size_t(header.height < 0 ? r : height - 1 - r) * stride;
        uint8_t *target = out.pixels + size_t(r) * out.pitch;
        for (int32_t x = 0; x < width; ++x, target += 4) {
            switch (bits) {
                case 8: {
                    const uint8_t *entry = table[in[x]];
                    target[0] = entry[0], target[1] = entry[1], target[2] = entry[2];
                    break;
                }
                case 24: {
                    const uint8_t *pixel = in + 3 * size_t(x);
                    target[0] = pixel[0], target[1] = pixel[1], target[2] = pixel[2];
                    break;
                }
                default: {
                    uint32_t pixel = 0;
                    std::memcpy(&pixel, in + size_t(x) * size_t(bits / 8), size_t(bits / 8));
                    target[0] = blue.of(pixel), target[1] = green.of(pixel),
                    target[2] = red.of(pixel);
                    break;
                }
            }
            target[3] = 0xFF;
        }
    }
    return true;
}

}  // namespace

std::string video_codec(const VideoFile *file) {
    if (!file || !file->video) return "";
    return file->compression == BI_RGB ? "uncompressed RGB" : fourcc_text(file->compression);
}

bool video_frames_stored(const VideoFile *file) { return file && file->stored_bytes; }

const uint8_t *video_frame(VideoFile *file, int32_t position, size_t &size,
                           const FrameRows &out) {
    size = 0;
    if (!file || !file->frames) return nullptr;
    if (file->stored_bytes && !stored_frame_whole(*file, position)) return nullptr;
    const auto *dib = static_cast<const uint8_t *>(AVIStreamGetFrame(file->frames.get(), position));
    if (!dib) return nullptr;
    BitmapInfoHeader header;
    std::memcpy(&header, dib, sizeof header);
    const int32_t height = header.height < 0 ? -header.height : header.height;
    if (header.size < sizeof header || header.width <= 0 || header.width > kMaxSide ||
        height == 0 || height > kMaxSide)
        return nullptr;
    uint32_t colours = header.clrUsed;
    if (colours == 0 && header.bitCount <= 8) colours = 1u << header.bitCount;
    if (header.compression == BI_BITFIELDS && header.size == sizeof header)
        colours = 3;  // the three masks
    const size_t offset = header.size + 4 * size_t(std::min<uint32_t>(colours, 256));
    const uint32_t stride = dib_stride(header.width, header.bitCount);
    if (!file->stored_bytes) {
        if (!to_rows(*file, dib, header, dib + offset, out)) return nullptr;
        size = sizeof header;
        return dib;
    }
    file->have_frame = true;
    size = offset + size_t(stride) * size_t(height);
    if (header.height > 0) return dib;
    // A top-down DIB (negative height) is handed on bottom-up, as every DIB here is.
    try {
        file->flipped.resize(size);
    } catch (const std::bad_alloc &) {
        size = 0;
        return nullptr;
    }
    uint8_t *flipped = file->flipped.data();
    std::memcpy(flipped, dib, offset);
    header.height = height;
    std::memcpy(flipped, &header, sizeof header);
    for (int32_t row = 0; row < height; ++row)
        std::memcpy(flipped + offset + size_t(height - 1 - row) * stride,
                    dib + offset + size_t(row) * stride, stride);
    return flipped;
}

namespace {

// 8- or 16-bit PCM plays as stored, also when its format is a WAVEFORMATEXTENSIBLE (as for
// more than two channels) of the PCM subtype.
bool stored_pcm(const std::vector<uint8_t> &format_bytes, const WAVEFORMATEX &format) {
    if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return false;
    if (format.wFormatTag == WAVE_FORMAT_PCM) return true;
    static constexpr GUID kPcm{0x00000001, 0x0000, 0x0010,
                               {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    WAVEFORMATEXTENSIBLE extensible;
    if (format.wFormatTag != WAVE_FORMAT_EXTENSIBLE || format_bytes.size() < sizeof extensible)
        return false;
    std::memcpy(&extensible, format_bytes.data(), sizeof extensible);
    return std::memcmp(&extensible.SubFormat, &kPcm, sizeof kPcm) == 0;
}

// Decodes the compressed sound in source (of the format in format_bytes) into 16-bit PCM of at
// most two channels, through the Audio Compression Manager.
AudioReadResult decode_sound(std::vector<uint8_t> &format_bytes, std::vector<uint8_t> &source,
                             size_t limit, WAVEFORMATEX &pcm, std::vector<uint8_t> &data) {
    auto *compressed = reinterpret_cast<WAVEFORMATEX *>(format_bytes.data());
    // Without a driver for the sound's tag there is no decoder at all. Asked for a suggestion
    // anyway, Wine's PCM converter makes one for any tag, and only opening the converter fails.
    ACMFORMATTAGDETAILSA codec{};
    codec.cbStruct = sizeof codec;
    codec.dwFormatTag = compressed->wFormatTag;
    if (acmFormatTagDetailsA(nullptr, &codec, ACM_FORMATTAGDETAILSF_FORMATTAG) != MMSYSERR_NOERROR)
        return AudioReadResult::NoFormatSize;
    pcm = WAVEFORMATEX{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = std::min<WORD>(compressed->nChannels, 2);
    pcm.wBitsPerSample = 16;
    if (acmFormatSuggest(nullptr, compressed, &pcm, sizeof pcm,
                         ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                             ACM_FORMATSUGGESTF_WBITSPERSAMPLE) != MMSYSERR_NOERROR)
        return AudioReadResult::NoFormatSize;
    if (source.empty()) {  // nothing to convert, and nothing a converter would take
        data.clear();
        return AudioReadResult::Read;
    }
    HACMSTREAM opened = nullptr;
    if (acmStreamOpen(&opened, nullptr, compressed, &pcm, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
        return AudioReadResult::NoFormat;
    const AcmPtr converter(opened);
    DWORD room = 0;
    if (acmStreamSize(opened, DWORD(source.size()), &room, ACM_STREAMSIZEF_SOURCE) !=
        MMSYSERR_NOERROR)
        return AudioReadResult::NoData;
    if (room > limit) return AudioReadResult::NoSize;
    data.resize(room);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = source.data();
    header.cbSrcLength = DWORD(source.size());
    header.pbDst = data.data();
    header.cbDstLength = room;
    if (acmStreamPrepareHeader(opened, &header, 0) != MMSYSERR_NOERROR)
        return AudioReadResult::NoData;
    const MMRESULT converted = acmStreamConvert(
        opened, &header, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END);
    acmStreamUnprepareHeader(opened, &header, 0);
    if (converted != MMSYSERR_NOERROR) return AudioReadResult::NoData;
    data.resize(header.cbDstLengthUsed);
    return AudioReadResult::Read;
}

}  // namespace

// Stored PCM is read a piece at a time through the stream's index; compressed sound is
// decoded whole as the reader opens (the Audio Compression Manager converts a buffer at once)
// and handed out as one piece.
struct SoundReader {
    StreamPtr stream;
    LONG next = 0;  // the stream's next sample
    LONG end = 0;
    size_t block = 1;  // bytes of one sample frame as played
    size_t left = 0;   // bytes the limit leaves
    uint64_t file_bytes = 0;
    std::vector<uint8_t> decoded;  // compressed sound, decoded
    bool compressed = false;
    bool ended = false;
};

AudioReadResult video_open_sound(VideoFile *file, size_t limit, WaveFormat &format,
                                 SoundReader *&reader) {
    reader = nullptr;
    if (!file) return AudioReadResult::NoStream;
    limit = std::min(limit, size_t(INT32_MAX));
    PAVISTREAM opened = nullptr;
    if (AVIFileGetStream(file->file, &opened, streamtypeAUDIO, 0) != AVIERR_OK)
        return AudioReadResult::NoStream;
    StreamPtr stream(opened);
    AVISTREAMINFOA about{};
    if (AVIStreamInfoA(opened, &about, sizeof about) != AVIERR_OK || about.dwRate == 0 ||
        about.dwScale == 0)
        return AudioReadResult::NoInfo;
    const LONG start = AVIStreamStart(opened);
    const LONG length = AVIStreamLength(opened);

    LONG format_size = 0;
    if (AVIStreamReadFormat(opened, start, nullptr, &format_size) != AVIERR_OK ||
        format_size < LONG(sizeof(PCMWAVEFORMAT)) || uint64_t(format_size) > file->bytes)
        return AudioReadResult::NoFormatSize;
    // A PCMWAVEFORMAT of 16 bytes leaves the extra size zero.
    std::vector<uint8_t> format_bytes(std::max<size_t>(size_t(format_size), sizeof(WAVEFORMATEX)));
    if (AVIStreamReadFormat(opened, start, format_bytes.data(), &format_size) != AVIERR_OK)
        return AudioReadResult::NoFormat;
    WAVEFORMATEX stored;
    std::memcpy(&stored, format_bytes.data(), sizeof stored);
    if (stored.nChannels == 0 || stored.nChannels > 8 ||
        stored.nSamplesPerSec < kLowestSoundRate || stored.nSamplesPerSec > kHighestSoundRate)
        return AudioReadResult::NoInfo;

    // The index's sizes are the file's word: sound it claims beyond the file's own size is
    // not there to read, and is not made room for.
    LONG bytes = 0;
    if (AVIStreamRead(opened, start, length, nullptr, 0, &bytes, nullptr) != AVIERR_OK ||
        bytes < 0)
        return AudioReadResult::NoSize;
    if (uint64_t(bytes) > file->bytes) return AudioReadResult::NoData;
    if (size_t(bytes) > limit) return AudioReadResult::NoSize;

    std::unique_ptr<SoundReader> made(new (std::nothrow) SoundReader);
    if (!made) return AudioReadResult::NoData;
    WAVEFORMATEX played = stored;
    played.wFormatTag = WAVE_FORMAT_PCM;
    if (!stored_pcm(format_bytes, stored)) {
        std::vector<uint8_t> samples(static_cast<size_t>(bytes));
        if (bytes > 0 && AVIStreamRead(opened, start, length, samples.data(), bytes, &bytes,
                                       nullptr) != AVIERR_OK)
            return AudioReadResult::NoData;
        samples.resize(size_t(bytes));
        const AudioReadResult result =
            decode_sound(format_bytes, samples, limit, played, made->decoded);
        if (result != AudioReadResult::Read) return result;
        made->compressed = true;
    }
    played.cbSize = 0;
    made->stream = std::move(stream);
    made->next = start;
    made->end = start + std::max<LONG>(length, 0);
    made->block = size_t(played.nChannels) * played.wBitsPerSample / 8;
    made->left = limit;
    made->file_bytes = file->bytes;
    format = WaveFormat{played.wFormatTag,     played.nChannels,   played.nSamplesPerSec,
                        played.nAvgBytesPerSec, played.nBlockAlign, played.wBitsPerSample, 0};
    reader = made.release();
    return AudioReadResult::Read;
}

AudioReadResult video_read_sound(SoundReader *reader, size_t bytes, std::vector<uint8_t> &piece) {
    piece.clear();
    if (!reader || reader->ended) return AudioReadResult::Read;
    if (reader->compressed) {
        piece.swap(reader->decoded);
    } else if (reader->next < reader->end) {
        const LONG count = LONG(std::min<uint64_t>(std::max<size_t>(bytes / reader->block, 1),
                                                   uint64_t(reader->end - reader->next)));
        LONG size = 0, samples = 0;
        PAVISTREAM stream = reader->stream.get();
        if (AVIStreamRead(stream, reader->next, count, nullptr, 0, &size, nullptr) != AVIERR_OK ||
            size < 0 || uint64_t(size) > reader->file_bytes) {
            reader->ended = true;
            return AudioReadResult::NoData;
        }
        if (size_t(size) > reader->left) {
            reader->ended = true;
            return AudioReadResult::NoSize;
        }
        piece.resize(size_t(size));
        if (size > 0 && AVIStreamRead(stream, reader->next, count, piece.data(), size, &size,
                                      &samples) != AVIERR_OK) {
            reader->ended = true;
            piece.clear();
            return AudioReadResult::NoData;
        }
        piece.resize(size_t(size));
        // A read that moves nothing on ends the sound rather than repeat itself.
        reader->next = samples > 0 ? reader->next + samples : reader->end;
    }
    piece.resize(piece.size() - piece.size() % reader->block);  // whole sample frames only
    reader->left -= std::min(reader->left, piece.size());
    reader->ended = reader->compressed || reader->next >= reader->end;
    return AudioReadResult::Read;
}

void video_close_sound(SoundReader *reader) { delete reader; }

}  // namespace platform
