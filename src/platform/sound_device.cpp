// The outcome of the last attempt to open the sound output device, shared by the hook thread
// and the playback thread.
#include "platform/sound_device.h"

#include <mutex>

namespace platform {

namespace {

std::mutex lock;
bool missing = false;
std::string why;

}  // namespace

void note_sound_device(bool opened, const char *reason) {
    const std::lock_guard<std::mutex> guard(lock);
    missing = !opened;
    why = opened || !reason ? "" : reason;
}

bool sound_device_missing(std::string &reason) {
    const std::lock_guard<std::mutex> guard(lock);
    if (missing) reason = why;
    return missing;
}

}  // namespace platform
