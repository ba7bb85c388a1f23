// The operating-system services the library uses, one header each. Everything outside
// src/platform reaches the system only through these; each service has one implementation
// per system (the *_linux.cpp and *_windows.cpp files here). library_entry_*.cpp run the
// frame's load and unload steps from the module's entry points.
//
//   audio_mixer.h   the one audio device that the sound player and sound output share
//   console_output.h  the library's lines on standard output, UTF-16 to a Windows console
//   dynamic_library.h  loading optional shared libraries at run time (libgd)
//   file_paths.h    received paths read as UTF-8 or ANSI, files opened, the environment
//   font_lookup.h   the file of an installed font face named by family and style
//   library_hold.h  the library's reference to its own module while SDL runs
//   library_thread.h  threads of the library's own, which an unload never cuts off
//   module_data.h   raw data built into the library's own module, by id
//   screen.h        screen capabilities and bringing a window to the front
//   sound_device.h  whether the sound output device opened at the last attempt
//   sound_output.h  a sound output device that plays queued PCM buffers (waveOut)
//   serial_port.h   serial ports by COM number: raw 115200 8N1, timed reads
//   sound_player.h  the synchronous system sound player for WAV clips and files (PlaySound)
//   system_memory.h the machine's physical memory
//   temp_folder.h   the temporary folder, a folder private to the process, plain files
#pragma once

#include "platform/audio_mixer.h"
#include "platform/console_output.h"
#include "platform/dynamic_library.h"
#include "platform/file_paths.h"
#include "platform/font_lookup.h"
#include "platform/library_hold.h"
#include "platform/library_thread.h"
#include "platform/module_data.h"
#include "platform/screen.h"
#include "platform/serial_port.h"
#include "platform/sound_device.h"
#include "platform/sound_output.h"
#include "platform/sound_player.h"
#include "platform/system_memory.h"
#include "platform/temp_folder.h"
