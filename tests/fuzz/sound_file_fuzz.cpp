// libFuzzer harness for the feedback-sound files a researcher names: the input is written to a
// file, named as every calibration sound with set_cal_sounds and played by the target sound
// hook through both back-ends: SDL_mixer (Mix_LoadWAV_RW, converted to the mixer's format in
// memory) and the system player (SDL_LoadWAV_RW, converted by the library's audio output as
// it plays). Each hook returns once its sound has been played out. SDL's disk driver writes
// the sound to /dev/null without waiting between buffers, so that a sound costs the processor
// time of its samples rather than its duration. Both devices stay open from one input to the
// next, as in a session: closing one waits for two of its buffers to drain.
#include <SDL.h>
#include <SDL_mixer.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "calibration/feedback_sounds.h"
#include "fuzz_check.h"
#include "fuzz_support.h"
#include "platform/audio_mixer.h"
#include "frame/display_hooks.h"
#include "frame/sound_backend.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

std::string sound_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_support::drop_standard_output();
    // Read by SDL 2.26's disk driver from the environment when a device opens.
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    // The disk driver announces itself on standard error when a device opens.
    SDL_LogSetOutputFunction([](void *, int, SDL_LogPriority, const char *) {}, nullptr);
    check(SDL_InitSubSystem(SDL_INIT_AUDIO) == 0);
    // SDL_mixer as init_expt_window opens it.
    check(Mix_OpenAudio(22050, AUDIO_S16LSB, 1, 1024) == 0);
    std::atexit([] {
        Mix_CloseAudio();
        platform::audio_output_close();
    });
    sound_path = fuzz_support::temp_folder("vt-sound-fuzz") + "/sound.wav";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    standin_reset();  // the stand-in core keeps every log line and alert
    fuzz_support::write_file(sound_path, data, size);
    set_cal_sounds(sound_path.c_str(), sound_path.c_str(), sound_path.c_str());

    force_sound_backend(0);
    cal_target_sound_hook();
    check(Mix_Playing(-1) == 0);
    force_sound_backend(1);
    cal_target_sound_hook();
    return 0;
}
