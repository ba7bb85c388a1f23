// The calibration screen hooks: background, target drawing and erasing.
#pragma once

#include <cstdint>

int drawBackground();
int16_t begin_cal_hook();
void end_cal_hook();
void clear_cal_hook();
void erase_target_hook();
void draw_cal_target(int16_t x, int16_t y);
