// Keeping the library loaded while it runs. From the moment it starts SDL until
// close_expt_graphics has ended everything, the library holds a reference to its own module,
// so that a host that unloads it first (FreeLibrary, dlclose) leaves it loaded and whole: the
// core library still calls its hooks, and SDL's window, threads and sound devices still call
// into it.
#pragma once

namespace platform {

// Takes the reference; nothing when it is held already.
void hold_library();

// Gives it back, as close_expt_graphics's last step: the host that called it still holds the
// library. Nothing when it is not held.
void release_library();

}  // namespace platform
