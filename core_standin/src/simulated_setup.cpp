// The camera setup procedure: the setup screen, the camera image shown and hidden on Enter and
// streamed line by line at a steady rate, and the setup keys.
#include <algorithm>

#include "core_state.h"
#include "simulated_tracker.h"

namespace simtracker {

namespace {

void send_title() {
    Camera &camera = tracker().camera;
    if (camera.shown) hook_image_title(camera_title(camera).c_str());
}

void show_image() {
    Camera &camera = tracker().camera;
    set_mode(VT_MODE_SETUP_IMAGE);
    set_flag(VT_DISPLAY_IMAGE_SHOWN, true);
    hook_begin_image();
    camera.shown = true;
    {
        std::lock_guard<std::mutex> lock(standin::state().mutex);
        standin::state().overlay_painter = paint_overlay;
    }
    send_palette();
    send_title();
    camera.shown_since_ms = now_ms();
    camera.next_frame_ms = camera.paced_since_ms = camera.shown_since_ms;
    camera.paced_frames = 0;
}

void stream_frame(int64_t now) {
    Camera &camera = tracker().camera;
    render_frame(camera, now);
    for (int line = 1; line <= kFrameHeight; ++line)
        hook_image_line(kFrameWidth, int16_t(line), kFrameHeight,
                        camera.indices.data() + size_t(line - 1) * kFrameWidth);
    SimTrackerStats &stats = tracker().stats;
    ++stats.frames;
    emit(SIMTRACKER_FRAME_SHOWN, stats.frames);
}

void start_from_setup(Procedure kind) {
    hide_image();
    int width = 0, height = 0;
    if (SDL_Window *window = attached_window()) SDL_GetWindowSize(window, &width, &height);
    if (kind == Procedure::DriftCorrection)
        begin_targets(kind, {Point{int16_t(width / 2), int16_t(height / 2)}});
    else
        begin_targets(kind,
                      grid(tracker().grid_points, width, height, tracker().settings.grid_span));
    // A procedure that could not start leaves the setup screen as it was.
    if (tracker().current == Procedure::Setup) return_to_setup();
}

}  // namespace

int32_t begin_setup() {
    Tracker &t = tracker();
    set_mode(VT_MODE_SETUP);
    if (hook_begin_cal() != 0) {
        set_mode(VT_MODE_IDLE);
        return fail("begin_cal_hook answered -1 (no window)");
    }
    t.current = Procedure::Setup;
    t.in_setup = true;
    ++t.stats.setups;
    emit(SIMTRACKER_STAGE_BEGIN, 0);
    return 0;
}

void hide_image() {
    Camera &camera = tracker().camera;
    if (!camera.shown) return;
    {
        std::lock_guard<std::mutex> lock(standin::state().mutex);
        standin::state().overlay_painter = nullptr;
    }
    hook_end_image();
    camera.shown = false;
    set_flag(VT_DISPLAY_IMAGE_SHOWN, false);
    set_mode(VT_MODE_SETUP);
    tracker().stats.image_seconds += double(now_ms() - camera.shown_since_ms) / 1000.0;
}

void return_to_setup() {
    tracker().current = Procedure::Setup;
    set_mode(VT_MODE_SETUP);
    hook_begin_cal();
}

bool setup_key(uint16_t key) {
    Camera &camera = tracker().camera;
    switch (key) {
    case VT_KEY_ENTER:
        if (camera.shown) {
            hide_image();
            hook_begin_cal();  // the setup screen with its menu again
        } else {
            show_image();
        }
        return true;
    case VT_KEY_LEFT:
    case VT_KEY_RIGHT:
        camera.view = (camera.view + (key == VT_KEY_RIGHT ? 1 : kViewCount - 1)) % kViewCount;
        send_title();
        return true;
    case VT_KEY_UP:
    case VT_KEY_DOWN:
        camera.pupil_threshold = std::clamp(camera.pupil_threshold + (key == VT_KEY_UP ? 2 : -2), 1,
                                            camera.cr_threshold - 1);
        send_title();
        return true;
    case '+':
    case '=':
    case '-':
        camera.cr_threshold = std::clamp(camera.cr_threshold + (key == '-' ? -2 : 2),
                                         camera.pupil_threshold + 1, 254);
        send_title();
        return true;
    case 'a':
        // Thresholds come from a frame even while the image is hidden.
        if (!camera.shown) render_frame(camera, now_ms());
        auto_thresholds(camera);
        send_title();
        return true;
    case 'c': start_from_setup(Procedure::Calibration); return true;
    case 'v': start_from_setup(Procedure::Validation); return true;
    case 'd': start_from_setup(Procedure::DriftCorrection); return true;
    default: return false;
    }
}

void setup_step(int64_t now) {
    Camera &camera = tracker().camera;
    if (!camera.shown || now < camera.next_frame_ms) return;
    // Frame n is due n periods after the pace began, so the rate holds without rounding drift.
    const int64_t rate = tracker().settings.frame_rate;
    ++camera.paced_frames;
    camera.next_frame_ms = camera.paced_since_ms + camera.paced_frames * 1000 / rate;
    // A tracker that fell behind keeps its pace from now instead of sending a burst of frames.
    if (camera.next_frame_ms <= now) {
        camera.paced_since_ms = now;
        camera.paced_frames = 0;
        camera.next_frame_ms = now + 1000 / rate;
    }
    stream_frame(now);
}

}  // namespace simtracker
