// The video target's player: the first place to read about video targets. One object owns the
// opened file, its decoded frames (video_frames.h) and its sound (video_sound.h: the sound
// track and the sound output), and plays them on the drawing thread (drawing_thread.h): each frame at its own
// time in the pass, centred on the target position, paced by the sound heard (pass_clock.h).
// It is handed what it needs and reads none of the calibration records, and reports its
// sound's state (audioPlaying) where it is told to.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "calibration/video_frames.h"
#include "calibration/video_sound.h"

class DrawingThread;
class PassClock;

// Where the target is shown: both coordinates, or kNoPosition in both for none. The pair is one
// atomic value, so that the player never draws a frame at a new x with an old y.
constexpr int16_t kNoPosition = -32768;
struct alignas(4) TargetPosition {
    int16_t x = kNoPosition;
    int16_t y = kNoPosition;
    bool shown() const { return x != kNoPosition && y != kNoPosition; }
};
static_assert(std::atomic<TargetPosition>::is_always_lock_free,
              "the player reads the target position on every frame");

// The most memory a video may take, and the most its kept frames may.
struct VideoLimits {
    size_t budget;
    size_t kept_frames;
};
// The budget on a machine of physical bytes: a quarter of them, at most 2 GB, so that a video
// leaves the experiment room on a small lab PC (2 GB when the system does not say).
size_t memory_budget_for(uint64_t physical);
// This machine's budget, and kept frames of at most 128 MB (counted at four bytes a pixel:
// about 4 s of 640 x 480 at 25 frames a second, 14 s of 320 x 240 at 30).
VideoLimits default_video_limits();

// What the player is handed.
struct VideoTarget {
    std::string path;
    int32_t play_count = 1;  // passes; 0 endless, negative none
    FrameKey key;
    VideoLimits limits = default_video_limits();
    const std::atomic<TargetPosition> *position = nullptr;
    std::atomic<int32_t> *audio_playing = nullptr;  // where the sound's state is reported
    void (*log)(const char *format, ...) = nullptr;
    int16_t (*abort_requested)() = nullptr;
};

class VideoPlayer {
public:
    // Opens the video: its first frame decoded, its sound's first piece read; the rest is read
    // while it plays. The first frame decodes on a thread of its own while the sound, its
    // device and the frame's texture are made ready, so that the screen waits for the decoding
    // alone; an opaque frame is written straight into the texture. Returns 1 (frames and
    // sound), 0 (nothing loaded, player not set) or a negative code (frames loaded, sound not),
    // with the reason printed on standard output.
    static int32_t open(const VideoTarget &target, std::unique_ptr<VideoPlayer> &player);
    // The drawing thread is stopped, and the renderer held, before a player is destroyed.
    ~VideoPlayer();
    VideoPlayer(const VideoPlayer &) = delete;
    VideoPlayer &operator=(const VideoPlayer &) = delete;

    // The playback, on thread: the passes until the play count, a stop, an abort or the
    // position's clearing ends them; then the background and the sound stopped.
    void play(const DrawingThread &thread);

    // The target has moved while the player plays: the play count starts again at the next
    // pass, so that the new target gets its passes. Any thread.
    void target_moved() { moved_ = true; }

    // Destroys the player's texture, before the renderer goes.
    void release_texture();

    double frame_rate() const { return frame_rate_; }
    VideoFrames &frames() { return *frames_; }
    SoundTrack *sound() const { return sound_->track(); }
    const platform::WaveFormat &sound_format() const { return sound_->format(); }
    // Frames dropped since the load because they were due when a later one was decoded.
    size_t dropped() const { return dropped_; }

private:
    VideoPlayer(const VideoTarget &target, std::unique_ptr<VideoFrames> frames, double rate);
    // Opens the sound; sound_result then prints what went wrong and gives LoadVideo's result
    // for it (0 when the player cannot be made).
    AudioReadResult open_sound(const std::string &path);
    int32_t sound_result(AudioReadResult result, const std::string &path);
    // The most the sound track may take: half the budget.
    size_t sound_limit() const { return target_.limits.budget / 2; }
    // Makes the texture for frames of frame_format, unless it is made; true when a frame is
    // copied into it as it is, false when it goes through a blit (keyed, or not 32-bit).
    bool make_texture(bool keyed, Uint32 frame_format, int width, int height);
    // The first frame decoded, into the texture when it is opaque.
    bool first_decoded(bool opaque);
    // The decoding of the frames after the first, started once per play after its first show.
    void start_run();

    bool keep_going(int32_t pass) const;
    bool play_pass(int32_t pass);
    // Shows frame, or (null) the texture as it is.
    void show(SDL_Surface *frame, TargetPosition position);
    // Sleeps until the pass's time reaches due (seconds), keeping the sound queued; false
    // when a stop came first.
    bool wait_until(double due);

    const VideoTarget target_;
    std::unique_ptr<VideoFrames> frames_;
    const double frame_rate_;
    std::atomic<int32_t> &audio_;
    std::unique_ptr<VideoSound> sound_;
    bool pass_sound_ = false;   // the sound started with this pass: it paces the frames
    double pass_seconds_ = 0;   // a whole pass's length, once known

    const DrawingThread *thread_ = nullptr;  // while playing
    PassClock *clock_ = nullptr;             // of the pass playing
    SDL_Texture *texture_ = nullptr;
    Uint32 texture_format_ = 0;
    bool first_in_texture_ = false;  // the texture holds the first frame, not yet shown
    bool run_started_ = false;
    std::atomic<size_t> dropped_{0};
    std::atomic<bool> moved_{false};
};
