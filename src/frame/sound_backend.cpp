// The sound backend rule: SDL from 2.2.13 on, and systems whose own player is preferred, play
// through the system player; the others through SDL_mixer.
#include "frame/sound_backend.h"

#include <SDL.h>

#include <cstdio>

#include "platform/console_output.h"
#include "platform/sound_player.h"

namespace {

SDL_version runtimeVersion{};
bool runtimeVersionRead = false;
int32_t osDecision = -1;     // -1 not yet asked
int32_t forcedBackend = -1;  // -1: the rule decides

}  // namespace

int32_t use_system_player() {
    if (!runtimeVersionRead) {
        SDL_GetVersion(&runtimeVersion);
        runtimeVersionRead = true;
        platform::print("%s %u.%u.%u\n", "SDL runtime version", runtimeVersion.major,
                        runtimeVersion.minor, runtimeVersion.patch);
    }
    if (forcedBackend != -1) return forcedBackend;
    if (runtimeVersion.minor > 2 || (runtimeVersion.minor == 2 && runtimeVersion.patch >= 13))
        return 1;
    if (osDecision == -1) osDecision = platform::system_player_preferred() ? 1 : 0;
    return osDecision;
}

void force_sound_backend(int32_t backend) {
    forcedBackend = backend == 0 || backend == 1 ? backend : -1;
}
