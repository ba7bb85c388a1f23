// The animated target's records: the export that names the video, the load for each screen,
// and the playback on the drawing thread.
#include <cstdio>
#include <memory>
#include <new>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "platform/console_output.h"
#include "vistrak_core64.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

void play_video() {
    if (VideoPlayer *player = calData.animationTarget.player) player->play(drawing_thread());
}

}  // namespace

int32_t LoadVideo(const char *path, const VideoLimits &limits) {
    release_animation();
    AnimationTarget &animation = calData.animationTarget;
    VideoTarget target;
    try {
        target.path = path ? path : "";
    } catch (const std::bad_alloc &) {
        platform::print("The file could not be opened because of insufficient memory. \n");
        std::fflush(nullptr);
        return 0;
    }
    target.play_count = animation.playCount;
    target.key = FrameKey{transparentColor.marker == 0xFF, transparentColor.r, transparentColor.g,
                          transparentColor.b};
    target.limits = limits;
    target.position = &calData.targetPosition;
    target.audio_playing = &animation.audioPlaying;
    target.log = core_log;
    target.abort_requested = core_abort_requested;
    std::unique_ptr<VideoPlayer> player;
    const int32_t result = VideoPlayer::open(target, player);
    if (player) {
        animation.frameRate = player->frame_rate();
        animation.player = player.release();
    }
    return result;
}

void release_animation() {
    // The drawing thread goes first, a static target's pulse as well: what it draws changes.
    stop_playback_thread();
    AnimationTarget &animation = calData.animationTarget;
    if (VideoPlayer *player = animation.player) {
        animation.player = nullptr;
        delete player;
    }
    animation.audioPlaying = kAudioClosed;
}

void end_animation_target() {
    release_animation();
    calData.animationTarget.videoPath.clear();
}

void start_playback_thread() {
    VideoPlayer *player = calData.animationTarget.player;
    if (!player) return;
    use_window();
    if (!drawing_thread().start("start_playback_thread: the playback thread", play_video))
        player->target_moved();
}

bool playback_running() { return drawing_thread().active(); }

void stop_playback_thread() { drawing_thread().stop(); }

extern "C" int32_t set_cal_animation_target(const char *path, int32_t play_count,
                                            int32_t transparent_color) {
    AnimationTarget &animation = calData.animationTarget;
    const bool named = path && *path;
    use_window();
    if (named)
        release_animation();
    else
        end_animation_target();
    try {
        animation.videoPath = named ? path : "";
    } catch (const std::bad_alloc &) {
        animation.videoPath.clear();
        return -1;
    }
    animation.playCount = play_count;
    const auto colour = uint32_t(transparent_color);
    if ((colour & 0xFF) == 0xFF)
        transparentColor = TransparentColor{uint8_t(colour >> 24), uint8_t(colour >> 16),
                                            uint8_t(colour >> 8), 0xFF};
    else
        transparentColor = TransparentColor{};
    return named ? 0 : -1;
}
