// The menu text and camera-view title drawn beside the camera image, in a font whose size
// follows the window width and the image's text scale.
#pragma once

#include <SDL.h>

#include <cstdint>

// The scale the status font was chosen for (while statusFontLoaded, text/fonts.h).
extern float statusFontScale;

// Draws the texts into the renderer without presenting, with the device's setup mode brought
// up to date first.
void draw_status_text();
// The same as draw_status_text with menu_text in place of the device's menu text.
void draw_status_text_with_menu(const char *menu_text);
// Draws the texts and presents when the device's menu changed since they were last drawn,
// unless another thread holds the renderer (the redraw then waits for the next call).
void draw_changed_status_text();
// Makes a bold font of size 15 x scale current (scale taken as at least 1.0; sizes outside
// 5..100 give 15), unless one chosen for a scale less than 0.1 away is current already.
void select_scaled_font(float scale);
