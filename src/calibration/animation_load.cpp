// Loading the animated target: the export that names the video, LoadVideo (every frame into an
// SDL surface, the whole sound track into memory, before the calibration screen shows) and
// release_animation.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "platform/platform.h"
#include "vistrak_core_graphics_sdl2.h"

size_t memory_budget_for(uint64_t physical) {
    constexpr uint64_t kLargest = uint64_t(2) << 30;
    return size_t(physical == 0 ? kLargest : std::min(kLargest, physical / 4));
}

size_t video_memory_budget = memory_budget_for(platform::physical_memory());

namespace {

constexpr const char *kNoMemory =
    "The file could not be opened because of insufficient memory. \n";

struct VideoClose {
    void operator()(platform::VideoFile *file) const { platform::video_close(file); }
};
using VideoPtr = std::unique_ptr<platform::VideoFile, VideoClose>;

// Prints a loading failure on standard output and flushes every stream.
int32_t report(int32_t result, const char *message) {
    std::printf("%s", message);
    std::fflush(nullptr);
    return result;
}

// Colour key of a frame: the configured colour, matched exactly, or none.
void apply_colour_key(SDL_Surface *surface) {
    if (transparentColor.marker == 0xFF)
        SDL_SetColorKey(surface, SDL_TRUE | SDL_RLEACCEL,
                        SDL_MapRGB(surface->format, transparentColor.r, transparentColor.g,
                                   transparentColor.b));
    else
        SDL_SetColorKey(surface, SDL_FALSE, 0);
}

// A width x height surface of 8 (palette), 16 (5-5-5), 24 (red first in memory) or 32 bits.
SDL_Surface *new_surface(int32_t width, int32_t height, int bits) {
    Uint32 red = 0, green = 0, blue = 0;
    if (bits == 16) {
        red = 0x7C00, green = 0x03E0, blue = 0x001F;
    } else if (bits == 24) {
        red = 0x0000FF, green = 0x00FF00, blue = 0xFF0000;
    }
    SDL_Surface *surface = SDL_CreateRGBSurface(0, width, height, bits, red, green, blue, 0);
    if (!surface) std::printf("LoadVideo: SDL_CreateRGBSurface(): %s\n", SDL_GetError());
    return surface;
}

// Makes a width x height surface from a packed bottom-up DIB of size bytes, upright, with red
// and blue in place. Null when the DIB is too short for that picture or has an unsupported
// depth, or when the surface cannot be made.
SDL_Surface *frame_surface(const uint8_t *dib, size_t size, int32_t width, int32_t height) {
    platform::BitmapInfoHeader header;
    if (size < sizeof header) return nullptr;
    std::memcpy(&header, dib, sizeof header);
    const int bits = header.bitCount;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return nullptr;  // below 8 bits a row is not width whole bytes
    const uint64_t colours = header.clrUsed ? header.clrUsed : (bits == 8 ? 256 : 0);
    const uint64_t row_bytes = uint64_t(width) * uint64_t((bits + 7) / 8);
    const uint64_t stride = (row_bytes + 3) & ~uint64_t(3);
    const uint64_t offset = uint64_t(header.size) + 4 * colours;
    if (header.size < sizeof header || offset + stride * uint64_t(height) > size) return nullptr;

    SDL_Surface *surface = new_surface(width, height, bits);
    if (!surface) return nullptr;
    const uint8_t *table = dib + header.size;
    if (bits == 8) {
        SDL_Color palette[256];
        const int entries = int(colours < 256 ? colours : 256);
        for (int j = 0; j < entries; ++j)
            palette[j] = SDL_Color{table[4 * j + 2], table[4 * j + 1], table[4 * j], 255};
        if (SDL_SetPaletteColors(surface->format->palette, palette, 0, entries) != 0)
            std::printf("SDL_SetPaletteColors(): %s\n", SDL_GetError());
    }
    // Keyed after the palette is filled: an 8-bit key maps through the frame's own colours.
    apply_colour_key(surface);

    const uint8_t *rows = dib + offset;
    auto *pixels = static_cast<uint8_t *>(surface->pixels);
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t *source = rows + uint64_t(height - 1 - r) * stride;
        uint8_t *target = pixels + size_t(r) * size_t(surface->pitch);
        if (bits == 24) {
            for (const uint8_t *end = source + row_bytes; source < end; source += 3, target += 3) {
                target[0] = source[2];
                target[1] = source[1];
                target[2] = source[0];
            }
        } else {
            std::memcpy(target, source, row_bytes);
        }
    }
    return surface;
}

// Frees the frames, then the memory the decoded ones were taken from.
void free_frames(SDL_Surface **frames, platform::FrameMemory *memory) {
    for (SDL_Surface **frame = frames; *frame; ++frame) SDL_FreeSurface(*frame);
    delete[] frames;
    platform::frame_memory_release(memory);
}

// Row bytes of a 24-bit surface, padded as SDL pads them.
size_t rgb_pitch(int32_t width) { return (size_t(width) * 3 + 3) & ~size_t(3); }

// A frame of the stream at four bytes a pixel, the most that any depth takes.
uint64_t largest_frame_bytes(const platform::VideoStreamInfo &info) {
    return uint64_t(info.width) * uint64_t(info.height) * 4;
}

// The memory reserved for a stream's decoded frames: all of them at four bytes a pixel, within
// the budget (the whole budget when the container does not say how many there are).
uint64_t frames_reservation(const platform::VideoStreamInfo &info) {
    return info.length == platform::kUnknownLength
               ? video_memory_budget
               : std::min<uint64_t>(video_memory_budget, largest_frame_bytes(info) *
                                                              uint64_t(std::max(info.length, 0)));
}

// A 24-bit surface for a decoded frame: its pixels taken from memory, or of its own when the
// reservation cannot provide them.
SDL_Surface *offered_surface(platform::FrameMemory *memory, int32_t width, int32_t height) {
    const size_t pitch = rgb_pitch(width);
    if (uint8_t *pixels = platform::frame_memory_take(memory, pitch * size_t(height)))
        if (SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormatFrom(
                pixels, width, height, 24, int(pitch), SDL_PIXELFORMAT_RGB24))
            return surface;
    return new_surface(width, height, 24);
}

// Reads the frames from the stream's start; a frame that cannot be read or made into a
// surface ends the list. count is the number read, used what their pixels take; decoded frames
// are taken from memory, reserved here for the stream's frames within the budget. Null when
// memory runs out or when one more frame, at four bytes a pixel, would take the frames beyond
// video_memory_budget (over_budget is then set): a few bytes of a damaged file can make frames
// of the stream's full size by the thousand.
SDL_Surface **read_frames(platform::VideoFile *file, const platform::VideoStreamInfo &info,
                          size_t &count, uint64_t &used, bool &over_budget,
                          platform::FrameMemory *&memory) {
    std::vector<SDL_Surface *> made;
    SDL_Surface **frames = nullptr;
    const uint64_t largest_frame = largest_frame_bytes(info);
    used = 0;
    over_budget = false;
    try {
        const int64_t end = int64_t(info.start) + int64_t(info.length);
        // Decoded frames are written straight into a surface offered for them; once a frame
        // comes as a DIB (stored video), frames are copied out of theirs.
        bool offer = true;
        memory = platform::frame_memory_reserve(size_t(frames_reservation(info)));
        for (int64_t position = info.start; position < end; ++position) {
            if (used + largest_frame > video_memory_budget) {
                over_budget = true;
                break;
            }
            SDL_Surface *offered =
                offer ? offered_surface(memory, info.width, info.height) : nullptr;
            if (offer && !offered) break;
            const platform::RgbRows rows{
                offered ? static_cast<uint8_t *>(offered->pixels) : nullptr,
                offered ? size_t(offered->pitch) : 0};
            size_t size = 0;
            const uint8_t *dib =
                platform::video_frame(file, int32_t(position), size, offered ? &rows : nullptr);
            SDL_Surface *surface = nullptr;
            if (dib && offered && size == sizeof(platform::BitmapInfoHeader)) {
                surface = offered;
                apply_colour_key(surface);
            } else {
                SDL_FreeSurface(offered);
                offer = false;
                if (dib) surface = frame_surface(dib, size, info.width, info.height);
            }
            if (!surface) break;
            made.push_back(surface);
            used += uint64_t(surface->pitch) * uint64_t(surface->h);
        }
        // Rows still being written belong to the reader until it is done with them; a frame
        // it could not write ends the list.
        const int32_t unwritten = platform::video_frames_written(file);
        if (unwritten >= info.start && size_t(unwritten - info.start) < made.size()) {
            for (size_t i = size_t(unwritten - info.start); i < made.size(); ++i) {
                used -= uint64_t(made[i]->pitch) * uint64_t(made[i]->h);
                SDL_FreeSurface(made[i]);
            }
            made.resize(size_t(unwritten - info.start));
        }
        if (!over_budget) frames = new SDL_Surface *[made.size() + 1];
    } catch (const std::bad_alloc &) {
        // frames stays null: what was made is freed below, once the reader is done with it
        platform::video_frames_written(file);
    }
    if (!frames) {
        for (SDL_Surface *surface : made) SDL_FreeSurface(surface);
        platform::frame_memory_release(memory);
        memory = nullptr;
        return nullptr;
    }
    std::copy(made.begin(), made.end(), frames);
    frames[made.size()] = nullptr;
    count = made.size();
    return frames;
}

// Says where decoding stopped when it did before the stream's end (a damaged frame ends the
// video), and that a video without any frame is not loaded.
void report_short_video(const char *path, size_t count, int32_t length) {
    if (length != platform::kUnknownLength && count < size_t(std::max(length, 0))) {
        const char *outcome = count ? "the video ends before it." : "the video is not loaded.";
        std::printf("LoadVideo: frame %zu of %d of %s cannot be decoded; %s \n", count + 1,
                    length, path, outcome);
    } else if (count == 0) {
        std::printf("LoadVideo: %s has no frame that can be decoded; the video is not loaded. \n",
                    path);
    } else {
        return;
    }
    std::fflush(nullptr);
}

// Reads the sound track into animationTarget, in the memory the frames left of the budget
// (the track is read, then copied: half of it each). Returns LoadVideo's result.
int32_t read_sound(platform::VideoFile *file, const char *path, uint64_t frames_used) {
    AnimationTarget &animation = calData.animationTarget;
    const size_t limit = size_t(video_memory_budget - std::min<uint64_t>(frames_used,
                                                                        video_memory_budget)) / 2;
    platform::WaveFormat format{};
    std::vector<uint8_t> samples;
    platform::AudioReadResult result;
    try {
        result = platform::video_read_audio(file, limit, format, samples);
    } catch (const std::bad_alloc &) {
        result = platform::AudioReadResult::NoData;
    }
    switch (result) {
        case platform::AudioReadResult::NoStream:
            animation.audioPlaying = kAudioUnusable;
            return report(-1, "no audio\n");
        case platform::AudioReadResult::NoInfo:
            animation.audioPlaying = kAudioUnusable;
            return report(-2, "no audio stream info\n");
        case platform::AudioReadResult::NoFormatSize:
            animation.audioPlaying = kAudioUnusable;
            return report(-3, "AVIStreamReadFormat - audio failed!\n");
        case platform::AudioReadResult::NoFormat:
            return report(-4, "AVIStreamReadFormat - audio failed!\n");
        case platform::AudioReadResult::NoSize:
            std::printf("LoadVideo: the sound of %s needs more than %llu MB of memory; the "
                        "ring target is shown instead of the video. \n",
                        path, static_cast<unsigned long long>(limit >> 20));
            return report(-7, "AVIStreamRead1 - audio failed!\n");
        case platform::AudioReadResult::NoData:
            return report(-6, "AVIStreamRead2 - audio failed!\n");
        case platform::AudioReadResult::Read:
            break;
    }
    auto *kept_format = new (std::nothrow) platform::WaveFormat(format);
    auto *kept_samples = new (std::nothrow) uint8_t[samples.size() ? samples.size() : 1];
    if (!kept_format || !kept_samples) {
        delete kept_format;
        delete[] kept_samples;
        return report(-6, "AVIStreamRead2 - audio failed!\n");
    }
    if (!samples.empty()) std::memcpy(kept_samples, samples.data(), samples.size());
    animation.audioFormat = kept_format;
    animation.audioData = kept_samples;
    animation.audioLength = int32_t(samples.size());
    return 1;
}

}  // namespace

int32_t LoadVideo(const char *path) {
    release_animation();
    platform::VideoFile *opened = nullptr;
    switch (platform::video_open(path, opened)) {
        case platform::VideoOpenResult::Opened:
        case platform::VideoOpenResult::Failed:  // the stream step below reports it
            break;
        case platform::VideoOpenResult::NoHandler:
            return report(0,
                          "According to the registry, the type of file specified in "
                          "AVIFileOpen does not have a handler to process it. \n");
        case platform::VideoOpenResult::BadFormat:
            return report(0,
                          "The file couldn't be read, indicating a corrupt file or an "
                          "unrecognized format. \n");
        case platform::VideoOpenResult::NoMemory:
            return report(0, kNoMemory);
        case platform::VideoOpenResult::ReadError:
            std::printf("A disk error occurred. Please check for video file %s. \n",
                        path ? path : "(null)");
            std::fflush(nullptr);
            return 0;
    }
    const VideoPtr file(opened);
    platform::VideoStreamInfo info;
    switch (platform::video_stream(file.get(), info)) {
        case platform::VideoStreamResult::Found:
            break;
        case platform::VideoStreamResult::NoStream:
            return report(0, "failed to get avi stream \n");
        case platform::VideoStreamResult::NoInfo:
            return report(0, "failed to get avi file info \n");
    }
    if (!platform::video_open_frames(file.get()))
        return report(0, "Failed to get avi stream, probably required codec is missing.\n");

    AnimationTarget &animation = calData.animationTarget;
    animation.frameRate = double(info.rate) / double(info.scale);
    size_t count = 0;
    uint64_t frames_used = 0;
    bool over_budget = false;
    platform::FrameMemory *memory = nullptr;
    SDL_Surface **frames = read_frames(file.get(), info, count, frames_used, over_budget, memory);
    if (over_budget) {
        std::printf("LoadVideo: the frames of %s need more than %llu MB of memory; the video "
                    "is not loaded. \n",
                    path, static_cast<unsigned long long>(video_memory_budget >> 20));
        std::fflush(nullptr);
        return 0;
    }
    if (!frames) return report(0, kNoMemory);
    report_short_video(path, count, info.length);
    if (count == 0) {
        free_frames(frames, memory);
        return 0;
    }
    animation.frameMemory = memory;
    animation.frames = frames;
    return read_sound(file.get(), path, frames_used);
}

void release_animation() {
    AnimationTarget &animation = calData.animationTarget;
    if (SDL_Surface **frames = animation.frames.load()) {
        stop_playback_thread();
        animation.frames = nullptr;
        free_frames(frames, animation.frameMemory);
        animation.frameMemory = nullptr;
    }
    if (animation.audioPlaying != kAudioClosed) {
        platform::SoundOutput *device = animation.waveOut.exchange(nullptr);
        platform::sound_output_reset(device);
        platform::sound_output_close(device);
        animation.audioPlaying = kAudioClosed;
    }
    delete animation.audioFormat;
    animation.audioFormat = nullptr;
    delete[] animation.audioData;
    animation.audioData = nullptr;
    animation.audioLength = 0;
    animation.waveHeader = platform::WaveHeader{};
}

void end_animation_target() {
    release_animation();
    calData.animationTarget.videoPath.clear();
    platform::frame_memory_give_back();
}

extern "C" int32_t set_cal_animation_target(const char *path, int32_t play_count,
                                            int32_t transparent_color) {
    AnimationTarget &animation = calData.animationTarget;
    const bool named = path && *path;
    use_window();
    if (named)
        release_animation();
    else
        end_animation_target();
    try {
        animation.videoPath = named ? path : "";
    } catch (const std::bad_alloc &) {
        animation.videoPath.clear();
        return -1;
    }
    animation.playCount = play_count;
    const auto colour = uint32_t(transparent_color);
    if ((colour & 0xFF) == 0xFF)
        transparentColor = TransparentColor{uint8_t(colour >> 24), uint8_t(colour >> 16),
                                            uint8_t(colour >> 8), 0xFF};
    else
        transparentColor = TransparentColor{};
    return named ? 0 : -1;
}
