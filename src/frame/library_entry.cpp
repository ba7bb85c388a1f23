// The library's load and unload steps: the built-in fonts are written out before anything else
// runs and removed, with SDL shut down, after everything else.
#include "platform/library_entry.h"

#include <SDL.h>

#include "frame/embedded_fonts.h"
#include "platform/audio_mixer.h"
#include "platform/library_thread.h"
#include "text/fonts.h"

namespace {

void release_fonts() {
    close_current_font();
    remove_embedded_fonts(true);
    set_builtin_font_folder(nullptr);
}

}  // namespace

void library_loaded() {
    extract_embedded_fonts();
    set_builtin_font_folder(embedded_font_folder());
}

void library_unloaded() {
    // The library's own threads end before what they use goes.
    platform::stop_library_threads();
    release_fonts();
    platform::audio_output_close();
    SDL_Quit();
}

void library_released_under_loader_lock() { release_fonts(); }

void library_process_ending() { remove_embedded_fonts(false); }
