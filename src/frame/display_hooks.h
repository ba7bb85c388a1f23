// The display hooks handed to the core library: the record's 17 slots, in their order, with
// the signature each slot fixes. The folder named beside each hook defines it; install and
// remove put the record, and the screen-image writer, in the core library and take them out.
#pragma once

#include <cstdint>

#include "vistrak_core64.h"

void install_display_hooks();
void remove_display_hooks();

int16_t begin_cal_hook();  // calibration
void end_cal_hook();       // calibration
void noop_hook();          // here
int16_t begin_image_hook();                                  // camera
void image_title_hook(int32_t unused, const char *title);    // camera
void image_line_hook(int16_t width, int16_t line, int16_t total_lines,
                     const uint8_t *indices);                // camera
void palette_hook(int16_t count, const uint8_t *red, const uint8_t *green,
                  const uint8_t *blue);                      // camera
void end_image_hook();                                       // camera
void clear_cal_hook();                   // calibration
void erase_target_hook();                // calibration
void draw_cal_target(int16_t x, int16_t y);  // calibration
void cal_target_sound_hook();            // calibration
void cal_done_sound_hook(int16_t error);     // calibration
void dcorr_done_sound_hook(int16_t error);   // calibration
void dcorr_target_sound_hook();          // calibration
int16_t read_key_hook(KeyInput *key);    // input
void alert_hook(const char *message);    // here
