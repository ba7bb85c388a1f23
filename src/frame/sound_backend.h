// Which way the feedback sounds play: through the system player, or through SDL_mixer, for
// which init_sdl opens SDL audio.
#pragma once

#include <cstdint>

// 1: sounds go through the system player; 0: through SDL_mixer.
int32_t use_system_player();

// Makes use_system_player answer backend (0 or 1) instead of its rule; -1 restores the rule.
// A seam for tests and tools: set it before init_expt_window so that init_sdl follows it.
void force_sound_backend(int32_t backend);
