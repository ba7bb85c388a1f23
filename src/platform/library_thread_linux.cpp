// Library threads on Linux: POSIX threads, each joined by its starter or when the threads are
// stopped, so that none runs the library's code after its destructor
// returns. At exit the C library destroys the library's records before the destructor runs:
// an exit handler, registered once every record exists, stops the threads first.
#include "platform/library_thread.h"

#include <cxxabi.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

extern "C" void *__dso_handle;

namespace platform {

namespace {

}  // namespace

struct LibraryThread {
    void (*body)();
    void (*stop)();
    pthread_t thread{};
    std::atomic<bool> ended{false};
    LibraryThread *next = nullptr;
};

namespace {

// A plain list and a mutex with nothing to destroy: both stay usable while the exit handlers
// destroy the library's other records.
std::mutex threadsMutex;
LibraryThread *threads = nullptr;  // started and not yet joined; guarded by threadsMutex

void *run(void *argument) {
    auto *self = static_cast<LibraryThread *>(argument);
    self->body();
    self->ended = true;  // what is left of this thread is its return
    return nullptr;
}

// A forked child has none of its parent's threads: it forgets them, so that it never waits
// for one. The mutex is held across the fork, so that the child inherits the list whole.
void fork_prepare() { threadsMutex.lock(); }
void fork_parent() { threadsMutex.unlock(); }
void fork_child() {
    threads = nullptr;
    threadsMutex.unlock();
}

void stop_at_exit(void *) { stop_library_threads(); }

// The exit handler belongs to this shared object (its __dso_handle), so that dlclose removes
// it with the code: a handler taken as the process's own would be called into unmapped code.
void register_handlers() {
    pthread_atfork(fork_prepare, fork_parent, fork_child);
    abi::__cxa_atexit(stop_at_exit, nullptr, &__dso_handle);
}

}  // namespace

LibraryThread *start_library_thread(void (*body)(), void (*stop)(), std::string &failure) {
    static std::once_flag handlers;
    std::call_once(handlers, register_handlers);
    std::lock_guard<std::mutex> guard(threadsMutex);
    auto *started = new (std::nothrow) LibraryThread{body, stop};
    if (!started) {
        failure = std::strerror(ENOMEM);
        return nullptr;
    }
    if (const int error = pthread_create(&started->thread, nullptr, run, started)) {
        delete started;
        failure = std::strerror(error);
        return nullptr;
    }
    started->next = threads;
    threads = started;
    return started;
}

void join_library_thread(LibraryThread *thread) {
    {
        std::lock_guard<std::mutex> guard(threadsMutex);
        LibraryThread **link = &threads;
        while (*link && *link != thread) link = &(*link)->next;
        if (!*link) return;
        *link = thread->next;
    }
    pthread_join(thread->thread, nullptr);
    delete thread;
}

void stop_library_threads() {
    LibraryThread *ending = nullptr;
    {
        std::lock_guard<std::mutex> guard(threadsMutex);
        std::swap(ending, threads);
    }
    for (LibraryThread *thread = ending; thread; thread = thread->next)
        if (!thread->ended) thread->stop();
    while (ending) {
        LibraryThread *thread = ending;
        ending = thread->next;
        pthread_join(thread->thread, nullptr);
        delete thread;
    }
}

}  // namespace platform
