// Target, done and error sounds of calibration and drift correction.
#pragma once

#include <cstdint>

void cal_target_sound_hook();
void cal_done_sound_hook(int16_t error);
void dcorr_done_sound_hook(int16_t error);
void dcorr_target_sound_hook();

// 1: sounds go through the system player; 0: through SDL_mixer (SDL audio opened by init_sdl).
int32_t use_system_player();
