// The process-wide key state table shared by the key hook and the keypad device.
#include "input/key_input.h"

std::array<uint8_t, 255> key_states{};
uint8_t key_states_changed = 0;
