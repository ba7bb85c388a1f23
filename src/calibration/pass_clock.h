// The time of a pass of the animated target, by which its frames are paced: seconds since the
// pass's first frame. While the pass's sound plays, the time follows the sound's position, so
// that the pictures keep in step with what is heard whatever the pace of the sound device's
// clock; between two readings of the position, and once the sound has ended or stalls, it runs
// on with the system clock. It keeps within leeway() of the system clock, so that a device
// whose position runs away or stands still can neither race nor freeze the video.
#pragma once

#include <chrono>

class PassClock {
public:
    using Clock = std::chrono::steady_clock;

    explicit PassClock(Clock::time_point start) : start_(start), anchored_at_(start) {}

    // The sound's position, seconds from its start, as read at now.
    void sound_at(Clock::time_point now, double position);
    // The pass's time at now.
    double at(Clock::time_point now) const;

    // Half a second and 5 % of the time: more than a working device strays, even one that
    // paces itself with a timer (SDL's disk and dummy drivers run 3 to 4 % slow).
    static double leeway(double elapsed) { return 0.5 + 0.05 * elapsed; }

private:
    Clock::time_point start_;
    Clock::time_point anchored_at_;  // when the position last moved
    double anchor_ = 0;              // the pass's time then
    double position_ = -1;           // the latest position read
    int moves_ = 0;                  // positions read that differed from the one before
};
