// The animated (video) target: loading its frames and sound, and the playback thread.
#pragma once

#include <cstdint>

// Reads every frame and the sound track of path into calData.animationTarget. 1: all loaded;
// 0: not loaded; negative: frames loaded, sound not.
int32_t LoadVideo(const char *path);

// Stops playback and frees frames and sound; the configured path stays.
void release_animation();

// Starts the playback thread when a start was requested (threadState 1).
void start_playback_thread();

// Stop handshake: waits until a running playback thread has ended.
void stop_playback_thread();
