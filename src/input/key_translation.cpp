// SDL keycodes to the core library's key codes: function and cursor keys become PC scan codes
// in the high byte, the keypad's minus and plus their characters, lock and modifier keys
// nothing, and every other key the low 16 bits of its keycode.
#include "input/key_translation.h"

uint16_t translate_key(SDL_Keycode key) {
    if (key >= SDLK_F1 && key <= SDLK_F10) return uint16_t(0x3B00 + (key - SDLK_F1) * 0x100);
    switch (key) {
    case SDLK_UP: return 0x4800;
    case SDLK_PAGEUP: return 0x4900;
    case SDLK_LEFT: return 0x4B00;
    case SDLK_RIGHT: return 0x4D00;
    case SDLK_DOWN: return 0x5000;
    case SDLK_PAGEDOWN: return 0x5100;
    case SDLK_KP_MINUS: return '-';
    case SDLK_KP_PLUS: return '+';
    case SDLK_CAPSLOCK:
    case SDLK_LCTRL:
    case SDLK_LSHIFT:
    case SDLK_LALT:
    case SDLK_RCTRL:
    case SDLK_RSHIFT:
    case SDLK_RALT: return 0;
    default: break;
    }
    const auto code = uint16_t(key & 0xFFFF);
    return code == 1 ? 0 : code;
}
