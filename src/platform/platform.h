// The operating-system services the library uses, one header each. Everything outside
// src/platform reaches the system only through these; each service has one implementation
// per system (the *_linux.cpp files here).
//
//   screen.h        screen capabilities and bringing a window to the front
//   sound_output.h  a sound output device that plays queued PCM buffers (waveOut)
//   sound_player.h  the synchronous system sound player for WAV clips and files (PlaySound)
#pragma once

#include "platform/screen.h"
#include "platform/sound_output.h"
#include "platform/sound_player.h"
