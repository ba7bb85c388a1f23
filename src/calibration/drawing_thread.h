// The one thread of the library's own that draws on the window while the hooks wait: the video
// target's player, or the static target's pulse. Its state is the Part-visible threadState
// (0 idle, 1 requested, 2 running, 3 stop requested); a stop wakes the thread's waits at once
// and returns once the thread has been joined.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {
struct LibraryThread;
}

// threadState: the drawing thread's state, handed between the hooks and the thread. The values
// are those the records and logs have always shown.
enum PlaybackState : int32_t {
    kPlaybackIdle = 0,       // no thread
    kPlaybackRequested = 1,  // draw_cal_target asks for one
    kPlaybackRunning = 2,    // the thread runs
    kPlaybackStopping = 3,   // a hook asks it to stop
};

class DrawingThread {
public:
    using Clock = std::chrono::steady_clock;

    // state: where the thread's state is reported.
    explicit DrawingThread(std::atomic<int32_t> &state) : state_(state) {}
    DrawingThread(const DrawingThread &) = delete;
    DrawingThread &operator=(const DrawingThread &) = delete;

    // Starts body on the thread when none is requested or running (the caller has registered
    // with the window, use_window). what names the body in the
    // message printed when the system cannot start a thread; the state is then idle again, so
    // that the next call tries again. False when nothing was started.
    bool start(const char *what, void (*body)());
    // Asks a thread requested or running to stop, and returns once it has ended and been
    // joined (at once when none runs).
    void stop();
    // True while a thread is requested or running.
    bool active() const;

    // For the body: true until a stop is asked.
    bool running() const { return state_ == 2; }
    // For the body: sleeps until deadline, or less when a stop is asked; false once it is.
    bool sleep_until(Clock::time_point deadline) const;

private:
    static void run();

    std::atomic<int32_t> &state_;
    void (*body_)() = nullptr;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    platform::LibraryThread *thread_ = nullptr;  // the hooks' thread's own
};
