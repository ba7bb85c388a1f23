// The library's one audio output, behind the sound player and the sound output: every sound is
// a voice mixed into one SDL audio device, since drivers with one output device refuse a second
// open (dummy, ALSA hardware without a software mixer) or let two overwrite one file (disk).
#pragma once

#include <SDL_audio.h>

#include <cstdint>

namespace platform {

struct AudioVoice;  // one sound source mixed into the output

// Reports that the last of a voice's sound has gone to the device. Called on the audio thread
// with the mixer locked: it must not call the functions below (as a waveOut callback must not
// call waveOut), and the voice is idle again when it runs.
using AudioVoiceEnded = void (*)(AudioVoice *voice, void *user);

// A voice for PCM of format (AUDIO_U8, or this machine's AUDIO_S16SYS, AUDIO_S32SYS or
// AUDIO_F32SYS), 1 to 8 channels and rate per second, converted to the output's own format as
// it plays. Opens the output device on first use.
// Null when the output cannot open (each attempt is recorded, see sound_device.h) or the
// format cannot be converted (the reason is logged).
// ended must not be null.
AudioVoice *audio_voice_create(SDL_AudioFormat format, int channels, int rate,
                               AudioVoiceEnded ended, void *user);

// Plays data[0..length) once from its beginning (a partial last frame is left out). The data
// is read while it plays: it must stay valid until the end is reported or the voice is reset
// or destroyed. False while the voice still plays an earlier sound.
bool audio_voice_play(AudioVoice *voice, const uint8_t *data, uint32_t length);

// Plays data[0..length) after what the voice has still to play, without a gap, as one sound
// with it; or from its beginning as a new sound when the voice is idle. The same rules for the
// data as audio_voice_play. The end is reported once, after the last piece queued.
bool audio_voice_queue(AudioVoice *voice, const uint8_t *data, uint32_t length);

// How far the voice's current sound has come: its frames (at the voice's own rate) that have
// been mixed into the device's buffers, the latest included. 0 before it plays.
uint64_t audio_voice_position(AudioVoice *voice);

// Stops the voice's sound at once. True when something was dropped; its end is not reported.
bool audio_voice_reset(AudioVoice *voice);

// Stops and removes the voice. Once this returns the audio thread no longer reads its data or
// reports its end.
void audio_voice_destroy(AudioVoice *voice);

// Closes the output device; the next voice opens it again. A device that still has voices is
// closed when the last of them is destroyed, never under a playing sound.
void audio_output_close();

}  // namespace platform
