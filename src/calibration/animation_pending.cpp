// Animated target until it is built: no video loads, so the ring is always shown.
#include "calibration/animation.h"

int32_t LoadVideo(const char *) { return 0; }
void release_animation() {}
void start_playback_thread() {}
void stop_playback_thread() {}
