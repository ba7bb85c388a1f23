// The demo's own animated target: a short AVI the demo writes (uncompressed 24-bit frames of a
// spinning pinwheel on a keyed-out green, with a chime as PCM sound track).
#pragma once

#include <cstdint>
#include <string>

// The colour outside the pinwheel, as set_cal_animation_target's transparent colour.
constexpr int32_t kVideoKeyColour = 0x00FF00FF;

// Writes the video to path. Returns an empty string, or what went wrong.
std::string write_target_video(const std::string &path);
