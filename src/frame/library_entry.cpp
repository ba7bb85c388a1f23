// The library's load and unload steps (the DLL entry point's process attach and detach on
// Windows): the built-in fonts are written out before anything else runs and removed, with
// SDL shut down, after everything else.
#include <SDL.h>

#include "frame/embedded_fonts.h"
#include "platform/audio_mixer.h"

namespace {

__attribute__((constructor)) void library_loaded() { extract_embedded_fonts(); }

__attribute__((destructor)) void library_unloaded() {
    remove_embedded_fonts();
    platform::audio_output_close();
    SDL_Quit();
}

}  // namespace
