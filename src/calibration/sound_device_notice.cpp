// The sound device notice: what the core log was last told, per window.
#include "calibration/sound_device_notice.h"

#include <mutex>
#include <string>

#include "platform/sound_device.h"
#include "vistrak_core64.h"

namespace {

std::mutex lock;
bool told_missing = false;      // the log last said there is no device
bool told_this_window = false;  // and said it since the window opened

}  // namespace

void report_sound_device() {
    std::string reason;
    const bool missing = platform::sound_device_missing(reason);
    const std::lock_guard<std::mutex> guard(lock);
    if (missing && !told_this_window) {
        core_log("no sound device: %s; sounds are not heard, each tries the device again\n",
                 reason.c_str());
        told_missing = told_this_window = true;
    } else if (!missing && told_missing) {
        core_log("sound device open: sounds are heard again\n");
        told_missing = told_this_window = false;
    }
}

void sound_device_notice_new_window() {
    const std::lock_guard<std::mutex> guard(lock);
    told_this_window = false;
}
