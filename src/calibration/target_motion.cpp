#include "calibration/target_motion.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "calibration/cal_data.h"
#include "frame/expt_window.h"
#include "vistrak_core64.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Motion {
    int32_t move_ms = 0, shrink_ms = 0, pulse_period_ms = 0, large_percent = 100;
};
Motion motion;   // the application's settings, on the hooks' thread
// The pulse thread's copies, written only while no such thread runs.
Motion pulsing;
std::chrono::steady_clock::duration pulse_frame;

// One frame of the display: its refresh rate where SDL knows it, else 60 Hz. Presents wait for
// it where the renderer waits for the display; elsewhere the frames are timed by it.
Clock::duration frame_period() {
    SDL_DisplayMode mode;
    const int hz = exptGraphics.window &&
                           SDL_GetWindowDisplayMode(exptGraphics.window, &mode) == 0 &&
                           mode.refresh_rate > 0
                       ? mode.refresh_rate
                       : 60;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz));
}

constexpr double kPi = 3.14159265358979323846;

// A smooth start and stop: the share of the way done at the share of the time.
double eased(double share) { return share * share * (3 - 2 * share); }

// Presents draw(share of the way) once a display frame for ms, short of the end, which the
// caller draws.
template <typename Draw>
void animate(int32_t ms, const Draw &draw) {
    const auto period = frame_period();
    const auto start = Clock::now();
    const std::chrono::duration<double> length = std::chrono::milliseconds(ms);
    for (int frame = 1;; ++frame) {
        const double share = (Clock::now() - start) / length;
        if (share >= 1) return;
        draw(eased(share));
        SDL_RenderPresent(drawing_renderer());
        std::this_thread::sleep_until(start + frame * period);
    }
}

// Grows and shrinks the target between its size and the largest, one cycle a period, smoothly,
// centred where it is, one picture per display frame.
void pulse_thread() {
    const DrawingThread &thread = drawing_thread();
    const TargetPosition at = calData.targetPosition;
    const double large = pulsing.large_percent / 100.0;
    const std::chrono::duration<double> cycle = std::chrono::milliseconds(pulsing.pulse_period_ms);
    const auto start = Clock::now();
    for (int frame = 1; thread.running() && core_abort_requested() == 0 &&
                        calData.targetPosition.load().shown();
         ++frame) {
        const double phase = std::fmod((Clock::now() - start) / cycle, 1.0);
        const double grown = (1 - std::cos(2 * kPi * phase)) / 2;
        draw_target_at(at.x, at.y, 1.0 + (large - 1.0) * grown);
        SDL_RenderPresent(drawing_renderer());
        thread.sleep_until(start + frame * pulse_frame);
    }
}

}  // namespace

void start_target_pulse() {
    if (motion.pulse_period_ms == 0 || motion.large_percent == 100 ||
        drawing_thread().active())
        return;
    pulsing = motion;
    pulse_frame = frame_period();
    use_window();
    drawing_thread().start("the target's pulse", pulse_thread);
}

void animate_target_arrival(int16_t x, int16_t y) {
    const int16_t from_x = calData.previousX, from_y = calData.previousY;
    if (motion.move_ms > 0 && from_x != kNoPosition && (from_x != x || from_y != y))
        animate(motion.move_ms, [&](double way) {
            draw_target_at(int(std::lround(from_x + (x - from_x) * way)),
                           int(std::lround(from_y + (y - from_y) * way)), 1.0);
        });
    if (motion.shrink_ms > 0 && motion.large_percent > 100) {
        const double large = motion.large_percent / 100.0;
        animate(motion.shrink_ms,
                [&](double way) { draw_target_at(x, y, large + (1.0 - large) * way); });
    }
}

extern "C" int32_t set_cal_target_motion(int32_t move_ms, int32_t shrink_ms,
                                         int32_t pulse_period_ms, int32_t large_percent) {
    const auto within = [](int32_t value, int32_t low, int32_t high) {
        return value >= low && value <= high;
    };
    if (!within(move_ms, 0, 2000) || !within(shrink_ms, 0, 2000) ||
        !(pulse_period_ms == 0 || within(pulse_period_ms, 200, 10000)) ||
        !within(large_percent, 100, 400))
        return -1;
    motion = Motion{move_ms, shrink_ms, pulse_period_ms, large_percent};
    return 0;
}
