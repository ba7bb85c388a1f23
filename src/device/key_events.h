// The log of key presses and releases kept for the keypad device: the key hook records every
// key event it takes from SDL's queue, the device reads them in order.
#pragma once

#include <SDL_events.h>

#include <cstdint>

// Scancodes 0..254 are logged; the keypad device keeps one state per scancode.
constexpr int kKeyScancodes = 255;

// A key press or release as the key hook took it from SDL's queue.
struct KeyEvent {
    uint8_t scancode;  // SDL scancode, below kKeyScancodes
    uint8_t pressed;   // 1 pressed, 0 released
};

// Appends a key event the key hook took (a held key's repeats and scancodes from 255 on are
// left out).
void record_key_event(const SDL_KeyboardEvent &event);
// Takes the oldest logged event; false when none waits.
bool take_key_event(KeyEvent &event);
void clear_key_events();
