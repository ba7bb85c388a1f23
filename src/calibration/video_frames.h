// A loaded video's frames, each with its time in the pass (seconds after the first frame, as
// the file stamps it). The first is decoded when the video loads and kept; the others are
// decoded while the video plays, by a thread of their own a few frames ahead of the one shown
// (by the player itself when that thread cannot start). A video whose frames fit in the kept
// limit keeps them after its first pass, so that its later passes decode nothing; a longer one
// is decoded again from its start at each pass, through a ring of a few frames. Between
// frames the thread does the run's other reading (the sound track's next piece).
#pragma once

#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "calibration/video_reader.h"

struct VideoFileClose {
    void operator()(VideoFile *file) const { video_close(file); }
};
using VideoFilePtr = std::unique_ptr<VideoFile, VideoFileClose>;

// The colour keyed out of every frame, matched exactly, when on.
struct FrameKey {
    bool on = false;
    uint8_t r = 0, g = 0, b = 0;
};

// Frames decoded ahead of the one shown, for a video that is not kept; fewer when they would
// take more than kAheadLimit.
constexpr size_t kFramesAhead = 8;
constexpr size_t kAheadLimit = size_t(64) << 20;

// A frame of a pass, or (surface null) the pass's end at time. A frame the player owns goes
// back with VideoFrames::done; a kept one stays the frames'.
struct PassFrame {
    SDL_Surface *surface = nullptr;
    double time = 0;
    bool owned = false;
};

class VideoFrames {
public:
    struct Limits {
        size_t budget;      // the most the frames and the decoder may hold at once
        size_t kept_limit;  // the most a video's kept frames may take
    };
    // Begins decoding the first frame of file (opened for frames), on a thread of its own
    // where one can start, so that the caller prepares the rest meanwhile; first_decoded tells
    // the outcome. Null, with the message printed, when the frames and the decoder would hold
    // more than the budget. path names the video in messages.
    static std::unique_ptr<VideoFrames> load(VideoFilePtr file, const VideoStreamInfo &info,
                                             const std::string &path, FrameKey key,
                                             Limits limits);
    // Waits for the first frame; false, with the message printed, when it cannot be decoded
    // or written. When rows are given (the screen's texture) the frame is written there, so
    // that it shows at once, and its own surface is made later, once the frame after it is
    // decoded. Nothing else is asked of the frames before it.
    bool first_decoded(const FrameRows *rows);
    ~VideoFrames();
    VideoFrames(const VideoFrames &) = delete;
    VideoFrames &operator=(const VideoFrames &) = delete;

    // The first frame; null when its surface could not be made.
    SDL_Surface *first();
    VideoFile *file() const { return file_.get(); }
    bool kept() const { return keep_; }

    // Starts the decoding thread for a run of passes; between frames it calls also, until also
    // returns false. Where the thread cannot start, also is called until then here.
    void start_run(std::function<bool()> also);
    // A pass from the first frame begins: the frame after the first comes next (frames of an
    // earlier pass that ended early are dropped).
    void begin_pass();
    // The pass's next frame once decoded, or its end. False when keep_waiting returns false
    // while the frame is still being decoded.
    bool take(PassFrame &frame, const std::function<bool()> &keep_waiting);
    // The time of the item take gives next, when it is a frame already decoded.
    bool next_frame_time(double &time);
    // The player is done with a frame that take gave.
    void done(const PassFrame &frame);
    // Stops the decoding thread and waits for it.
    void end_run();

    // Frames decoded since the load, the first among them.
    size_t decoded() const { return decoded_; }
    // The frames a pass holds, once a whole pass has been decoded (0 before).
    size_t frames_in_pass() const { return frames_in_pass_; }

private:
    VideoFrames(VideoFilePtr file, const VideoStreamInfo &info, std::string path, FrameKey key);
    // Decodes the next item wanted, if any; false when none is wanted now.
    bool decode_next();
    bool wanted() const;  // under mutex_
    SDL_Surface *decode(SDL_Surface *spare, FrameRead &read, double &time);
    // A surface for a decoded frame: spare, or a new one.
    SDL_Surface *decoded_surface(SDL_Surface *spare) const;
    // The frame read (read Frame) into surface, which is spare or made for it; on any failure
    // surface is freed, null returned and read not Frame.
    SDL_Surface *picture(const VideoFrameRead &frame, SDL_Surface *surface, FrameRead &read);
    void recycle(SDL_Surface *frame);  // under mutex_
    // Makes the first frame's surface when first_decoded wrote it to the screen only, from
    // the picture the reader holds for it.
    void keep_first();
    void decoding_thread();

    VideoFilePtr file_;
    const VideoStreamInfo info_;
    const std::string path_;
    const FrameKey key_;
    const bool stored_;  // frames come as stored DIBs, not decoded
    const double period_;
    bool keep_ = false;
    size_t ahead_limit_ = kFramesAhead;
    SDL_Surface *first_ = nullptr;
    // The first frame's decoding, on a thread of its own until first_decoded.
    std::thread first_thread_;
    FrameRead first_read_ = FrameRead::Failed;
    VideoFrameRead first_frame_;
    std::atomic<size_t> decoded_{0};
    std::atomic<size_t> frames_in_pass_{0};
    bool at_pass_start_ = true;     // the player has taken nothing of the pass, or its end

    std::mutex mutex_;
    std::condition_variable changed_;
    bool first_pending_ = false;    // first_ is yet to be made (keep_first)
    std::vector<PassFrame> kept_;   // frames 1, 2, ... of a kept video, then its end
    size_t cursor_ = 0;             // the next of kept_ to take
    std::deque<PassFrame> ahead_;   // decoded, not yet taken
    std::vector<SDL_Surface *> spare_;  // done with, for the next frames
    size_t read_in_pass_ = 0;       // frames the decoder has read in its pass
    double last_time_ = 0;          // of the last frame it read
    bool pass_done_ = false;        // the decoder has read its pass to the end
    bool rewind_ = false;           // the decoder starts its next pass from the first frame
    uint32_t generation_ = 0;       // counts the drops of begin_pass
    bool stopping_ = false;
    std::function<bool()> also_;    // of the run
    bool also_done_ = true;
    std::thread thread_;
};
