// A video's sound on the sound output (see video_sound.h).
#include "calibration/video_sound.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <utility>

#include "calibration/sound_device_notice.h"
#include "platform/console_output.h"

VideoSound::VideoSound(std::unique_ptr<SoundTrack> track, const platform::WaveFormat &format,
                       std::atomic<int32_t> &audio, void (*log)(const char *format, ...))
    : track_(std::move(track)), format_(format), audio_(audio), log_(log) {}

VideoSound::~VideoSound() {
    if (opener_.joinable()) opener_.join();
    for (platform::SoundOutput *device : {device_, opened_}) {
        platform::sound_output_reset(device);
        platform::sound_output_close(device);
    }
}

void VideoSound::open_ahead() {
    if (!track_ || device_ || opener_.joinable()) return;
    try {
        opener_ = std::thread([this] {
            opened_ = platform::sound_output_open(format_, message, this);
            SDL_TLSCleanup();  // SDL's data for a thread it did not start
        });
    } catch (const std::system_error &) {
        // The first pass opens the device itself.
    }
}

void VideoSound::message(platform::SoundOutput *, platform::SoundOutputMessage message,
                         void *instance) {
    auto *sound = static_cast<VideoSound *>(instance);
    if (message == platform::SoundOutputMessage::Done) {
        ++sound->ended_;
        sound->audio_ = kAudioDone;
    } else if (message == platform::SoundOutputMessage::Close) {
        sound->audio_ = kAudioClosed;
    }
}

bool VideoSound::ends_with_pass(double pass_seconds, double frame_rate) {
    double at = 0;
    if (!track_ || !track_->complete() || !position(at)) return false;
    const double length = double(track_->bytes()) / double(format_.avgBytesPerSec);
    // What the device still holds and a frame or two of difference in length: a sound that
    // has more left is longer than a pass.
    const double tolerance =
        std::min({0.25, std::max(0.1, 2 / frame_rate), 0.2 * pass_seconds});
    return length - at <= tolerance;
}

bool VideoSound::start_pass(double pass_seconds, double frame_rate) {
    int32_t state = audio_;
    if (state == kAudioClosed) {
        if (opener_.joinable()) {
            opener_.join();
            device_ = std::exchange(opened_, nullptr);
        } else if (track_) {
            device_ = platform::sound_output_open(format_, message, this);
        }
        report_sound_device();
        if (!device_) {
            platform::print("error occurs during audio play\n");
            std::fflush(nullptr);
            return false;
        }
        audio_ = state = kAudioOpen;
    }
    const bool follows = state == kAudioQueued && ends_with_pass(pass_seconds, frame_rate);
    if (state == kAudioOpen) {
        log_("calData.animationTarget.audioPlaying reset to 1\n");
        std::fflush(nullptr);
    } else if (state == kAudioDone) {
        log_("calData.animationTarget.audioPlaying is 2\n");
        std::fflush(nullptr);
    } else if (!follows) {
        return false;  // the last pass's sound still plays
    }
    if (follows) {
        keep_queued();  // the last pieces of the sound before
        pass_start_frames_ = written_frames_;
    } else {
        audio_ = kAudioQueued;
        written_frames_ = base_frames_ = pass_start_frames_ = 0;
        ended_seen_ = ended_;
    }
    written_ = 0;
    on_ = true;
    keep_queued();
    return true;
}

void VideoSound::keep_queued() {
    if (!on_) return;
    for (const size_t read = track_->pieces(); written_ < read; ++written_) {
        platform::WaveHeader header = track_->piece(written_);
        if (!platform::sound_output_prepare(device_, header)) return;
        // Queued before the write: a short sound can be done before the write returns.
        audio_ = kAudioQueued;
        if (!platform::sound_output_write(device_, header)) return;
        // A device that had played everything written starts over with this piece: the
        // sound's position runs on from what was heard before it.
        if (const uint32_t ended = ended_; ended != ended_seen_) {
            ended_seen_ = ended;
            base_frames_ = written_frames_;
            audio_ = kAudioQueued;
        }
        written_frames_ += header.length / std::max<uint16_t>(format_.blockAlign, 1);
    }
}

bool VideoSound::position(double &seconds) {
    uint64_t frames = 0;
    if (!device_ || !platform::sound_output_position(device_, frames)) return false;
    seconds = (double(base_frames_ + frames) - double(pass_start_frames_)) /
              double(format_.samplesPerSec);
    return true;
}

void VideoSound::stop() {
    on_ = false;
    if (!device_) return;
    platform::sound_output_reset(device_);
    audio_ = kAudioDone;
}
