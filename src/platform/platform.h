// The operating-system services the library uses, one header each. Everything outside
// src/platform reaches the system only through these; each service has one implementation
// per system (the *_linux.cpp files here).
//
//   screen.h        screen capabilities and bringing a window to the front
//   sound_output.h  a sound output device that plays queued PCM buffers (waveOut)
//   serial_port.h   serial ports by COM number: raw 115200 8N1, timed reads
#pragma once

#include "platform/screen.h"
#include "platform/serial_port.h"
#include "platform/sound_output.h"
