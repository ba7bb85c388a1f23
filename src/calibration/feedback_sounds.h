// Target, done and error sounds of calibration and drift correction.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>

// The sounds by kind, the numbers their settings are kept under.
enum FeedbackSound : int32_t {
    kDcorrErrorSound = -2,
    kCalErrorSound = -1,
    kCalDoneSound = 0,
    kCalTargetSound = 1,
    kDcorrDoneSound = 2,
    kDcorrTargetSound = 3,
};

// Plays the sound of kind (a FeedbackSound) and returns when it has ended. Other kinds play
// nothing.
void play_feedback_sound(int32_t kind);

// Plays a WAV through SDL_mixer, halting every other channel first, and returns when the
// mixer has played it out. The source stays open.
void play_clip_mixer(SDL_RWops *source);

// A built-in clip: a complete RIFF WAVE file in the library's memory.
struct BuiltinClip {
    const uint8_t *data;
    size_t size;
};
// The clip a kind plays when its setting is empty (target, done or error clip).
BuiltinClip builtin_clip(int32_t kind);
