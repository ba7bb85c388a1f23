// Status text until it is built: nothing is drawn.
#include "camera/status_text.h"

int32_t statusFontLoaded = 0;
float statusFontScale = 0.0f;

void draw_status_text() {}
void refresh_status_text(int32_t) {}
