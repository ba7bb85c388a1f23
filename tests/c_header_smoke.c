/* The public header compiles as C99 and the exports link from a C program. */
#define _POSIX_C_SOURCE 200112L
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include "vistrak_core_graphics_sdl2.h"

int main(void) {
    DisplayInfo info;
    int32_t width = 0, height = 0, bits = 0;
    struct SDL_Window *window = NULL;
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "dummy", 0);
    if (sizeof(DisplayInfo) != 48 || sizeof(CoreBitmap) != 32 ||
        offsetof(CoreBitmap, pixels) != 16) {
        printf("record layout differs\n");
        return 1;
    }
    if (get_current_display_information(&width, &height, &bits) != 1) return 1;
    /* Referenced, not called: opening a window belongs to the window tests. */
    int16_t (*open_window)(struct SDL_Window **, DisplayInfo *) = init_expt_window;
    void (*close_window)(void) = close_expt_graphics;
    if (open_window == NULL || close_window == NULL) return 1;
    (void)info;
    (void)get_expt_window(&window);
    printf("C header smoke: desktop %dx%d, %d bits\n", (int)width, (int)height, (int)bits);
    return window == NULL ? 0 : 1;
}
