// The animated (video) target: loading its frames and sound, and the playback thread.
#pragma once

#include <cstddef>
#include <cstdint>

// Opens the video at path for calData.animationTarget: its first frame decoded, the first
// piece of its sound track read; the other frames and the rest of the sound are read while it
// plays (video_frames.h, sound_track.h). 1: frames
// and sound loaded; 0: not loaded; negative: frames loaded, sound not.
int32_t LoadVideo(const char *path);

// The most memory a video may take: a video whose frames, held a few at a time, need more is
// not loaded, and a sound track that needs more than half of it is not read (LoadVideo's -7),
// so that the calibration screen shows the ring target instead. memory_budget_for the
// machine's memory; tests lower it.
extern size_t video_memory_budget;
// The budget on a machine of physical bytes: a quarter of them, at most 2 GB, so that a video
// leaves the experiment room on a small lab PC (2 GB when the system does not say).
size_t memory_budget_for(uint64_t physical);

// Stops playback and frees frames and sound; the configured path stays for the next
// calibration screen's load.
void release_animation();

// Ends the animated target: release_animation, then the configured path goes as well.
void end_animation_target();

// Starts the playback thread when a start was requested (threadState 1; the caller sets it
// just before). When the thread cannot start, threadState returns to 0 so that the next
// draw_cal_target tries again.
void start_playback_thread();

// A thread that draws on the window while the hooks wait, the video target's playback or the
// static target's pulse, under the same handshake (threadState). start_drawing_thread starts
// body once threadState is requested (1); when the thread cannot start, threadState returns to
// 0. The body begins with enter_drawing_thread, which takes the renderer and is false when a
// stop came first (the body then returns at once), and ends with leave_drawing_thread.
void start_drawing_thread(void (*body)());
bool enter_drawing_thread();
void leave_drawing_thread();

// True while a playback thread is requested or running.
bool playback_running();

// Stop handshake: a thread requested (1) or running (2) is asked to stop (3); returns once it
// has ended (0). Returns at once when no thread is requested or running.
void stop_playback_thread();
