// read_key_hook: hands the core library at most one translated key press per poll, logs every
// key press and release it takes for the keypad device, steps the camera zoom on 'z', turns a
// window quit request into an abort request, and otherwise lets the device answer.
#include <SDL.h>

#include "camera/image_presentation.h"
#include "camera/status_text.h"
#include "device/device_modes.h"
#include "device/key_events.h"
#include "frame/display_hooks.h"
#include "frame/expt_window.h"
#include "input/key_translation.h"
#include "vistrak_core64.h"

namespace {

// Display-flag bits under which key releases, and the latest of several presses, are taken.
constexpr uint16_t kWideKeyFlags = VT_DISPLAY_IMAGE_SHOWN | VT_DISPLAY_WIDE_KEYS;

bool take_event(SDL_Event &event, Uint32 first_type, Uint32 last_type) {
    return SDL_PeepEvents(&event, 1, SDL_GETEVENT, first_type, last_type) == 1;
}

// Takes every pending key event in order and logs each for the keypad device. The candidate,
// the one event that can reach the core library: without the wide flags the oldest press; with
// them the first key event, replaced by every later press. A press that translates to nothing
// (Shift, Ctrl, Alt, AltGr, Caps Lock) is passed over, or it would take the place of the key
// it modifies, typed in the same poll. The core library never learns of the others.
bool take_key_events(uint16_t flags, SDL_Event &candidate) {
    const bool wide = flags & kWideKeyFlags;
    bool have_candidate = false;
    SDL_Event event;
    while (take_event(event, SDL_KEYDOWN, SDL_KEYUP)) {
        record_key_event(event.key);
        const bool press = event.type == SDL_KEYDOWN;
        if (press && translate_key(event.key.keysym.sym) == 0) continue;
        if (have_candidate ? wide && press : wide || press) {
            candidate = event;
            have_candidate = true;
        }
    }
    return have_candidate;
}

// 1 when the key press was stored in the record.
int16_t store_key(const SDL_KeyboardEvent &event, KeyInput *key) {
    const uint16_t code = translate_key(event.keysym.sym);
    if (code == 0) return 0;
    key->type = 1;
    key->state = 1;
    key->key = code;
    key->modifier = event.keysym.mod;
    if (code == 'z' || code == 'Z') step_zoom();
    return 1;
}

// The key poll proper: a keyboard key, else a key of the external device.
int16_t poll_key(KeyInput *key) {
    const uint16_t flags = core_display_flags();
    SDL_PumpEvents();
    SDL_Event candidate{};
    const bool have_candidate = take_key_events(flags, candidate);
    // A person who closes the window expects the procedure to stop.
    SDL_Event quit;
    const bool quit_requested = take_event(quit, SDL_QUIT, SDL_QUIT);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

    if (quit_requested) {
        core_set_abort(1);
    } else if (have_candidate && candidate.type == SDL_KEYDOWN && store_key(candidate.key, key)) {
        return 1;
    }
    // Buttons of an external calibration device reach the core library as keys.
    return device_poll_key(key);
}

}  // namespace

int16_t read_key_hook(KeyInput *key) {
    if (!exptGraphics.sdl_ready || !key) return 0;
    const int16_t result = poll_key(key);
    // A menu that changed (a device button, the tracker's mode) shows at once.
    draw_changed_status_text();
    return result;
}
