// The present hook on Windows: the graphics library's import of SDL_RenderPresent is pointed at
// a function of the demo's that passes each call on to SDL's. Done once, before the session,
// while no thread of the library's runs.
#include <windows.h>

#include "presented_frames.h"

namespace {

using Present = void(SDLCALL *)(SDL_Renderer *);

Present sdl_present = nullptr;

void SDLCALL present_kept(SDL_Renderer *renderer) {
    keep_frame(renderer);
    sdl_present(renderer);
}

// The graphics library's import slot that holds target, or null.
ULONG_PTR *import_slot(HMODULE module, ULONG_PTR target) {
    auto *base = reinterpret_cast<uint8_t *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto *entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry)
        for (auto *slot = reinterpret_cast<IMAGE_THUNK_DATA *>(base + entry->FirstThunk);
             slot->u1.Function != 0; ++slot)
            if (slot->u1.Function == target) return &slot->u1.Function;
    return nullptr;
}

}  // namespace

std::string hook_presents() {
    if (sdl_present) return "";
    const HMODULE sdl = GetModuleHandleW(L"SDL2.dll");
    const HMODULE graphics = GetModuleHandleW(L"vistrak_core_graphics_sdl2.dll");
    if (!sdl || !graphics) return "SDL2.dll or the graphics library is not loaded";
    const auto present = reinterpret_cast<Present>(
        reinterpret_cast<void *>(GetProcAddress(sdl, "SDL_RenderPresent")));
    ULONG_PTR *slot = present ? import_slot(graphics, reinterpret_cast<ULONG_PTR>(present))
                              : nullptr;
    if (!slot) return "the graphics library's import of SDL_RenderPresent is not found";
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection))
        return "the graphics library's import table cannot be written";
    sdl_present = present;
    *slot = reinterpret_cast<ULONG_PTR>(&present_kept);
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return "";
}
