#include "calibration/pass_clock.h"

#include <algorithm>

namespace {

double seconds(PassClock::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The share of the difference between the sound's position and the clock that each new
// position takes away. Positions come in steps (a device buffer, 10 ms on Linux) and are read
// some milliseconds late: taken whole, each would jolt the frames' intervals by as much.
constexpr double kFollow = 0.1;

}  // namespace

void PassClock::sound_at(Clock::time_point now, double position) {
    // A position that stays is not a time: the clock runs on from when it last moved.
    if (position == position_) return;
    position_ = position;
    const double running = anchor_ + seconds(now - anchored_at_);
    // The sound's start (the first position, and the first move, which tells when the device
    // began to play) sets the clock outright.
    anchor_ = moves_ < 2 ? position : running + kFollow * (position - running);
    anchored_at_ = now;
    ++moves_;
}

double PassClock::at(Clock::time_point now) const {
    const double elapsed = seconds(now - start_);
    const double spread = leeway(elapsed);
    return std::clamp(anchor_ + seconds(now - anchored_at_), elapsed - spread, elapsed + spread);
}
