// Builds the 17-slot hook record for the core library and installs or removes it together
// with the screen-image writer.
#include "frame/display_hooks.h"

#include <cstdio>

#include "export/image_writer.h"
#include "platform/console_output.h"

void install_display_hooks() {
    DisplayHooks hooks{};
    hooks.begin_cal_hook = begin_cal_hook;
    hooks.end_cal_hook = end_cal_hook;
    hooks.noop_hook = noop_hook;
    hooks.begin_image_hook = begin_image_hook;
    hooks.image_title_hook = image_title_hook;
    hooks.image_line_hook = image_line_hook;
    hooks.palette_hook = palette_hook;
    hooks.end_image_hook = end_image_hook;
    hooks.clear_cal_hook = clear_cal_hook;
    hooks.erase_target_hook = erase_target_hook;
    hooks.draw_cal_target = draw_cal_target;
    hooks.cal_target_sound_hook = cal_target_sound_hook;
    hooks.cal_done_sound_hook = cal_done_sound_hook;
    hooks.dcorr_done_sound_hook = dcorr_done_sound_hook;
    hooks.dcorr_target_sound_hook = dcorr_target_sound_hook;
    hooks.read_key_hook = read_key_hook;
    hooks.alert_hook = alert_hook;
    // The core library copies the record during the call.
    core_install_hooks(&hooks);
    core_install_image_writer(image_writer, 0);
}

void remove_display_hooks() {
    const DisplayHooks none{};
    core_install_hooks(&none);
    core_install_image_writer(nullptr, 0);
}

void noop_hook() {}

void alert_hook(const char *message) {
    platform::print("%s\n", message ? message : "");
    std::fflush(stdout);
}
