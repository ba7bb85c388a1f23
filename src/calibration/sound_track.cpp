// A video's sound track read in pieces (see sound_track.h).
#include "calibration/sound_track.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/console_output.h"

SoundTrack::SoundTrack(SoundReader *reader, const std::string &path,
                       size_t piece_bytes, uint32_t bytes_per_second)
    : reader_(reader),
      path_(path),
      piece_bytes_(piece_bytes),
      bytes_per_second_(bytes_per_second) {}

SoundTrack::~SoundTrack() { video_close_sound(reader_); }

AudioReadResult SoundTrack::open(VideoFile *file, size_t limit,
                                           const std::string &path,
                                           platform::WaveFormat &format,
                                           std::unique_ptr<SoundTrack> &track) {
    SoundReader *reader = nullptr;
    platform::WaveFormat opened{};
    const AudioReadResult result =
        video_open_sound(file, limit, opened, reader);
    if (result != AudioReadResult::Read) return result;
    const uint32_t per_second = opened.samplesPerSec * opened.blockAlign;
    std::unique_ptr<SoundTrack> made;
    try {
        made.reset(new SoundTrack(reader, path, std::max<size_t>(
                                                    size_t(per_second * kPieceSeconds), 1),
                                  per_second));
    } catch (const std::bad_alloc &) {
        video_close_sound(reader);
        return AudioReadResult::NoData;
    }
    // The first piece is read here: a sound that cannot be read at all is the load's failure.
    std::vector<uint8_t> first;
    const AudioReadResult read =
        video_read_sound(made->reader_, made->piece_bytes_, first);
    if (read != AudioReadResult::Read) return read;
    // Kept when empty too: the sound of a pass is at least one buffer, which is reported
    // played at once.
    made->complete_ = first.empty();
    made->bytes_ = first.size();
    try {
        made->pieces_.push_back(std::move(first));
    } catch (const std::bad_alloc &) {
        return AudioReadResult::NoData;
    }
    format = opened;
    track = std::move(made);
    return AudioReadResult::Read;
}

bool SoundTrack::read_piece() {
    if (complete_) return false;
    std::vector<uint8_t> piece;
    AudioReadResult result;
    try {
        result = video_read_sound(reader_, piece_bytes_, piece);
        if (result == AudioReadResult::Read && !piece.empty()) {
            const size_t size = piece.size();
            const std::lock_guard<std::mutex> lock(mutex_);
            pieces_.push_back(std::move(piece));
            bytes_ += size;
            return true;
        }
    } catch (const std::bad_alloc &) {
        result = AudioReadResult::NoSize;
    }
    complete_ = true;
    const double seconds = bytes_per_second_ ? double(bytes_) / bytes_per_second_ : 0;
    if (result == AudioReadResult::NoSize)
        platform::print("coregraphics_sdl2: the sound of %s needs more memory than it may take; it "
                        "ends after %.1f s. \n",
                        path_.c_str(), seconds);
    else if (result != AudioReadResult::Read)
        platform::print("coregraphics_sdl2: the sound of %s cannot be read beyond %.1f s; it ends "
                        "there. \n",
                        path_.c_str(), seconds);
    std::fflush(nullptr);
    return false;
}

size_t SoundTrack::pieces() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return pieces_.size();
}

platform::WaveHeader SoundTrack::piece(size_t i) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    platform::WaveHeader header;
    if (i < pieces_.size()) {
        header.data = pieces_[i].data();
        header.length = uint32_t(pieces_[i].size());
    }
    return header;
}
