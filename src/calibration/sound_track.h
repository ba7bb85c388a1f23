// A video's sound track, read in pieces of about a second: the first as the video loads, the
// others while it plays (the frames' decoding thread reads them between frames), far ahead of
// the sound heard. A piece stays where it was read until the track is freed, so that the sound
// output plays it in place while later pieces are read; the whole track stays in memory for
// the later passes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "calibration/video_reader.h"

class SoundTrack {
public:
    static constexpr double kPieceSeconds = 1.0;

    // Opens the first audio stream of file, within limit bytes in all, and reads its first
    // piece. Read with track set; otherwise LoadVideo's reason, nothing set. path names the
    // video in messages.
    static AudioReadResult open(VideoFile *file, size_t limit,
                                          const std::string &path, platform::WaveFormat &format,
                                          std::unique_ptr<SoundTrack> &track);
    ~SoundTrack();
    SoundTrack(const SoundTrack &) = delete;
    SoundTrack &operator=(const SoundTrack &) = delete;

    // Reads the next piece. False once the track is complete: read to its end, or as far as it
    // can be read (a line on standard output says why the sound ends early). One thread reads
    // at a time.
    bool read_piece();
    bool complete() const { return complete_; }

    // The pieces read so far, and piece i of them; any thread.
    size_t pieces() const;
    platform::WaveHeader piece(size_t i) const;
    // Bytes read so far.
    size_t bytes() const { return bytes_; }

private:
    SoundTrack(SoundReader *reader, const std::string &path, size_t piece_bytes,
               uint32_t bytes_per_second);

    SoundReader *reader_;
    const std::string path_;
    const size_t piece_bytes_;
    const uint32_t bytes_per_second_;
    mutable std::mutex mutex_;
    std::deque<std::vector<uint8_t>> pieces_;  // guarded by mutex_; a piece never moves
    std::atomic<size_t> bytes_{0};
    std::atomic<bool> complete_{false};
};
