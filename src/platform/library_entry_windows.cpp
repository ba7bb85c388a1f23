// The DLL's entry point on Windows: process attach and detach run the library's load and
// unload steps; thread attach and detach are of no interest and switched off.
#include <windows.h>

#include <initializer_list>

#include "platform/library_entry.h"

namespace {

// Keeps SDL's modules loaded for the rest of the process: the window procedure, the audio
// thread and the mixer's callback run on after this library has gone.
void keep_sdl_loaded() {
    for (const wchar_t *name : {L"SDL2.dll", L"SDL2_mixer.dll"}) {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        library_loaded();
    } else if (reason == DLL_PROCESS_DETACH) {
        // Not null: the process is ending, not freeing the library. Its other threads are
        // gone, possibly holding locks, and graphics drivers and other DLLs must not be called.
        if (reserved)
            library_process_ending();
        else if (library_released_under_loader_lock())
            keep_sdl_loaded();
    }
    return TRUE;
}
