// The operating-system services the library uses, one header each. Everything outside
// src/platform reaches the system only through these; each service has one implementation
// per system (the *_linux.cpp files here).
//
//   screen.h        screen capabilities and bringing a window to the front
//   sound_output.h  a sound output device that plays queued PCM buffers (waveOut)
//   video_reader.h  video files: frames as DIBs, the sound track as PCM (AVI file functions)
#pragma once

#include "platform/screen.h"
#include "platform/sound_output.h"
#include "platform/video_reader.h"
