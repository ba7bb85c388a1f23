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

#include "platform/console_output.h"

namespace {

// What a frame costs beyond its pixels: the surface, its format and the list's entry.
constexpr uint64_t kFrameOverhead = 256;

// Colour key of a frame, without run-length encoding: a frame's pixels are written again.
void apply_colour_key(SDL_Surface *surface, const FrameKey &key) {
    if (key.on)
        SDL_SetColorKey(surface, SDL_TRUE, SDL_MapRGB(surface->format, key.r, key.g, key.b));
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

// spare when it is a width x height frame of format, else a new one (spare is then freed).
SDL_Surface *frame_of(SDL_Surface *spare, int32_t width, int32_t height, Uint32 format) {
    if (spare && spare->w == width && spare->h == height && spare->format->format == format)
        return spare;
    SDL_FreeSurface(spare);
    SDL_Surface *surface =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, SDL_BITSPERPIXEL(format), format);
    if (!surface)
        platform::print("coregraphics_sdl2: SDL_CreateRGBSurface(): %s\n", SDL_GetError());
    return surface;
}

// Fills a width x height frame (spare, or a new one) from a packed bottom-up DIB of size bytes,
// upright, with red and blue in place. Null (spare freed) when the DIB is too short for that
// picture or has an unsupported depth, or when the surface cannot be made.
SDL_Surface *frame_from_dib(const uint8_t *dib, size_t size, int32_t width, int32_t height,
                            SDL_Surface *spare, const FrameKey &key) {
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
            platform::print("SDL_SetPaletteColors(): %s\n", SDL_GetError());
    }
    // Keyed after the palette is filled: an 8-bit key maps through the frame's own colours.
    apply_colour_key(surface, key);

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

FrameRows rows_of(SDL_Surface *surface) {
    return FrameRows{static_cast<uint8_t *>(surface->pixels), size_t(surface->pitch)};
}

void free_frames(std::vector<PassFrame> &frames) {
    for (const PassFrame &frame : frames) SDL_FreeSurface(frame.surface);
    frames.clear();
}

}  // namespace

VideoFrames::VideoFrames(VideoFilePtr file, const VideoStreamInfo &info, std::string path,
                         FrameKey key)
    : file_(std::move(file)),
      info_(info),
      path_(std::move(path)),
      key_(key),
      stored_(video_frames_stored(file_.get())),
      period_(double(info.scale) / double(info.rate)) {}

std::unique_ptr<VideoFrames> VideoFrames::load(VideoFilePtr file, const VideoStreamInfo &info,
                                               const std::string &path, FrameKey key,
                                               Limits limits) {
    std::unique_ptr<VideoFrames> frames(
        new (std::nothrow) VideoFrames(std::move(file), info, path, key));
    if (!frames) return nullptr;
    // A frame of the stream at four bytes a pixel, the most any depth takes.
    const uint64_t frame_bytes =
        uint64_t(info.width) * uint64_t(info.height) * 4 + kFrameOverhead;
    frames->keep_ = info.length != kUnknownLength &&
                    frame_bytes * uint64_t(std::max(info.length, 0)) <= limits.kept_limit;
    frames->ahead_limit_ =
        size_t(std::clamp<uint64_t>(kAheadLimit / frame_bytes, 1, kFramesAhead));
    // Held at once by a video that is not kept: the first, the ring's, the one shown and the
    // one being decoded; and by any video, what its decoder holds.
    const uint64_t held = (frames->keep_ ? 0 : frame_bytes * (frames->ahead_limit_ + 3)) +
                          video_decoder_bytes(frames->file_.get());
    if (held > limits.budget) {
        platform::print("LoadVideo: the frames of %s need more than %llu MB of memory; the "
                        "video is not loaded. \n",
                        path.c_str(), static_cast<unsigned long long>(limits.budget >> 20));
        std::fflush(nullptr);
        return nullptr;
    }
    try {
        frames->spare_.reserve(frames->ahead_limit_ + 2);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    // The first frame decodes on a thread of its own, while the caller prepares the rest and
    // first_decoded makes its surface.
    VideoFrames *made = frames.get();
    try {
        made->first_thread_ = std::thread([made] {
            made->first_read_ = video_next_frame(made->file_.get(), made->first_frame_);
            SDL_TLSCleanup();  // see decoding_thread
        });
    } catch (const std::system_error &) {
        made->first_read_ = video_next_frame(made->file_.get(), made->first_frame_);
    }
    return frames;
}

bool VideoFrames::first_decoded(const FrameRows *rows) {
    // Without rows the frame is kept at once, in a surface made while it decodes.
    if (!stored_ && !rows) first_ = decoded_surface(nullptr);
    if (first_thread_.joinable()) first_thread_.join();
    if (!rows) {
        first_ = picture(first_frame_, first_, first_read_);
    } else if (first_read_ == FrameRead::Frame && video_write_frame(file_.get(), *rows)) {
        // Its own surface is made after the next frame is decoded (keep_first), or here when
        // the frame cannot be held until then.
        first_pending_ = video_hold_frame(file_.get());
        if (!first_pending_) first_ = picture(first_frame_, decoded_surface(nullptr), first_read_);
    }
    if (first_ || first_pending_) {
        read_in_pass_ = 1;
        decoded_ = 1;
        return true;
    }
    if (info_.length != kUnknownLength && info_.length > 0)
        platform::print("LoadVideo: frame 1 of %d of %s cannot be decoded; the video is not "
                        "loaded. \n",
                        info_.length, path_.c_str());
    else
        platform::print("LoadVideo: %s has no frame that can be decoded; the video is not "
                        "loaded. \n",
                        path_.c_str());
    std::fflush(nullptr);
    return false;
}

SDL_Surface *VideoFrames::first() {
    {
        // A decoding thread keeps it, after the frame that follows it.
        std::unique_lock<std::mutex> lock(mutex_);
        if (thread_.joinable()) changed_.wait(lock, [this] { return !first_pending_; });
    }
    keep_first();
    return first_;
}

void VideoFrames::keep_first() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!first_pending_) return;
    }
    SDL_Surface *surface = decoded_surface(nullptr);
    if (surface && !video_write_held_frame(file_.get(), rows_of(surface))) {
        SDL_FreeSurface(surface);
        surface = nullptr;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        first_ = surface;
        first_pending_ = false;
    }
    changed_.notify_all();
}

VideoFrames::~VideoFrames() {
    if (first_thread_.joinable()) first_thread_.join();
    end_run();
    SDL_FreeSurface(first_);
    free_frames(kept_);
    for (const PassFrame &ahead : ahead_) SDL_FreeSurface(ahead.surface);
    for (SDL_Surface *spare : spare_) SDL_FreeSurface(spare);
}

SDL_Surface *VideoFrames::decode(SDL_Surface *spare, FrameRead &read, double &time) {
    VideoFrameRead frame;
    read = video_next_frame(file_.get(), frame);
    time = frame.time;
    if (read == FrameRead::Frame && !stored_) spare = decoded_surface(spare);
    return picture(frame, spare, read);
}

SDL_Surface *VideoFrames::decoded_surface(SDL_Surface *spare) const {
    return frame_of(spare, info_.width, info_.height, SDL_PIXELFORMAT_RGB888);
}

SDL_Surface *VideoFrames::picture(const VideoFrameRead &frame, SDL_Surface *surface,
                                  FrameRead &read) {
    if (read != FrameRead::Frame) {
        SDL_FreeSurface(surface);
        return nullptr;
    }
    if (stored_) {
        surface = frame_from_dib(frame.dib, frame.size, info_.width, info_.height, surface, key_);
    } else if (surface) {
        if (video_write_frame(file_.get(), rows_of(surface))) {
            apply_colour_key(surface, key_);
        } else {
            SDL_FreeSurface(surface);
            surface = nullptr;
        }
    }
    if (!surface) read = FrameRead::Failed;
    return surface;
}

bool VideoFrames::wanted() const {
    if (stopping_) return false;
    if (keep_) return !pass_done_;
    return ahead_.size() < ahead_limit_;
}

bool VideoFrames::decode_next() {
    uint32_t generation = 0;
    SDL_Surface *spare = nullptr;
    bool restart = false;
    size_t read_before = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!wanted()) return false;
        generation = generation_;
        restart = rewind_ || pass_done_;
        read_before = restart ? 1 : read_in_pass_;
        if (!spare_.empty()) {
            spare = spare_.back();
            spare_.pop_back();
        }
    }
    // A later pass starts again from the first frame, which is kept: it is passed over.
    FrameRead read = FrameRead::Frame;
    VideoFrameRead skipped;
    if (restart && (!video_rewind(file_.get()) ||
                    video_next_frame(file_.get(), skipped) != FrameRead::Frame))
        read = FrameRead::Failed;
    // A later pass ends where the first did, whatever the frames beyond (the first's failure
    // is told once), and a kept video holds no more frames than its header announced.
    const size_t in_pass = frames_in_pass_;
    const bool at_end = (in_pass > 0 && read_before >= in_pass) ||
                        (keep_ && read_before >= size_t(std::max(info_.length, 1)));
    SDL_Surface *frame = nullptr;
    double time = 0;
    if (read == FrameRead::Frame && at_end) {
        read = FrameRead::End;
        SDL_FreeSurface(spare);
    } else if (read == FrameRead::Frame) {
        frame = decode(spare, read, time);
    } else {
        SDL_FreeSurface(spare);
    }
    bool damaged = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (generation != generation_) {
            if (frame) recycle(frame);
            return true;
        }
        if (restart) {
            rewind_ = pass_done_ = false;
            read_in_pass_ = 1;
            last_time_ = 0;
        }
        try {
            if (frame) {
                const PassFrame item{frame, time, !keep_};
                if (keep_)
                    kept_.push_back(item);
                else
                    ahead_.push_back(item);
                ++read_in_pass_;
                ++decoded_;
                last_time_ = time;
            } else {
                damaged = read == FrameRead::Failed && frames_in_pass_ == 0;
                // The pass lasts until its last frame has been shown a frame period.
                const PassFrame end{nullptr, last_time_ + period_, false};
                if (keep_) {
                    kept_.push_back(end);
                } else {
                    ahead_.push_back(end);
                    // A video of one frame has nothing to decode again: its later passes are
                    // kept, their end alone.
                    if (read_in_pass_ <= 1) {
                        kept_.push_back(end);
                        keep_ = true;
                        cursor_ = kept_.size();
                    }
                }
                pass_done_ = true;
                if (frames_in_pass_ == 0) frames_in_pass_ = read_in_pass_;
            }
        } catch (const std::bad_alloc &) {
            if (frame) SDL_FreeSurface(frame);
            return false;
        }
    }
    changed_.notify_all();
    if (damaged) {
        if (info_.length != kUnknownLength)
            platform::print("coregraphics_sdl2: frame %zu of %d of %s cannot be decoded; the video "
                            "ends before it. \n",
                            read_before + 1, info_.length, path_.c_str());
        else
            platform::print("coregraphics_sdl2: frame %zu of %s cannot be decoded; the video ends "
                            "before it. \n",
                            read_before + 1, path_.c_str());
        std::fflush(nullptr);
    }
    return true;
}

void VideoFrames::decoding_thread() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || wanted() || !also_done_; });
            if (stopping_) break;
        }
        if (!also_done_) also_done_ = !also_();
        decode_next();
        // After the second frame's decoding, so that this does not delay it.
        keep_first();
    }
    // SDL keeps data of its own for every thread that calls it and frees it by itself only
    // for threads it started.
    SDL_TLSCleanup();
}

void VideoFrames::begin_pass() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        cursor_ = 0;
        if (keep_ || at_pass_start_) return;
        for (const PassFrame &ahead : ahead_) recycle(ahead.surface);
        ahead_.clear();
        rewind_ = true;
        at_pass_start_ = true;
        ++generation_;  // a frame being decoded now is not wanted either
    }
    changed_.notify_all();
}

void VideoFrames::start_run(std::function<bool()> also) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
        also_ = std::move(also);
        also_done_ = !also_;
        // A kept video decoded whole has nothing more to decode.
        if (keep_ && pass_done_ && also_done_) return;
    }
    try {
        thread_ = std::thread(&VideoFrames::decoding_thread, this);
    } catch (const std::system_error &) {
        // The player decodes each frame itself as it takes it.
        if (also_) while (also_()) continue;
        also_done_ = true;
    }
}

bool VideoFrames::take(PassFrame &frame, const std::function<bool()> &keep_waiting) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!ahead_.empty()) {
            frame = ahead_.front();
            ahead_.pop_front();
            at_pass_start_ = !frame.surface;
            changed_.notify_all();
            return true;
        }
        if (keep_ && cursor_ < kept_.size()) {
            frame = kept_[cursor_++];
            at_pass_start_ = !frame.surface;
            return true;
        }
        if (!thread_.joinable()) {
            lock.unlock();
            const bool decoded = decode_next();
            lock.lock();
            if (!decoded) return false;
            continue;
        }
        changed_.wait_for(lock, std::chrono::milliseconds(10));
        if (!keep_waiting()) return false;
    }
}

bool VideoFrames::next_frame_time(double &time) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const PassFrame *next = !ahead_.empty()                     ? &ahead_.front()
                            : keep_ && cursor_ < kept_.size() ? &kept_[cursor_]
                                                              : nullptr;
    if (!next || !next->surface) return false;
    time = next->time;
    return true;
}

void VideoFrames::done(const PassFrame &frame) {
    if (!frame.owned || !frame.surface) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    recycle(frame.surface);
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
