// A video's sound on the sound output: the device is opened, written and closed here only. A
// pass's sound is written from its track a piece at a time, as the track is read, whatever the
// player waits for; its position counts from the pass's start, across a device that ran dry
// and started again, and across a pass's sound that follows the last pass's without a gap.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "calibration/sound_track.h"
#include "platform/sound_output.h"

// audioPlaying: the video's sound.
enum AudioState : int32_t {
    kAudioUnusable = -3,  // the video has no sound that can be played
    kAudioClosed = -1,    // no sound device open
    kAudioOpen = 0,       // device open, nothing queued yet
    kAudioQueued = 1,     // queued, playing
    kAudioDone = 2,       // everything queued has played
};

class VideoSound {
public:
    // track may be null (a video whose sound cannot be read): each pass then reports the
    // missing device. The state is reported into audio; log is the core's.
    VideoSound(std::unique_ptr<SoundTrack> track, const platform::WaveFormat &format,
               std::atomic<int32_t> &audio, void (*log)(const char *format, ...));
    ~VideoSound();
    VideoSound(const VideoSound &) = delete;
    VideoSound &operator=(const VideoSound &) = delete;

    SoundTrack *track() const { return track_.get(); }
    const platform::WaveFormat &format() const { return format_; }

    // Begins opening the device on a thread of its own, for the first pass: a device (waveOut
    // on Windows) may take tens of milliseconds to open, which the first frame does not wait
    // for. The state stays closed until that pass takes the device.
    void open_ahead();
    // Starts a pass's sound from its beginning, opening the device if needed. A sound as long
    // as a pass that has not quite ended is over: the new pass's sound follows its last
    // moments. A sound clearly longer runs on instead (false, as when no device opens).
    // pass_seconds: a whole pass, once known (0 before); frame_rate: the video's.
    bool start_pass(double pass_seconds, double frame_rate);
    // Writes the pieces of the track read since the last call.
    void keep_queued();
    // Where the pass's sound is, seconds from its start (negative while the sound before it
    // ends). False without a device or when the device cannot say.
    bool position(double &seconds);
    // The sound ends with the video: what is queued is dropped, and the sound is marked
    // played (a device never opened is not).
    void stop();

private:
    bool ends_with_pass(double pass_seconds, double frame_rate);
    static void message(platform::SoundOutput *, platform::SoundOutputMessage message,
                        void *sound);

    std::unique_ptr<SoundTrack> track_;
    const platform::WaveFormat format_;
    std::atomic<int32_t> &audio_;
    void (*const log_)(const char *format, ...);
    platform::SoundOutput *device_ = nullptr;
    std::thread opener_;                         // of open_ahead
    platform::SoundOutput *opened_ = nullptr;    // by open_ahead, until a pass takes it
    std::atomic<uint32_t> ended_{0};  // the device's reports that its sound has ended
    uint32_t ended_seen_ = 0;         // of those, the ones the writing has seen
    // Counted in sample frames from the start of the device's sound, which runs on while one
    // pass's sound follows the last's.
    size_t written_ = 0;              // pieces of the pass's sound written
    uint64_t written_frames_ = 0;     // frames written
    uint64_t base_frames_ = 0;        // frames heard before the device last ran dry
    uint64_t pass_start_frames_ = 0;  // frames before the pass's sound
    bool on_ = false;                 // a pass's sound is being written
};
