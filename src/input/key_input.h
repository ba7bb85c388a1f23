// Keyboard input for the core library: key translation and the per-key state table.
#pragma once

#include <array>
#include <cstdint>

#include "vistrak_core64.h"

// Pressed (1) or released (0), indexed by SDL scancode 0..254.
extern std::array<uint8_t, 255> key_states;
// Set whenever an entry of key_states is written; the keypad device clears it.
extern uint8_t key_states_changed;

int16_t read_key_hook(KeyInput *key);
