// The operating-system services the library uses, one header each. Everything outside
// src/platform reaches the system only through these; each service has one implementation
// per system (the *_linux.cpp files here).
//
//   dynamic_library.h  loading optional shared libraries at run time (libgd)
//   screen.h        screen capabilities and bringing a window to the front
//   sound_output.h  a sound output device that plays queued PCM buffers (waveOut)
#pragma once

#include "platform/dynamic_library.h"
#include "platform/screen.h"
#include "platform/sound_output.h"
