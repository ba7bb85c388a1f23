/* A small Windows application built with mingw-w64 from the Windows zip's include\ and lib\
 * alone (and the demo zip's stand-in core): opens the experiment window, lets the core library
 * run a calibration screen through the installed hooks, closes, and names the graphics DLL it
 * ran on. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

int main(void) {
    static const uint8_t kTarget[4] = {230, 40, 20, 255}, kBackground[4] = {20, 90, 200, 255};
    DisplayInfo info;
    memset(&info, 0, sizeof info);
    set_calibration_colors(kTarget, kBackground);
    set_target_size(60, 10);
    if (init_expt_window(NULL, &info) != 0) {
        printf("init_expt_window failed\n");
        return 1;
    }
    printf("display %dx%d, %d bits\n", (int)info.width, (int)info.height, (int)info.bits);
    const DisplayHooks hooks = standin_installed_hooks();
    int ok = info.width > 0 && info.height > 0 && hooks.begin_cal_hook &&
             hooks.begin_cal_hook() == 0;
    if (ok) {
        hooks.draw_cal_target((int16_t)(info.width / 4), (int16_t)(info.height / 3));
        hooks.erase_target_hook();
        hooks.end_cal_hook();
        /* The target was drawn and presented. */
        ok = standin_log_matches("draw_cal_target done") == 1;
    }
    close_expt_graphics();
    char path[MAX_PATH] = "";
    GetModuleFileNameA(GetModuleHandleA("vistrak_core_graphics_sdl2.dll"), path, MAX_PATH);
    printf("loaded %s\n%s\n", path, ok ? "consumer ok" : "consumer failed");
    return ok ? 0 : 1;
}
