// The library's load and unload steps, which the module's entry point of each system runs:
// process attach and detach of the DLL on Windows, the shared object's constructor and
// destructor on Linux. The library frame defines them (frame/library_entry.cpp).
#pragma once

// Writes the built-in fonts out, before anything else of the library runs.
void library_loaded();

// Removes the fonts and shuts SDL down, after everything else.
void library_unloaded();

// The process is ending with the library loaded: removes the font files through the system
// alone, calling neither SDL nor the core library.
void library_process_ending();
