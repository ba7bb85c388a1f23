// The video target's player (see video_player.h): opening the video, the passes on the drawing
// thread, and the sound output.
#include "calibration/video_player.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <utility>

#include "calibration/drawing_thread.h"
#include "calibration/pass_clock.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kNoMemory =
    "The file could not be opened because of insufficient memory. \n";

// The longest sleep of the player between looks at the sound and the frames.
constexpr auto kWaitSlice = std::chrono::milliseconds(10);

// Prints a loading failure on standard output and flushes every stream.
int32_t report(int32_t result, const char *message) {
    platform::print("%s", message);
    std::fflush(nullptr);
    return result;
}

void present_background() {
    drawBackground();
    SDL_RenderPresent(drawing_renderer());
}

}  // namespace

size_t memory_budget_for(uint64_t physical) {
    constexpr uint64_t kLargest = uint64_t(2) << 30;
    return size_t(physical == 0 ? kLargest : std::min(kLargest, physical / 4));
}

VideoLimits default_video_limits() {
    return VideoLimits{memory_budget_for(platform::physical_memory()), size_t(128) << 20};
}

VideoPlayer::VideoPlayer(const VideoTarget &target, std::unique_ptr<VideoFrames> frames,
                         double rate)
    : target_(target),
      frames_(std::move(frames)),
      frame_rate_(rate),
      audio_(*target.audio_playing) {}

VideoPlayer::~VideoPlayer() {
    frames_->end_run();
    release_texture();
}

int32_t VideoPlayer::open(const VideoTarget &target, std::unique_ptr<VideoPlayer> &player) {
    player.reset();
    const char *path = target.path.c_str();
    VideoFile *opened = nullptr;
    switch (video_open(path, opened)) {
        case VideoOpenResult::Opened:
        case VideoOpenResult::Failed:  // the stream step below reports it
            break;
        case VideoOpenResult::NoHandler:
            return report(0,
                          "According to the registry, the type of file specified in "
                          "AVIFileOpen does not have a handler to process it. \n");
        case VideoOpenResult::BadFormat:
            return report(0,
                          "The file couldn't be read, indicating a corrupt file or an "
                          "unrecognized format. \n");
        case VideoOpenResult::NoMemory:
            return report(0, kNoMemory);
        case VideoOpenResult::ReadError:
            platform::print("A disk error occurred. Please check for video file %s. \n",
                            target.path.empty() ? "(null)" : path);
            std::fflush(nullptr);
            return 0;
    }
    VideoFilePtr file(opened);
    VideoStreamInfo info;
    switch (video_stream(file.get(), info)) {
        case VideoStreamResult::Found:
            break;
        case VideoStreamResult::NoStream:
            return report(0, "failed to get avi stream \n");
        case VideoStreamResult::NoInfo:
            return report(0, "failed to get avi file info \n");
    }
    if (!video_open_frames(file.get())) {
        platform::print("Failed to get avi stream, probably required codec is missing.\n");
        if (const std::string codec = video_codec(file.get()); !codec.empty())
            platform::print("LoadVideo: the video stream of %s is coded as %s, and no installed "
                            "decoder reads it. \n",
                            path, codec.c_str());
        std::fflush(nullptr);
        return 0;
    }
    std::unique_ptr<VideoFrames> frames;
    try {
        frames = VideoFrames::load(std::move(file), info, target.path, target.key,
                                   {target.limits.budget, target.limits.kept_frames});
    } catch (const std::bad_alloc &) {
        return report(0, kNoMemory);
    }
    if (!frames) return 0;
    const bool stored = video_frames_stored(frames->file());
    std::unique_ptr<VideoPlayer> made(new (std::nothrow) VideoPlayer(
        target, std::move(frames), double(info.rate) / double(info.scale)));
    if (!made) return report(0, kNoMemory);
    // While the first frame decodes: the sound, its device's opening, and the frame's texture
    // (decoded frames are 32-bit; stored ones tell their depth with the frame).
    const AudioReadResult sound = made->open_sound(target.path);
    if (made->sound_) made->sound_->open_ahead();
    const bool opaque = !stored && made->make_texture(target.key.on, SDL_PIXELFORMAT_RGB888,
                                                      info.width, info.height);
    if (!made->first_decoded(opaque)) return 0;
    const int32_t result = made->sound_result(sound, target.path);
    if (result != 0) player = std::move(made);
    return result;
}

bool VideoPlayer::first_decoded(bool opaque) {
    void *pixels = nullptr;
    int pitch = 0;
    first_in_texture_ =
        opaque && texture_ && SDL_LockTexture(texture_, nullptr, &pixels, &pitch) == 0;
    const FrameRows rows{static_cast<uint8_t *>(pixels), size_t(pitch)};
    const bool decoded = frames_->first_decoded(first_in_texture_ ? &rows : nullptr);
    if (first_in_texture_) SDL_UnlockTexture(texture_);
    first_in_texture_ = first_in_texture_ && decoded;
    return decoded;
}

AudioReadResult VideoPlayer::open_sound(const std::string &path) {
    std::unique_ptr<SoundTrack> track;
    platform::WaveFormat format{};
    AudioReadResult result;
    try {
        result = SoundTrack::open(frames_->file(), sound_limit(), path, format, track);
    } catch (const std::bad_alloc &) {
        result = AudioReadResult::NoData;
    }
    sound_.reset(new (std::nothrow) VideoSound(std::move(track), format, audio_, target_.log));
    return result;
}

int32_t VideoPlayer::sound_result(AudioReadResult result, const std::string &path) {
    if (!sound_) return report(0, kNoMemory);
    switch (result) {
        case AudioReadResult::NoStream:
            audio_ = kAudioUnusable;
            return report(-1, "no audio\n");
        case AudioReadResult::NoInfo:
            audio_ = kAudioUnusable;
            return report(-2, "no audio stream info\n");
        case AudioReadResult::NoFormatSize:
            audio_ = kAudioUnusable;
            return report(-3, "AVIStreamReadFormat - audio failed!\n");
        case AudioReadResult::NoFormat:
            return report(-4, "AVIStreamReadFormat - audio failed!\n");
        case AudioReadResult::NoSize:
            platform::print("LoadVideo: the sound of %s needs more than %llu MB of memory; the "
                            "ring target is shown instead of the video. \n",
                            path.c_str(),
                            static_cast<unsigned long long>(sound_limit() >> 20));
            return report(-7, "AVIStreamRead1 - audio failed!\n");
        case AudioReadResult::NoData:
            return report(-6, "AVIStreamRead2 - audio failed!\n");
        case AudioReadResult::Read:
            break;
    }
    return 1;
}

bool VideoPlayer::keep_going(int32_t pass) const {
    const int32_t count = target_.play_count;
    const TargetPosition position = *target_.position;
    const bool cleared = position.x == kNoPosition && position.y == kNoPosition;
    return !cleared && thread_->running() && target_.abort_requested() == 0 &&
           !(count > 0 && pass > count);
}

void VideoPlayer::play(const DrawingThread &thread) {
    thread_ = &thread;
    moved_ = false;
    frames_->begin_pass();
    run_started_ = false;
    bool completed = false;
    for (int32_t pass = 0;;) {
        if (moved_.exchange(false)) pass = 0;
        const int32_t count = target_.play_count;
        if (count != 0 && pass >= count) break;
        ++pass;
        if (!keep_going(pass)) break;
        target_.log("calData.animationTarget.audioPlaying =%d\n", audio_.load());
        std::fflush(nullptr);
        // Without a device the pass plays silently; the next pass tries the device again.
        pass_sound_ = false;
        if (audio_ != kAudioUnusable) {
            if (!keep_going(pass)) break;
            target_.log("will play audio\n");
            std::fflush(nullptr);
            pass_sound_ = sound_->start_pass(pass_seconds_, frame_rate_);
        }
        frames_->begin_pass();
        completed = play_pass(pass);
        if (!completed) break;
        // Between passes, and before a stop, the background alone; a video of one frame stays
        // on screen from pass to pass instead of flashing.
        if (frames_->frames_in_pass() != 1 || !thread.running()) present_background();
        if (!thread.running()) break;
    }
    if (completed && thread.running() && frames_->frames_in_pass() == 1) present_background();
    frames_->end_run();
    sound_->stop();
    thread_ = nullptr;
}

void VideoPlayer::start_run() {
    if (run_started_) return;
    run_started_ = true;
    SoundTrack *track = sound_->track();
    frames_->start_run(track ? std::function<bool()>([track] { return track->read_piece(); })
                             : nullptr);
}

bool VideoPlayer::play_pass(int32_t pass) {
    PassClock clock(Clock::now());
    clock_ = &clock;
    const auto keep_waiting = [this] {
        sound_->keep_queued();
        return thread_->running();
    };
    PassFrame frame{first_in_texture_ ? nullptr : frames_->first(), 0, false};
    if (!frame.surface && !first_in_texture_) {
        platform::print("coregraphics_sdl2: the first frame of %s cannot be kept in memory; "
                        "the video stops. \n",
                        target_.path.c_str());
        std::fflush(nullptr);
        clock_ = nullptr;
        return false;
    }
    bool first = true;
    for (;;) {
        if (!keep_going(pass)) {
            frames_->done(frame);
            clock_ = nullptr;
            return false;
        }
        const TargetPosition position = *target_.position;
        if (!position.shown()) break;
        if (first) clock = PassClock(Clock::now());
        show(frame.surface, position);
        first_in_texture_ = false;
        // The frames after the first decode from here on, so that the first shows without
        // waiting for the decoding thread's start.
        start_run();
        frames_->done(frame);
        frame = PassFrame{};
        first = false;
        PassFrame next;
        if (!frames_->take(next, keep_waiting)) break;
        if (!next.surface) {
            pass_seconds_ = next.time;
            wait_until(next.time);
            break;
        }
        // Behind the pass's clock, the newest frame that is due is shown and the older ones
        // are dropped; a frame only a little late is still followed by the next at once.
        double later = 0;
        while (frames_->next_frame_time(later) && later <= clock.at(Clock::now())) {
            frames_->done(next);
            next = PassFrame{};
            ++dropped_;
            if (!frames_->take(next, keep_waiting)) break;
        }
        frame = next;
        if (!frame.surface || !wait_until(frame.time)) break;
    }
    frames_->done(frame);
    clock_ = nullptr;
    return true;
}

bool VideoPlayer::wait_until(double due) {
    while (thread_->running()) {
        sound_->keep_queued();
        const auto now = Clock::now();
        double position = 0;
        if (pass_sound_ && sound_->position(position)) clock_->sound_at(now, position);
        const double left = due - clock_->at(now);
        if (left <= 0) return true;
        thread_->sleep_until(
            now + std::min<Clock::duration>(std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(left)),
                                            kWaitSlice));
    }
    return false;
}

void VideoPlayer::show(SDL_Surface *frame, TargetPosition position) {
    SDL_Renderer *renderer = drawing_renderer();
    drawBackground();
    // One texture for the video, written in place: an opaque 32-bit frame as it is, any other
    // through a blit, which leaves a keyed colour transparent.
    bool written = !frame && texture_;  // the texture holds the frame already
    if (frame) {
        const bool keyed = SDL_HasColorKey(frame);
        const bool as_is = make_texture(keyed, frame->format->format, frame->w, frame->h);
        SDL_Surface *target = nullptr;
        if (texture_ && as_is) {
            written = SDL_UpdateTexture(texture_, nullptr, frame->pixels, frame->pitch) == 0;
        } else if (texture_ && SDL_LockTextureToSurface(texture_, nullptr, &target) == 0) {
            SDL_FillRect(target, nullptr, 0);
            written = SDL_BlitSurface(frame, nullptr, target, nullptr) == 0;
            SDL_UnlockTexture(texture_);
        }
    }
    int width = 0, height = 0;
    if (written && SDL_QueryTexture(texture_, nullptr, nullptr, &width, &height) == 0) {
        const SDL_Rect destination{position.x - width / 2, position.y - height / 2, width,
                                   height};
        SDL_RenderCopy(renderer, texture_, nullptr, &destination);
    }
    SDL_RenderPresent(renderer);
}

bool VideoPlayer::make_texture(bool keyed, Uint32 frame_format, int width, int height) {
    const bool as_is = !keyed && frame_format == SDL_PIXELFORMAT_RGB888;
    const Uint32 format = as_is ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_ARGB8888;
    if (texture_ && texture_format_ == format) return as_is;
    release_texture();
    if (SDL_Renderer *renderer = drawing_renderer())
        texture_ = SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
    texture_format_ = format;
    if (texture_) SDL_SetTextureBlendMode(texture_, keyed ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
    return as_is;
}

void VideoPlayer::release_texture() {
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = nullptr;
    first_in_texture_ = false;
}
