// The animated (video) target as the calibration screen keeps it: the configured video is
// loaded for each screen into calData.animationTarget.player (video_player.h, where the video
// code begins) and played on the drawing thread from the first draw_cal_target.
#pragma once

#include <cstdint>

#include "calibration/video_player.h"

// Opens the video at path for calData.animationTarget (see VideoPlayer::open for the result),
// with its configured play count and colour key, within limits.
int32_t LoadVideo(const char *path, const VideoLimits &limits = default_video_limits());

// Stops playback and frees the loaded video; the configured path stays for the next
// calibration screen's load.
void release_animation();

// Ends the animated target: release_animation, then the configured path goes as well.
void end_animation_target();

// Starts the playback on the drawing thread when a video is loaded and no drawing thread is
// requested or running. While it plays, a call counts as a new target: the play count starts
// again, so that the new target gets its passes.
void start_playback_thread();

// True while a drawing thread (the playback, or the static target's pulse) is requested or
// running.
bool playback_running();

// Stops the drawing thread and returns once it has ended; at once when none runs.
void stop_playback_thread();
