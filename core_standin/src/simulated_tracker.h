// The simulated tracker's internal state and the routines its files share: the procedure that
// runs, the camera, the target run, the input script, counters and the observer.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "vistrak_simulated_tracker.h"

namespace simtracker {

constexpr int kFrameWidth = 384;
constexpr int kFrameHeight = 320;
constexpr int kViewCount = 3;

// What the camera found in the last frame, in camera pixels.
struct EyeFeatures {
    bool pupil_found = false;
    bool pupil_oversized = false;  // the threshold takes in more than the pupil
    int pupil_x = 0, pupil_y = 0;  // centroid of the pupil-coloured pixels
    SDL_Rect pupil_box{};          // their bounding box
    bool cr_found = false;
    int cr_x = 0, cr_y = 0;
    int cr_size = 0;
};

struct Camera {
    bool shown = false;  // between begin_image_hook and end_image_hook
    int view = 0;
    int pupil_threshold = 60;  // grey levels 0..255
    int cr_threshold = 225;
    int64_t next_frame_ms = 0;
    int64_t paced_since_ms = 0;  // frames are paced from here
    int64_t paced_frames = 0;
    int64_t shown_since_ms = 0;
    uint32_t noise = 1;
    std::array<uint8_t, kFrameWidth * kFrameHeight> grey{};     // the scene before thresholds
    std::array<uint8_t, kFrameWidth * kFrameHeight> indices{};  // palette indices as sent
    EyeFeatures features;
};

enum class Procedure { None, Setup, Calibration, Validation, DriftCorrection };

struct Point {
    int16_t x = 0, y = 0;
};

struct TargetRun {
    std::vector<Point> points;  // in showing order
    size_t index = 0;           // the point shown or due next
    bool visible = false;
    int64_t shown_ms = 0;
    int64_t next_target_ms = 0;
    std::vector<float> errors;  // simulated gaze error of each accepted point, pixels
};

struct Tracker {
    SimTrackerSettings configured{};  // taken over by the next outer procedure
    SimTrackerSettings settings{};    // of the running procedure
    uint32_t window_id = 0;
    Procedure current = Procedure::None;
    bool in_setup = false;   // the setup screen lies under a target procedure
    int grid_points = 9;     // grid of the setup screen's 'c' and 'v'
    int64_t started_ms = 0;  // start of the outer procedure
    int32_t result = SIMTRACKER_DONE;
    std::string error;
    Camera camera;
    TargetRun targets;
    SimTrackerStats stats{};
    SimTrackerObserver observer = nullptr;
    void *observer_data = nullptr;
};

Tracker &tracker();
int64_t now_ms();

// ---- simulated_session.cpp ----
SimTrackerStage stage_of(Procedure procedure);
void set_mode(uint16_t mode);
void set_flag(uint16_t flag, bool on);
void emit(SimTrackerEventKind kind, int32_t value, int16_t x = 0, int16_t y = 0,
          const char *text = nullptr);
int32_t fail(const std::string &message);  // stores the message, returns SIMTRACKER_FAILED
// The attached window, or null when none is attached or it no longer exists.
SDL_Window *attached_window();

// ---- simulated_hooks.cpp: the installed hooks, called and recorded in the trace ----
bool hooks_installed();
int16_t hook_begin_cal();
void hook_end_cal();
void hook_clear_cal();
void hook_erase_target();
void hook_draw_target(Point point);
void hook_cal_target_sound();
void hook_cal_done_sound(bool error);
void hook_dcorr_target_sound();
void hook_dcorr_done_sound(bool error);
int16_t hook_begin_image();
void hook_image_title(const char *title);
void hook_palette(int16_t count, const uint8_t *red, const uint8_t *green, const uint8_t *blue);
void hook_image_line(int16_t width, int16_t line, int16_t total, const uint8_t *indices);
void hook_end_image();
bool hook_read_key(KeyInput &key);

// ---- simulated_eye_image.cpp ----
// Renders the frame of the camera's view at time now_ms: grey scene, thresholds, features.
void render_frame(Camera &camera, int64_t now_ms);
// The palette sent at image start: grey levels, then the pupil and reflection highlights.
void send_palette();
// Sets both thresholds from the grey levels of the last rendered frame.
void auto_thresholds(Camera &camera);
std::string camera_title(const Camera &camera);
// Draws the overlay of camera.features through the context's callbacks (core_draw_overlay).
void paint_overlay(OverlayContext *context);

// ---- simulated_setup.cpp ----
int32_t begin_setup();
bool setup_key(uint16_t key);
void setup_step(int64_t now);
void hide_image();
// Back on the setup screen after a target procedure it started.
void return_to_setup();

// ---- simulated_targets.cpp ----
int32_t begin_targets(Procedure kind, std::vector<Point> points);
std::vector<Point> grid(int points, int width, int height, float span);
bool targets_key(uint16_t key);
void targets_step(int64_t now);
// Ends the target procedure without sounds (abort, time limit): erase, end_cal_hook.
void stop_targets(int32_t result);

// ---- simulated_input_script.cpp ----
void script_step(int64_t now);

}  // namespace simtracker
