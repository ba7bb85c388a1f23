// SDL keycodes to the core library's key codes: function and cursor keys become PC scan codes
// in the high byte, the keypad's minus and plus their characters, lock and modifier keys
// nothing, and every other key the low 16 bits of its keycode.
#include "input/key_translation.h"

#include "vistrak_core64.h"

uint16_t translate_key(SDL_Keycode key) {
    if (key >= SDLK_F1 && key <= SDLK_F10) return uint16_t(VT_KEY_F1 + (key - SDLK_F1) * 0x100);
    switch (key) {
    case SDLK_UP: return VT_KEY_UP;
    case SDLK_PAGEUP: return VT_KEY_PAGE_UP;
    case SDLK_LEFT: return VT_KEY_LEFT;
    case SDLK_RIGHT: return VT_KEY_RIGHT;
    case SDLK_DOWN: return VT_KEY_DOWN;
    case SDLK_PAGEDOWN: return VT_KEY_PAGE_DOWN;
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
