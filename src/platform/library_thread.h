// Threads of the library's own, started so that neither an unload nor the process's exit pulls
// anything from under one of them: on Windows each thread holds a reference on the module and
// lets go of it as it exits (FreeLibrary while it runs leaves the module loaded until then);
// on Linux every thread still running is stopped and waited for, by the unload step before the
// dynamic loader unmaps the code, and at exit before the library's records are destroyed.
#pragma once

#include <string>

namespace platform {

struct LibraryThread;  // a thread started here, until it is joined

// Starts body on a new thread. stop asks that thread to end and returns once it has (the
// handshake of whoever started it). Null when the system cannot start a thread; failure then
// says why.
LibraryThread *start_library_thread(void (*body)(), void (*stop)(), std::string &failure);

// Waits until thread has ended and gives back what it held. A thread that
// stop_library_threads has taken is joined there instead, and this returns at once.
void join_library_thread(LibraryThread *thread);

// Stops every thread started here that still runs and returns once each has left the
// library's code. Windows has nothing to wait for: each thread keeps the module loaded itself,
// and the loader lock, held at unload, forbids waiting for a thread.
void stop_library_threads();

}  // namespace platform
