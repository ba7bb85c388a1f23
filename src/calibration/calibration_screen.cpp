// The calibration screen: the hooks through which the core library opens, clears and closes
// the screen and shows, moves and erases the target. While the playback thread of a video
// target runs it owns the renderer: drawing here takes it back.
#include <cstdio>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "calibration/target_motion.h"
#include "camera/status_text.h"
#include "device/device_modes.h"
#include "frame/display_hooks.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
#include "vistrak_core64.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

// clear_cal_hook's work: background, no target anywhere.
void clear_screen() {
    drawBackground();
    calData.targetPosition = TargetPosition{};
    calData.previousX = kNoPosition;
    calData.previousY = kNoPosition;
}

// Loads the configured video for this screen. Whatever keeps it from playing, a target is
// still shown: the default ring.
void load_video_target() {
    reset_target_for_video();
    const int32_t result = LoadVideo(calData.animationTarget.videoPath.c_str());
    core_log("return from LoadVideo is %d Use default target instead!\n", result);
    std::fflush(nullptr);
    if (result == 1) return;
    release_animation();
    create_default_target();
}

}  // namespace

int16_t begin_cal_hook() {
    update_setup_mode();
    if (!window_open()) return -1;
    AnimationTarget &animation = calData.animationTarget;
    // A thread still playing keeps its loaded video; it stops before anything is drawn.
    const bool video_loaded = animation.threadState == kPlaybackRunning && animation.player;
    take_renderer();
    if (!animation.videoPath.empty()) {
        if (!video_loaded) load_video_target();
    } else if (!calData.targetTexture) {
        create_default_target();
    }
    clear_screen();
    draw_status_text();
    SDL_RenderPresent(drawing_renderer());
    clear_screen();
    return 0;
}

void end_cal_hook() {
    stop_playback_thread();
    if (!calData.targetPosition.load().shown()) clear_screen();
    release_animation();
}

void clear_cal_hook() { clear_screen(); }

void erase_target_hook() {
    stop_playback_thread();
    if (!calData.targetPosition.load().shown()) return;
    calData.targetPosition = TargetPosition{};
    drawBackground();
    SDL_RenderPresent(drawing_renderer());
}

void draw_cal_target(int16_t x, int16_t y) {
    calData.targetPosition = TargetPosition{x, y};
    core_log("draw_cal_target start: x=%d %d\n", x, y);
    AnimationTarget &animation = calData.animationTarget;
    if (animation.player) {
        // A running thread follows the new position on its next frame.
        start_playback_thread();
        return;
    }
    // A choice of target made during the screen (a size that ends a video, a custom image
    // removed) leaves no texture until the next screen: the ring stands in, as at the begin.
    if (!calData.targetTexture) create_default_target();
    animate_target_arrival(x, y);
    // The static target moves in one step, numbered 1.
    const SDL_Rect rect{x - calData.targetWidth / 2, y - calData.targetHeight / 2,
                        calData.targetWidth, calData.targetHeight};
    drawBackground();
    core_log("draw_cal_target Drawing target at  i=%d x=%d y=%d w=%d h=%d step = %d\n", 1, rect.x,
             rect.y, rect.w, rect.h, 1);
    if (SDL_RenderCopy(drawing_renderer(), calData.targetTexture, nullptr, &rect) != 0) {
        core_log("draw_cal_target SDL_RenderCopy failed. error='%s'\n", SDL_GetError());
    } else {
        SDL_RenderPresent(drawing_renderer());
        SDL_Delay(16);
    }
    calData.previousX = x;
    calData.previousY = y;
    core_log("draw_cal_target done. Target should be visible at x=%d %d .\n", x, y);
    start_target_pulse();
}

extern "C" void set_mac_delay(int32_t value) { calData.macDelay = value; }
