// Telling the user that sounds find no output device: one line through the core log the first
// time in a window, and one when a device opens again; the sounds in between keep trying
// quietly.
#pragma once

// Called after each attempt to play, from the hook thread or the playback thread. In a new
// window the next sound that finds no device says so again.
void report_sound_device();
