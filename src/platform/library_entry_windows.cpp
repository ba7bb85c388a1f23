// The DLL's entry point on Windows: process attach and detach run the library's load and
// unload steps; thread attach and detach are of no interest and switched off.
#include <windows.h>

#include "platform/library_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        library_loaded();
    } else if (reason == DLL_PROCESS_DETACH) {
        // Not null: the process is ending, not freeing the library. Its other threads are
        // gone, possibly holding locks, and graphics drivers and other DLLs must not be called.
        if (reserved)
            library_process_ending();
        else
            library_released_under_loader_lock();
    }
    return TRUE;
}
