// Whether the sound output device opened the last time a sound tried it. Each system's sound
// player and sound output record every attempt; the library reads the outcome after a sound
// and tells the user when it changes, rather than at every sound.
#pragma once

#include <string>

namespace platform {

// Records an attempt: opened, or not for the reason given.
void note_sound_device(bool opened, const char *reason = nullptr);

// True when the last attempt found no device; reason then says why. Any thread may ask.
bool sound_device_missing(std::string &reason);

}  // namespace platform
