// calData: everything the calibration screen shows (colours, target, background, target
// position, animated target), and the routines that build and drop the target's look.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/drawing_thread.h"
#include "calibration/video_player.h"

// The ring's radii until the application chooses a size: a target of 16 pixels, hole 4.
constexpr int32_t kDefaultOuterRadius = 8;
constexpr int32_t kDefaultInnerRadius = 2;

struct AnimationTarget {
    // Shared with the drawing thread and the sound device's callback thread.
    std::atomic<int32_t> threadState{kPlaybackIdle};
    std::atomic<int32_t> playCount{-1};  // passes; 0 endless, negative none
    std::atomic<int32_t> audioPlaying{kAudioClosed};  // as the player reports it
    // The loaded video, owned: made by LoadVideo, deleted by release_animation, on the hooks'
    // thread (at the process's exit it goes with the process, its threads and device with it).
    VideoPlayer *player = nullptr;
    std::string videoPath;  // empty: no animated target configured
    double frameRate = -1.0;
};

// The window's colours and background image are the window's (frame/window_background.h).
struct CalData {
    int32_t macDelay = 300;
    std::atomic<TargetPosition> targetPosition{TargetPosition{}};
    int16_t previousY = kNoPosition;
    int16_t previousX = kNoPosition;
    SDL_Texture *targetTexture = nullptr;
    int32_t targetWidth = 0;
    int32_t targetHeight = 0;
    int32_t disableCustomBackgroundOnImageMode = 0;
    int32_t outerRadius = kDefaultOuterRadius;
    int32_t innerRadius = kDefaultInnerRadius;
    int32_t customTarget = 0;
    AnimationTarget animationTarget;
};

extern CalData calData;

// The window's drawing thread (the video target's playback or the static target's pulse),
// reporting into calData.animationTarget.threadState.
DrawingThread &drawing_thread();

// Colour keyed out of video frames while marker is 0xFF.
struct TransparentColor {
    uint8_t r = 0, g = 0, b = 0, marker = 0;
};
extern TransparentColor transparentColor;

// Registers the calibration display with the window before it keeps anything of it (a texture,
// a video target, the playback thread): the window then takes the renderer back from the
// playback thread, releases the target texture with the renderer and the target at closing.
void use_window();
// Builds the ring texture ((2·outer + 2) × 2·outer) unless a target texture exists.
void create_target_texture(int32_t outer, int32_t inner);
// Builds the configured target when none exists: the application's image while customTarget
// is 1, otherwise the ring with outerRadius and innerRadius.
void create_default_target();
// Drops the target texture, the animated target and its path; the application's image stays
// for the next create_default_target.
void release_target();
// What begin_cal_hook does before loading a video: the target's look returns to the default
// ring (radii 8 and 2), the custom target and background are dropped, no target is shown.
void reset_target_for_video();
// Called before the renderer is destroyed: destroys the target texture; the image it came
// from stays and is rebuilt for the next one.
void release_renderer_textures();
// Draws the background and the static target centred on (x, y) at scale times its size (the
// ring drawn anew at that size), without presenting.
void draw_target_at(int x, int y, double scale);
