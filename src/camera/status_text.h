// The menu text and camera-view title drawn beside the camera image.
#pragma once

#include <cstdint>

extern int32_t statusFontLoaded;
extern float statusFontScale;

// Draws the texts into the renderer without presenting.
void draw_status_text();
// With mode 2: draws the texts and presents; other modes do nothing.
void refresh_status_text(int32_t mode);
