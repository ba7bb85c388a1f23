// The library's load and unload steps: the built-in fonts are written out before anything else
// runs and removed, with SDL shut down, after everything else.
#include "platform/library_entry.h"

#include <SDL.h>

#include "frame/embedded_fonts.h"
#include "platform/audio_mixer.h"
#include "text/fonts.h"

void library_loaded() {
    extract_embedded_fonts();
    set_builtin_font_folder(embedded_font_folder());
}

void library_unloaded() {
    close_current_font();
    remove_embedded_fonts(true);
    set_builtin_font_folder(nullptr);
    platform::audio_output_close();
    SDL_Quit();
}

void library_process_ending() { remove_embedded_fonts(false); }
