// The shared audio output on Windows: PlaySound and waveOut mix their sounds in the system, so
// the sound player and the sound output open no SDL voice and there is no device to close.
#include "platform/audio_mixer.h"

namespace platform {

void audio_output_close() {}

}  // namespace platform
