// libFuzzer harness for the video reader, used as the calibration screen uses it: the input is
// written to a file, named with set_cal_animation_target and loaded through LoadVideo from the
// recorded path (the first frame into a surface, the sound track into memory; FFmpeg demuxes
// and decodes), then two passes over its frames are taken as the player takes them. Whatever
// the bytes, the result is one of LoadVideo's codes, what it leaves loaded is consistent and
// release_animation frees it. Naming no video then ends the target, so that no input inherits
// another's.
extern "C" {
#include <libavutil/log.h>
}
#include <SDL.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "calibration/sound_track.h"
#include "calibration/video_frames.h"
#include "fuzz_check.h"
#include "fuzz_support.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

std::string video_path;

bool frame_consistent(const SDL_Surface *frame, const SDL_Surface *first) {
    const int bytes = frame->format->BytesPerPixel;
    return frame->w == first->w && frame->h == first->h && frame->pixels && bytes >= 1 &&
           bytes <= 4;
}

// Two passes over the first frames, as the player takes them: the second reads the stream
// again from its start.
bool frames_consistent(VideoFrames &video) {
    const SDL_Surface *first = video.first();
    if (!first || !frame_consistent(first, first)) return false;
    for (int pass = 0; pass < 2; ++pass) {
        video.begin_pass();
        double time = 0;
        for (int32_t j = 1; j < 64; ++j) {
            PassFrame frame;
            if (!video.take(frame, [] { return true; })) return false;
            if (!frame.surface) break;
            const bool consistent = frame_consistent(frame.surface, first) && frame.time >= time;
            time = frame.time;
            video.done(frame);
            if (!consistent) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_support::drop_standard_output();
    av_log_set_level(AV_LOG_QUIET);  // FFmpeg's notes on every damaged file
    video_path = fuzz_support::temp_folder("vt-video-fuzz") + "/input.avi";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    standin_reset();  // the stand-in core keeps every log line and alert
    fuzz_support::write_file(video_path, data, size);

    check(set_cal_animation_target(video_path.c_str(), 1, 0) == 0);
    // Well inside the fuzzer's memory limit.
    const VideoLimits limits{size_t(256) << 20, default_video_limits().kept_frames};
    const int32_t result = LoadVideo(calData.animationTarget.videoPath.c_str(), limits);
    const AnimationTarget &loaded = calData.animationTarget;
    check(result == 1 || result == 0 || (result >= -7 && result <= -1 && result != -5));
    VideoPlayer *player = loaded.player;
    if (result == 0) {
        check(player == nullptr);
    } else {
        check(player != nullptr && frames_consistent(player->frames()) && loaded.frameRate > 0);
    }
    if (result == 1) {
        const platform::WaveFormat &format = player->sound_format();
        SoundTrack *track = player->sound();
        check(format.blockAlign > 0 && track != nullptr);
        while (track->read_piece()) continue;
        size_t bytes = 0;
        for (size_t i = 0; i < track->pieces(); ++i) {
            const platform::WaveHeader piece = track->piece(i);
            check(piece.length % format.blockAlign == 0);
            bytes += piece.length;
        }
        check(bytes == track->bytes() && bytes <= limits.budget / 2);
    } else if (player) {
        check(player->sound() == nullptr);
    }
    release_animation();
    check(calData.animationTarget.player == nullptr);
    check(set_cal_animation_target(nullptr, 0, 0) == -1 &&
          calData.animationTarget.videoPath.empty());
    return 0;
}
