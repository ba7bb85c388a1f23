// A loaded video's frames. The first is decoded when the video loads and kept; the others are
// decoded while the video plays, by a thread of their own a few frames ahead of the one shown
// (by the player itself when that thread cannot start), which also reads the video's sound
// track a piece ahead of each frame until it is complete. A video whose frames fit in the kept
// window keeps them after its first pass, so that its later passes decode nothing; a longer one
// is decoded again from its start at each pass, through a ring of a few frames.
#pragma once

#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "calibration/sound_track.h"
#include "calibration/video_reader.h"

struct VideoFileClose {
    void operator()(VideoFile *file) const { video_close(file); }
};
using VideoFilePtr = std::unique_ptr<VideoFile, VideoFileClose>;

// The most memory a video's kept frames may take, counted at four bytes a pixel (128 MB: about
// 4 s of 640 x 480 at 25 frames a second, 14 s of 320 x 240 at 30); tests lower it.
extern size_t kept_frames_limit;
// Frames decoded ahead of the one shown, for a video that is not kept; fewer when they would
// take more than kAheadLimit.
constexpr size_t kFramesAhead = 8;
constexpr size_t kAheadLimit = size_t(64) << 20;

class VideoFrames {
public:
    // Decodes the first frame of file (opened for frames); null, with the message printed,
    // when it cannot be decoded or when the frames it holds at once would take more than
    // budget. path names the video in messages.
    static std::unique_ptr<VideoFrames> load(VideoFilePtr file,
                                             const VideoStreamInfo &info,
                                             const std::string &path, size_t budget);
    ~VideoFrames();
    VideoFrames(const VideoFrames &) = delete;
    VideoFrames &operator=(const VideoFrames &) = delete;

    SDL_Surface *first() const { return first_; }
    VideoFile *file() const { return file_.get(); }
    bool kept() const { return keep_; }

    // Starts the decoding thread for a run of passes; it reads the rest of sound (null: none)
    // as well. Where the thread cannot start, the sound is read whole here.
    void start_run(SoundTrack *sound);
    // A pass from the first frame begins: frame 1 comes next (frames of an earlier pass that
    // ended early are dropped).
    void begin_pass();
    // Frame j (1 or more) of the pass, once decoded; null at the video's end, or when
    // keep_waiting returns false while the frame is still being decoded.
    SDL_Surface *take(int32_t j, bool (*keep_waiting)());
    // The player is done with a frame that take gave.
    void done(SDL_Surface *frame);
    // Stops the decoding thread and waits for it.
    void end_run();

    // Frames decoded since the load, the first among them.
    size_t decoded() const { return decoded_; }

private:
    VideoFrames(VideoFilePtr file, const VideoStreamInfo &info, std::string path);
    struct Ahead {
        int32_t index;
        SDL_Surface *frame;
    };
    // Decodes the next frame wanted, if any; false when none is wanted now.
    bool decode_next();
    bool wanted() const;  // under mutex_
    bool sound_wanted() const { return sound_ && !sound_->complete(); }
    SDL_Surface *decode(int32_t index, SDL_Surface *spare);
    void recycle(SDL_Surface *frame);  // under mutex_
    void decoding_thread();

    VideoFilePtr file_;
    const VideoStreamInfo info_;
    const std::string path_;
    const bool stored_;  // frames come as stored DIBs, not decoded
    bool keep_ = false;
    size_t ahead_limit_ = kFramesAhead;
    SDL_Surface *first_ = nullptr;
    std::atomic<size_t> decoded_{0};

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SDL_Surface *> kept_;  // frames 1, 2, ... of a kept video
    std::deque<Ahead> ahead_;          // decoded, not yet taken
    std::vector<SDL_Surface *> spare_;  // done with, for the next frames
    int32_t next_ = 0;                 // the frame to decode next
    int32_t end_;                      // frames in the video, as far as is known
    uint32_t generation_ = 0;          // counts the drops of begin_pass
    bool stopping_ = false;
    SoundTrack *sound_ = nullptr;  // of the run
    std::thread thread_;
};
