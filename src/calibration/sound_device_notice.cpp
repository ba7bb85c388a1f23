// The sound device notice: what the core log was last told, per window.
#include "calibration/sound_device_notice.h"

#include <cstdint>
#include <mutex>
#include <string>

#include "frame/expt_window.h"
#include "platform/sound_device.h"
#include "vistrak_core64.h"

namespace {

constexpr uint32_t kNoWindow = UINT32_MAX;

std::mutex lock;
bool told_missing = false;          // the log last said there is no device
uint32_t told_window = kNoWindow;  // and said it in this window (a count of windows opened)

}  // namespace

void report_sound_device() {
    std::string reason;
    const bool missing = platform::sound_device_missing(reason);
    const uint32_t window = exptGraphics.windows_opened;
    const std::lock_guard<std::mutex> guard(lock);
    if (missing && told_window != window) {
        core_log("no sound device: %s; sounds are not heard, each tries the device again\n",
                 reason.c_str());
        told_missing = true;
        told_window = window;
    } else if (!missing && told_missing) {
        core_log("sound device open: sounds are heard again\n");
        told_missing = false;
        told_window = kNoWindow;
    }
}
