// The drawing thread: started and stopped by the hooks, it borrows the window's renderer while
// it runs.
#include "calibration/drawing_thread.h"

#include <SDL.h>

#include <cstdio>
#include <string>

#include "frame/expt_window.h"
#include "platform/console_output.h"
#include "platform/library_thread.h"

namespace {

// An OpenGL renderer's context is current on one thread at a time: the thread that hands the
// renderer over lets go of it, and SDL makes it current again at the other's next drawing call.
// Nothing happens when no context is current (any other renderer).
void let_go_of_renderer() { SDL_GL_MakeCurrent(nullptr, nullptr); }

// The thread started last: the library starts one at a time.
DrawingThread *started = nullptr;

void stop_drawing_thread() { started->stop(); }

}  // namespace

bool DrawingThread::start(const char *what, void (*body)()) {
    int32_t idle = kPlaybackIdle;
    if (!state_.compare_exchange_strong(idle, kPlaybackRequested)) return false;
    // The thread that ended last is joined before the next begins.
    platform::join_library_thread(thread_);
    thread_ = nullptr;
    let_go_of_renderer();
    body_ = body;
    started = this;
    std::string failure;
    thread_ = platform::start_library_thread(run, stop_drawing_thread, failure);
    if (!thread_) {
        platform::print("%s cannot start: %s\n", what, failure.c_str());
        std::fflush(nullptr);
        state_ = kPlaybackIdle;
        return false;
    }
    return true;
}

void DrawingThread::run() {
    DrawingThread &self = *started;
    int32_t requested = kPlaybackRequested;
    // A stop that came before the thread ran leaves nothing to draw.
    if (self.state_.compare_exchange_strong(requested, kPlaybackRunning)) {
        own_renderer_on_this_thread();
        self.body_();
        let_go_of_renderer();
    }
    // SDL keeps data of its own for every thread that calls it (the error text among it) and
    // frees it by itself only for threads it started: this one hands it back on its way out.
    SDL_TLSCleanup();
    {
        const std::lock_guard<std::mutex> lock(self.mutex_);
        self.state_ = kPlaybackIdle;
    }
    self.changed_.notify_all();
}

void DrawingThread::stop() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        int32_t seen = state_;
        while ((seen == kPlaybackRequested || seen == kPlaybackRunning) &&
               !state_.compare_exchange_weak(seen, kPlaybackStopping)) {
        }
        if (seen == kPlaybackIdle) return;
        changed_.notify_all();
        changed_.wait(lock, [this] { return state_ == kPlaybackIdle; });
    }
    platform::join_library_thread(thread_);
    thread_ = nullptr;
}

bool DrawingThread::active() const {
    const int32_t state = state_;
    return state == kPlaybackRequested || state == kPlaybackRunning;
}

bool DrawingThread::sleep_until(Clock::time_point deadline) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_until(lock, deadline, [this] { return !running(); });
}
