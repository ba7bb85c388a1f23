// A loaded video's frames: the first decoded at the load, the others by the decoding thread a
// few frames ahead of the player, kept or passed round a ring (see video_frames.h).
#include "calibration/video_frames.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include "calibration/cal_data.h"

namespace {

// What a frame costs beyond its pixels: the surface, its format and the list's entry.
constexpr uint64_t kFrameOverhead = 256;

// Colour key of a frame: the configured colour, matched exactly, or none.
void apply_colour_key(SDL_Surface *surface) {
    if (transparentColor.marker == 0xFF)
        SDL_SetColorKey(surface, SDL_TRUE | SDL_RLEACCEL,
                        SDL_MapRGB(surface->format, transparentColor.r, transparentColor.g,
                                   transparentColor.b));
    else
        SDL_SetColorKey(surface, SDL_FALSE, 0);
}

// The pixel format of a frame of 8 (palette), 16 (5-5-5), 24 (red first in memory) or 32 bits.
Uint32 frame_format(int bits) {
    switch (bits) {
        case 8: return SDL_PIXELFORMAT_INDEX8;
        case 16: return SDL_PIXELFORMAT_RGB555;
        case 24: return SDL_PIXELFORMAT_RGB24;
        default: return SDL_PIXELFORMAT_RGB888;
    }
}

// spare when it is a width x height frame of format whose pixels can be written, else a new one
// (spare is then freed). A keyed frame once drawn holds its pixels run-length encoded only.
SDL_Surface *frame_of(SDL_Surface *spare, int32_t width, int32_t height, Uint32 format) {
    if (spare && spare->w == width && spare->h == height && spare->format->format == format &&
        !(spare->flags & SDL_RLEACCEL))
        return spare;
    SDL_FreeSurface(spare);
    SDL_Surface *surface =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, SDL_BITSPERPIXEL(format), format);
    if (!surface) std::printf("LoadVideo: SDL_CreateRGBSurface(): %s\n", SDL_GetError());
    return surface;
}

// Fills a width x height frame (spare, or a new one) from a packed bottom-up DIB of size bytes,
// upright, with red and blue in place. Null (spare freed) when the DIB is too short for that
// picture or has an unsupported depth, or when the surface cannot be made.
SDL_Surface *frame_from_dib(const uint8_t *dib, size_t size, int32_t width, int32_t height,
                            SDL_Surface *spare) {
    BitmapInfoHeader header;
    const int bits = size < sizeof header ? 0 : (std::memcpy(&header, dib, sizeof header),
                                                 int(header.bitCount));
    const uint64_t colours = bits ? (header.clrUsed ? header.clrUsed : (bits == 8 ? 256 : 0)) : 0;
    const uint64_t row_bytes = uint64_t(width) * uint64_t((bits + 7) / 8);
    const uint64_t stride = (row_bytes + 3) & ~uint64_t(3);
    const uint64_t offset = bits ? uint64_t(header.size) + 4 * colours : 0;
    // Below 8 bits a row is not width whole bytes.
    if ((bits != 8 && bits != 16 && bits != 24 && bits != 32) || header.size < sizeof header ||
        offset + stride * uint64_t(height) > size) {
        SDL_FreeSurface(spare);
        return nullptr;
    }
    SDL_Surface *surface = frame_of(spare, width, height, frame_format(bits));
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

void free_frames(std::vector<SDL_Surface *> &frames) {
    for (SDL_Surface *frame : frames) SDL_FreeSurface(frame);
    frames.clear();
}

// A frame of the stream at four bytes a pixel, the most any depth takes.
uint64_t largest_frame_bytes(const VideoStreamInfo &info) {
    return uint64_t(info.width) * uint64_t(info.height) * 4;
}

}  // namespace

size_t kept_frames_limit = size_t(128) << 20;

VideoFrames::VideoFrames(VideoFilePtr file, const VideoStreamInfo &info,
                         std::string path)
    : file_(std::move(file)),
      info_(info),
      path_(std::move(path)),
      stored_(video_frames_stored(file_.get())),
      end_(info.length) {}

std::unique_ptr<VideoFrames> VideoFrames::load(VideoFilePtr file,
                                               const VideoStreamInfo &info,
                                               const std::string &path, size_t budget) {
    std::unique_ptr<VideoFrames> frames(new (std::nothrow) VideoFrames(std::move(file), info, path));
    if (!frames) return nullptr;
    const uint64_t frame_bytes = largest_frame_bytes(info) + kFrameOverhead;
    frames->keep_ = info.length != kUnknownLength &&
                    frame_bytes * uint64_t(std::max(info.length, 0)) <= kept_frames_limit;
    frames->ahead_limit_ = size_t(std::clamp<uint64_t>(kAheadLimit / frame_bytes, 1, kFramesAhead));
    // Held at once by a video that is not kept: the first, the ring's, the one shown and the
    // one being decoded.
    if (!frames->keep_ && frame_bytes * (frames->ahead_limit_ + 3) > budget) {
        std::printf("LoadVideo: the frames of %s need more than %llu MB of memory; the video is "
                    "not loaded. \n",
                    path.c_str(), static_cast<unsigned long long>(budget >> 20));
        std::fflush(nullptr);
        return nullptr;
    }
    try {
        frames->spare_.reserve(frames->ahead_limit_ + 2);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    frames->decode_next();
    if (frames->first_) return frames;
    if (info.length != kUnknownLength && info.length > 0)
        std::printf("LoadVideo: frame 1 of %d of %s cannot be decoded; the video is not "
                    "loaded. \n",
                    info.length, path.c_str());
    else
        std::printf("LoadVideo: %s has no frame that can be decoded; the video is not "
                    "loaded. \n",
                    path.c_str());
    std::fflush(nullptr);
    return nullptr;
}

VideoFrames::~VideoFrames() {
    end_run();
    SDL_FreeSurface(first_);
    free_frames(kept_);
    for (const Ahead &ahead : ahead_) SDL_FreeSurface(ahead.frame);
    free_frames(spare_);
}

SDL_Surface *VideoFrames::decode(int32_t index, SDL_Surface *spare) {
    const int32_t position = info_.start + index;
    size_t size = 0;
    if (stored_) {
        const uint8_t *dib = video_frame(file_.get(), position, size, {});
        if (dib) return frame_from_dib(dib, size, info_.width, info_.height, spare);
        SDL_FreeSurface(spare);
        return nullptr;
    }
    // Decoded frames are written straight into a surface of the renderer's own texture format,
    // so that drawing one copies it without a conversion.
    SDL_Surface *frame = frame_of(spare, info_.width, info_.height, SDL_PIXELFORMAT_RGB888);
    if (!frame) return nullptr;
    const FrameRows rows{static_cast<uint8_t *>(frame->pixels), size_t(frame->pitch)};
    if (!video_frame(file_.get(), position, size, rows)) {
        SDL_FreeSurface(frame);
        return nullptr;
    }
    apply_colour_key(frame);
    return frame;
}

bool VideoFrames::wanted() const {
    if (stopping_) return false;
    if (!first_) return next_ == 0 && end_ > 0;
    if (keep_) return next_ < end_;
    // A video of one frame has nothing to decode again.
    return ahead_.size() < ahead_limit_ && (next_ < end_ || end_ > 1);
}

bool VideoFrames::decode_next() {
    int32_t index = 0;
    uint32_t generation = 0;
    SDL_Surface *spare = nullptr;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!wanted()) return false;
        generation = generation_;
        if (next_ >= end_) next_ = 1;  // the next pass
        index = next_;
        if (!spare_.empty()) {
            spare = spare_.back();
            spare_.pop_back();
        }
    }
    SDL_Surface *frame = decode(index, spare);
    bool damaged = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (generation != generation_) {
            if (frame) recycle(frame);
            return true;
        }
        try {
            if (frame && index == 0)
                first_ = frame;
            else if (frame && keep_)
                kept_.push_back(frame);
            else if (frame)
                ahead_.push_back(Ahead{index, frame});
        } catch (const std::bad_alloc &) {
            SDL_FreeSurface(frame);
            frame = nullptr;
        }
        if (frame) {
            next_ = index + 1;
            ++decoded_;
        } else {
            // The video ends before this frame, in this pass and the later ones (the first
            // frame's failure is the loader's to tell).
            damaged = index > 0 && info_.length != kUnknownLength &&
                      index < info_.length;
            end_ = next_ = index;
        }
    }
    changed_.notify_all();
    if (damaged) {
        std::printf("LoadVideo: frame %d of %d of %s cannot be decoded; the video ends before "
                    "it. \n",
                    index + 1, info_.length, path_.c_str());
        std::fflush(nullptr);
    }
    return true;
}

void VideoFrames::decoding_thread() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || wanted() || sound_wanted(); });
            if (stopping_) break;
        }
        // A second of sound before each frame: the sound is read far ahead of the picture.
        if (sound_wanted()) sound_->read_piece();
        decode_next();
    }
    // SDL keeps data of its own for every thread that calls it and frees it by itself only
    // for threads it started.
    SDL_TLSCleanup();
}

void VideoFrames::begin_pass() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const bool from_start = ahead_.empty() ? next_ == 1 || next_ >= end_
                                               : ahead_.front().index == 1;
        if (keep_ || from_start) return;
        for (const Ahead &ahead : ahead_) recycle(ahead.frame);
        ahead_.clear();
        next_ = 1;
        ++generation_;  // a frame being decoded now is not wanted either
    }
    changed_.notify_all();
}

void VideoFrames::start_run(SoundTrack *sound) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
        sound_ = sound;
        // A kept video decoded whole, or a video of one frame, has nothing more to decode.
        if ((keep_ ? next_ >= end_ : end_ <= 1) && !sound_wanted()) return;
    }
    try {
        thread_ = std::thread(&VideoFrames::decoding_thread, this);
    } catch (const std::system_error &) {
        // The player decodes each frame itself as it takes it.
        if (sound) while (sound->read_piece()) continue;
    }
}

SDL_Surface *VideoFrames::take(int32_t j, bool (*keep_waiting)()) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (keep_) {
            if (size_t(j) <= kept_.size()) return kept_[size_t(j) - 1];
        } else if (!ahead_.empty()) {
            if (ahead_.front().index != j) return nullptr;  // the next pass's frames: this one ended
            SDL_Surface *frame = ahead_.front().frame;
            ahead_.pop_front();
            changed_.notify_all();
            return frame;
        }
        if (j >= end_) return nullptr;
        if (!thread_.joinable()) {
            lock.unlock();
            const bool decoded = decode_next();
            lock.lock();
            if (!decoded) return nullptr;
            continue;
        }
        changed_.wait_for(lock, std::chrono::milliseconds(10));
        if (!keep_waiting()) return nullptr;
    }
}

void VideoFrames::done(SDL_Surface *frame) {
    if (keep_ || !frame || frame == first_) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    recycle(frame);
}

void VideoFrames::recycle(SDL_Surface *frame) {
    // Room for every frame in use was reserved at the load.
    if (spare_.size() < spare_.capacity())
        spare_.push_back(frame);
    else
        SDL_FreeSurface(frame);
}

void VideoFrames::end_run() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}
