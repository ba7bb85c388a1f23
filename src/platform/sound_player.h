// The system's synchronous sound player (PlaySound): plays one complete WAV, from memory or
// from a file, and returns when it has been heard. It sounds together with whatever the sound
// output plays (PlaySound and waveOut mix).
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Plays the RIFF WAVE file held in wav[0..size). A clip that cannot be decoded or a sound
// device that cannot open logs one line and plays nothing.
void play_sound_memory(const uint8_t *wav, size_t size);

// Plays the WAV file at path (read as file_paths.h says) and returns whether it played. A file
// that cannot be opened or decoded logs one line naming it and plays nothing (there is no
// system default sound to fall back on).
bool play_sound_file(const char *path);

// Whether this system's player is the one to use when the SDL runtime leaves the choice to
// the operating system.
bool system_player_preferred();

}  // namespace platform
