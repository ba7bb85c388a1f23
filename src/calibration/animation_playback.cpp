// Playing the animated target: the playback thread shows the loaded frames centred on the
// target position at the video's frame rate with the sound track on the sound output device;
// the hooks start it and stop it by a handshake on threadState.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "calibration/pass_clock.h"
#include "calibration/sound_device_notice.h"
#include "calibration/sound_track.h"
#include "calibration/video_frames.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
#include "platform/platform.h"
#include "vistrak_core64.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the stopping side looks for the thread's end, and the longest sleep of the thread
// between looks at threadState: a stop costs at most about the two together.
constexpr auto kStopPoll = std::chrono::milliseconds(2);
constexpr auto kWaitSlice = std::chrono::milliseconds(10);

AnimationTarget &animation() { return calData.animationTarget; }

bool keep_going(int32_t pass) {
    const int32_t count = animation().playCount;
    const TargetPosition position = calData.targetPosition;
    const bool cleared = position.x == kNoPosition && position.y == kNoPosition;
    return !cleared && animation().threadState == kPlaybackRunning &&
           core_abort_requested() == 0 && !(count > 0 && pass > count);
}

// The sound a pass is paced by: the device and its sample frames per second.
struct PassSound {
    platform::SoundOutput *device = nullptr;
    double rate = 0;
};

// The pieces of the sound track written to the device since the sound last started from its
// beginning; the playback thread's own.
size_t written_pieces = 0;

// Writes the pieces of the sound that have been read since the last write, while a sound that
// started from its beginning plays on.
void write_new_pieces() {
    AnimationTarget &target = animation();
    SoundTrack *track = target.audioData;
    platform::SoundOutput *device = target.waveOut;
    if (!track || !device || written_pieces == 0) return;
    for (const size_t read = track->pieces(); written_pieces < read; ++written_pieces) {
        platform::WaveHeader header = track->piece(written_pieces);
        platform::sound_output_prepare(device, header);
        // The device that ran out of sound before this piece plays again.
        target.audioPlaying = kAudioQueued;
        if (!platform::sound_output_write(device, header)) break;
    }
}

// Sleeps until the pass's time reaches due (seconds), reading the sound's position and
// writing the sound read meanwhile as it goes, or until a stop is requested.
void wait_until(PassClock &clock, const PassSound &sound, double due) {
    while (animation().threadState == kPlaybackRunning) {
        write_new_pieces();
        const auto now = Clock::now();
        uint64_t frames = 0;
        if (sound.device && platform::sound_output_position(sound.device, frames))
            clock.sound_at(now, double(frames) / sound.rate);
        const double left = due - clock.at(now);
        if (left <= 0) return;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(left)),
                                      kWaitSlice));
    }
}

// An OpenGL renderer's context is current on one thread at a time: the thread that hands the
// renderer over lets go of it, and SDL makes it current again at the other's next drawing call.
// Nothing happens when no context is current (any other renderer).
void let_go_of_renderer() { SDL_GL_MakeCurrent(nullptr, nullptr); }

void present_background() {
    drawBackground();
    SDL_RenderPresent(drawing_renderer());
}

void animation_audio_callback(platform::SoundOutput *, platform::SoundOutputMessage message,
                              void *) {
    if (message == platform::SoundOutputMessage::Done)
        animation().audioPlaying = kAudioDone;
    else if (message == platform::SoundOutputMessage::Close)
        animation().audioPlaying = kAudioClosed;
}

// Writes the sound from its beginning: the pieces read so far, the others as they come.
bool write_sound_from_start() {
    AnimationTarget &target = animation();
    written_pieces = 0;
    platform::WaveHeader header = target.audioData.load()->piece(0);
    platform::sound_output_prepare(target.waveOut, header);
    if (!platform::sound_output_write(target.waveOut, header)) return false;
    written_pieces = 1;
    write_new_pieces();
    return true;
}

// Opens the device, queues the sound, or queues it again once it has finished. True when the
// sound starts from its beginning now.
bool start_animation_audio() {
    AnimationTarget &target = animation();
    int32_t state = target.audioPlaying;
    if (state == kAudioClosed) {
        platform::SoundOutput *device =
            target.audioFormat ? platform::sound_output_open(*target.audioFormat,
                                                             animation_audio_callback, nullptr)
                               : nullptr;
        report_sound_device();
        if (!device) {
            std::printf("error occurs during audio play\n");
            std::fflush(nullptr);
            return false;
        }
        target.waveOut = device;
        target.audioPlaying = state = kAudioOpen;
    }
    // audioPlaying becomes queued before the write: a short sound can be done before it returns.
    if (state == kAudioOpen) {
        target.audioPlaying = kAudioQueued;
        core_log("calData.animationTarget.audioPlaying reset to 1\n");
        std::fflush(nullptr);
        return write_sound_from_start();
    }
    if (state == kAudioDone) {
        core_log("calData.animationTarget.audioPlaying is 2\n");
        std::fflush(nullptr);
        target.audioPlaying = kAudioQueued;
        return write_sound_from_start();
    }
    return false;  // the last pass's sound still plays
}

bool still_running() { return animation().threadState == kPlaybackRunning; }

// One pass over the frames. Frame j is due j periods into the pass, on the pass's clock (the
// sound's position while the sound that started with the pass plays): a frame drawn late is
// followed by the next at once, until the frames are back on time. False when the keep-going
// test failed.
bool play_frames(VideoFrames &video, int width, int height, int32_t pass,
                 const PassSound &sound) {
    AnimationTarget &target = animation();
    SDL_Renderer *renderer = drawing_renderer();
    const double rate = target.frameRate;
    PassClock clock(Clock::now());
    for (int32_t j = 0; target.threadState == kPlaybackRunning; ++j) {
        if (!keep_going(pass)) return false;
        SDL_Surface *frame = j == 0 ? video.first() : video.take(j, still_running);
        if (!frame) break;
        const TargetPosition position = calData.targetPosition;
        if (!position.shown()) {
            video.done(frame);
            break;
        }
        if (j == 0) clock = PassClock(Clock::now());
        const SDL_Rect destination{position.x - width / 2, position.y - height / 2, width,
                                   height};
        drawBackground();
        SDL_Texture *texture = SDL_CreateTextureFromSurface(renderer, frame);
        SDL_RenderCopy(renderer, texture, nullptr, &destination);
        SDL_RenderPresent(renderer);
        SDL_DestroyTexture(texture);
        video.done(frame);
        if (rate > 0) wait_until(clock, sound, double(j + 1) / rate);
        if (target.threadState != kPlaybackRunning) break;
    }
    return true;
}

void animation_playback_thread() {
    AnimationTarget &target = animation();
    if (!enter_drawing_thread()) return;  // stopped before it ran: the frames are not touched
    // A loaded video has at least its first frame.
    VideoFrames &video = *target.frames.load();
    const int width = video.first()->w;
    const int height = video.first()->h;
    video.begin_pass();
    video.start_run(target.audioData);
    for (int32_t pass = 0;;) {
        const int32_t count = target.playCount;
        if (count != 0 && pass >= count) break;
        ++pass;
        if (!keep_going(pass)) break;
        core_log("calData.animationTarget.audioPlaying =%d\n", target.audioPlaying.load());
        std::fflush(nullptr);
        // Without a device the pass plays silently; the next pass tries the device again.
        PassSound sound;
        if (target.audioPlaying != kAudioUnusable) {
            if (!keep_going(pass)) break;
            core_log("will play audio\n");
            std::fflush(nullptr);
            if (start_animation_audio())
                sound = PassSound{target.waveOut, double(target.audioFormat->samplesPerSec)};
        }
        video.begin_pass();
        if (!play_frames(video, width, height, pass, sound)) break;
        present_background();
        if (target.threadState != kPlaybackRunning) break;
    }
    // The sound ends with the video; a device never opened is not marked played.
    written_pieces = 0;
    if (platform::SoundOutput *device = target.waveOut) {
        platform::sound_output_reset(device);
        target.audioPlaying = kAudioDone;
    }
    video.end_run();
    leave_drawing_thread();
}

}  // namespace

bool enter_drawing_thread() {
    std::atomic<int32_t> &state = animation().threadState;
    int32_t requested = kPlaybackRequested;
    if (!state.compare_exchange_strong(requested, kPlaybackRunning)) {
        state = kPlaybackIdle;
        return false;
    }
    own_renderer_on_this_thread();
    return true;
}

void leave_drawing_thread() {
    let_go_of_renderer();
    // SDL keeps data of its own for every thread that calls it (the error text among it) and
    // frees it by itself only for threads it started: this one hands it back on its way out.
    SDL_TLSCleanup();
    animation().threadState = kPlaybackIdle;
}

void start_drawing_thread(void (*body)()) {
    use_window();
    let_go_of_renderer();
    std::string failure;
    if (!platform::start_library_thread(body, stop_playback_thread, failure)) {
        std::printf("start_playback_thread: the playback thread cannot start: %s\n",
                    failure.c_str());
        std::fflush(nullptr);
        animation().threadState = kPlaybackIdle;  // the next draw_cal_target tries again
    }
}

void start_playback_thread() {
    AnimationTarget &target = animation();
    if (target.threadState != kPlaybackRequested) return;
    if (!target.frames) {  // nothing loaded to play
        target.threadState = kPlaybackIdle;
        return;
    }
    start_drawing_thread(animation_playback_thread);
}

bool playback_running() {
    const int32_t state = animation().threadState;
    return state == kPlaybackRequested || state == kPlaybackRunning;
}

void stop_playback_thread() {
    std::atomic<int32_t> &state = animation().threadState;
    int32_t seen = state;
    // A thread requested but not yet running is stopped as well, so that nothing is freed
    // under a thread that is just starting.
    while ((seen == kPlaybackRequested || seen == kPlaybackRunning) &&
           !state.compare_exchange_weak(seen, kPlaybackStopping)) {
    }
    if (seen == kPlaybackIdle) return;
    while (state != kPlaybackIdle) std::this_thread::sleep_for(kStopPoll);
}
