// The key presses and releases the key hook takes from SDL's queue, kept in order for the keypad
// device: the core library gets at most one key per poll, the device must see every press and
// release, also those of keys the core library never gets.
#include "device/key_events.h"

#include <array>

namespace {

// Enough for far more keys than a person presses between two polls. While no keypad device
// reads the log, the oldest events make room for new ones.
constexpr size_t kLogCapacity = 256;

std::array<KeyEvent, kLogCapacity> log_entries;
size_t first = 0;
size_t count = 0;

}  // namespace

void record_key_event(const SDL_KeyboardEvent &event) {
    // A held key's repeats are no new presses for the device.
    if (event.repeat) return;
    const int scancode = event.keysym.scancode;
    if (scancode < 0 || scancode >= kKeyScancodes) return;
    if (count == kLogCapacity) {
        first = (first + 1) % kLogCapacity;
        --count;
    }
    log_entries[(first + count) % kLogCapacity] =
        KeyEvent{uint8_t(scancode), uint8_t(event.type == SDL_KEYDOWN ? 1 : 0)};
    ++count;
}

bool take_key_event(KeyEvent &event) {
    if (count == 0) return false;
    event = log_entries[first];
    first = (first + 1) % kLogCapacity;
    --count;
    return true;
}

void clear_key_events() { first = count = 0; }
