// The menu text and camera-view title drawn beside the camera image, in a font whose size
// follows the window width and the image's text scale.
#pragma once

#include <cstdint>

// 1 while a status font is current (set by select_scaled_font and set_cal_font, cleared when
// image display ends); the scale it was chosen for.
extern int32_t statusFontLoaded;
extern float statusFontScale;

// Draws the texts into the renderer without presenting.
void draw_status_text();
// The same with menu_text in place of the device's menu text.
void draw_status_text_with_menu(const char *menu_text);
// With mode 2: draws the texts and presents; other modes do nothing.
void refresh_status_text(int32_t mode);
// Makes a bold font of size 15 x scale current (scale taken as at least 1.0; sizes outside
// 5..100 give 15), unless one chosen for a scale less than 0.1 away is current already.
void select_scaled_font(float scale);
