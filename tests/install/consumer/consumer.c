/* A small application built against an installed tree: opens the experiment window, lets the
 * core library draw a calibration target through the installed hooks, checks the display
 * facts and the pixels, closes the window, and names the Vistrak library files it runs on. */
#define _GNU_SOURCE
#include <SDL.h>
#include <link.h>
#include <stdio.h>
#include <string.h>

#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

static const uint8_t kTarget[4] = {230, 40, 20, 255};
static const uint8_t kBackground[4] = {20, 90, 200, 255};

static int print_vistrak_library(struct dl_phdr_info *info, size_t size, void *data) {
    (void)size;
    (void)data;
    if (strstr(info->dlpi_name, "libvistrak_")) printf("loaded %s\n", info->dlpi_name);
    return 0;
}

/* The presented pixel at (x, y) as 0xRRGGBBAA, or 0 when it cannot be read. */
static uint32_t pixel_at(SDL_Renderer *renderer, int x, int y) {
    SDL_Rect rect = {x, y, 1, 1};
    uint32_t pixel = 0;
    if (SDL_RenderReadPixels(renderer, &rect, SDL_PIXELFORMAT_RGBA8888, &pixel, 4) != 0)
        printf("reading (%d, %d) failed: %s\n", x, y, SDL_GetError());
    return pixel;
}

static int expect_colour(SDL_Renderer *renderer, int x, int y, const uint8_t colour[4],
                         const char *what) {
    const uint32_t want = (uint32_t)colour[0] << 24 | (uint32_t)colour[1] << 16 |
                          (uint32_t)colour[2] << 8 | 0xFF;
    const uint32_t seen = pixel_at(renderer, x, y);
    if (seen == want) return 1;
    printf("%s at (%d, %d): 0x%08X, expected 0x%08X\n", what, x, y, (unsigned)seen,
           (unsigned)want);
    return 0;
}

int main(void) {
    DisplayInfo info;
    memset(&info, 0, sizeof info);
    set_calibration_colors(kTarget, kBackground);
    set_target_size(60, 10);
    if (init_expt_window(NULL, &info) != 0) {
        printf("init_expt_window failed\n");
        return 1;
    }
    printf("display %dx%d, %d bits, %.0f Hz\n", (int)info.width, (int)info.height,
           (int)info.bits, (double)info.refresh);
    int ok = info.width > 0 && info.height > 0 && info.right == info.width - 1 &&
             info.bottom == info.height - 1 && info.refresh > 0.0f;

    /* The core library draws a target at one quarter across, one third down. */
    const DisplayHooks hooks = standin_installed_hooks();
    SDL_Renderer *renderer = SDL_GetRenderer(get_expt_window(NULL));
    const int x = info.width / 4, y = info.height / 3;
    ok = ok && hooks.begin_cal_hook && hooks.begin_cal_hook() == 0 && renderer;
    if (ok) {
        hooks.draw_cal_target((int16_t)x, (int16_t)y);
        ok = expect_colour(renderer, x + 15, y, kTarget, "target ring") &
             expect_colour(renderer, x, y, kBackground, "target hole") &
             expect_colour(renderer, x * 3, y * 2, kBackground, "background");
        hooks.end_cal_hook();
    }
    close_expt_graphics();
    dl_iterate_phdr(print_vistrak_library, NULL);
    printf("%s\n", ok ? "consumer ok" : "consumer failed");
    return ok ? 0 : 1;
}
