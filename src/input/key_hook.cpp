// read_key_hook: hands the core library at most one translated key press per poll, keeps the
// per-scancode pressed table for the keypad device, steps the camera zoom on 'z', turns a
// window quit request into an abort request, and otherwise lets the device answer.
#include <SDL.h>

#include "camera/image_state.h"
#include "device/device_modes.h"
#include "frame/expt_window.h"
#include "input/key_input.h"
#include "input/key_translation.h"
#include "vistrak_core64.h"

namespace {

// Display-flag bits under which key releases, and the latest of several presses, are taken.
constexpr uint16_t kWideKeyFlags = 0x2 | 0x10;

bool take_event(SDL_Event &event, Uint32 first_type, Uint32 last_type) {
    return SDL_PeepEvents(&event, 1, SDL_GETEVENT, first_type, last_type) == 1;
}

bool take_candidate(uint16_t flags, SDL_Event &candidate) {
    if (!(flags & kWideKeyFlags)) return take_event(candidate, SDL_KEYDOWN, SDL_KEYDOWN);
    if (!take_event(candidate, SDL_KEYDOWN, SDL_KEYUP)) return false;
    SDL_Event later;
    while (take_event(later, SDL_KEYDOWN, SDL_KEYDOWN)) candidate = later;
    return true;
}

void record_key_state(const SDL_KeyboardEvent &event) {
    const int scancode = event.keysym.scancode;
    if (scancode < 0 || scancode >= int(key_states.size())) return;
    key_states[size_t(scancode)] = event.type == SDL_KEYDOWN ? 1 : 0;
    key_states_changed = 1;
}

// 1 when the key press was stored in the record.
int16_t store_key(const SDL_KeyboardEvent &event, KeyInput *key) {
    const uint16_t code = translate_key(event.keysym.sym);
    if (code == 0) return 0;
    key->type = 1;
    key->state = 1;
    key->key = code;
    key->modifier = event.keysym.mod;
    if (code == 'z' || code == 'Z') ++imageState.zoomStep;
    return 1;
}

}  // namespace

int16_t read_key_hook(KeyInput *key) {
    if (!exptGraphics.sdl_ready || !key) return 0;
    const uint16_t flags = core_display_flags();
    SDL_PumpEvents();
    SDL_Event candidate;
    const bool have_candidate = take_candidate(flags, candidate);
    // A person who closes the window expects the procedure to stop.
    SDL_Event quit;
    const bool quit_requested = take_event(quit, SDL_QUIT, SDL_QUIT);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

    if (have_candidate) record_key_state(candidate.key);
    if (quit_requested) {
        core_set_abort(1);
    } else if (have_candidate && candidate.type == SDL_KEYDOWN && store_key(candidate.key, key)) {
        return 1;
    }
    // Buttons of an external calibration device reach the core library as keys.
    return device_poll_key(key);
}
