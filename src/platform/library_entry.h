// The library's load and unload steps, which the module's entry point of each system runs:
// process attach and detach of the DLL on Windows, the shared object's constructor and
// destructor on Linux. The library frame defines them (frame/library_entry.cpp).
#pragma once

// Writes the built-in fonts out, before anything else of the library runs.
void library_loaded();

// Stops the library's threads and waits for them, removes the fonts and shuts SDL down, after
// everything else.
void library_unloaded();

// The library is freed while the process goes on and the system's loader holds its lock
// (Windows' FreeLibrary), where waiting for any thread deadlocks and no other library may be
// loaded or logged to. SDL has ended (the library holds itself loaded while SDL runs, see
// library_hold.h), and the library's own threads hold the module, so none runs: removes the
// fonts alone.
void library_released_under_loader_lock();

// The process is ending with the library loaded: removes the font files through the system
// alone, calling neither SDL nor the core library.
void library_process_ending();
