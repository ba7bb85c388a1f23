/*
 * The tracker core library's interface towards its graphics plug-in: the 16 functions the
 * plug-in imports and the records the two exchange. Any library that exports these functions
 * with C linkage can serve as libvistrak_core64.so (on Windows: vistrak_core64.dll, exporting
 * them under the ordinals of vistrak_core64.def).
 *
 * Records passed by pointer (DisplayHooks, OverlayContext, CoreBitmap) are the caller's and
 * are valid only during the call, unless a function says otherwise.
 */
#ifndef VISTRAK_CORE64_H
#define VISTRAK_CORE64_H

#include <stddef.h>
#include <stdint.h>

#include "vistrak_core_graphics_sdl2.h" /* CoreBitmap, MouseLocCallback */

/* On Windows the core DLL exports the 16 functions under fixed ordinals, and the graphics
 * plug-in imports them by ordinal alone: the names need not match. */
#if defined(_WIN32) && defined(VT_CORE_BUILD)
#define VT_CORE_API __declspec(dllexport)
#elif defined(_WIN32)
#define VT_CORE_API __declspec(dllimport)
#else
#define VT_CORE_API __attribute__((visibility("default")))
#endif

#if defined(__GNUC__)
#define VT_CORE_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define VT_CORE_PRINTF_FORMAT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One key press as the core library receives it from the key hook. */
typedef struct KeyInput {
    uint8_t type;      /* 1: a key */
    uint8_t state;     /* 1: pressed */
    uint16_t key;      /* key code */
    uint16_t modifier; /* SDL modifier bits */
    uint16_t unicode;  /* not written by the graphics plug-in */
} KeyInput;

/* Key codes of KeyInput.key besides characters: the function and cursor keys are PC scan
 * codes in the high byte. */
#define VT_KEY_BACKSPACE 8u
#define VT_KEY_ENTER 13u
#define VT_KEY_ESCAPE 27u
#define VT_KEY_F1 0x3B00u /* F2 to F10 follow, 0x100 apart */
#define VT_KEY_UP 0x4800u
#define VT_KEY_PAGE_UP 0x4900u
#define VT_KEY_LEFT 0x4B00u
#define VT_KEY_RIGHT 0x4D00u
#define VT_KEY_DOWN 0x5000u
#define VT_KEY_PAGE_DOWN 0x5100u

/* The 17 display hooks, in the fixed order in which the core library reads them. */
typedef struct DisplayHooks {
    int16_t (*begin_cal_hook)(void);           /* 0, or -1 without a window */
    void (*end_cal_hook)(void);
    void (*noop_hook)(void);
    int16_t (*begin_image_hook)(void);         /* 1: buffer created, 0: it existed */
    void (*image_title_hook)(int32_t unused, const char *title);
    void (*image_line_hook)(int16_t width, int16_t line, int16_t total_lines,
                            const uint8_t *indices);
    void (*palette_hook)(int16_t count, const uint8_t *red, const uint8_t *green,
                         const uint8_t *blue);
    void (*end_image_hook)(void);
    void (*clear_cal_hook)(void);
    void (*erase_target_hook)(void);
    void (*draw_cal_target)(int16_t x, int16_t y);
    void (*cal_target_sound_hook)(void);
    void (*cal_done_sound_hook)(int16_t error);
    void (*dcorr_done_sound_hook)(int16_t error);
    void (*dcorr_target_sound_hook)(void);
    int16_t (*read_key_hook)(KeyInput *key);   /* 1: a key was stored */
    void (*alert_hook)(const char *message);
} DisplayHooks;

typedef struct OverlayContext OverlayContext;

/* Overlay callbacks: coordinates in drawn-image pixels; colour is a colour number. */
typedef int (*OverlayLineCallback)(OverlayContext *context, int32_t x1, int32_t y1, int32_t x2,
                                   int32_t y2, int32_t colour);
typedef int (*OverlayLozengeCallback)(OverlayContext *context, int32_t x, int32_t y,
                                      int32_t width, int32_t height, int32_t colour);

/* The record handed to core_draw_overlay, 72 bytes; its address comes back as the first
 * argument of every callback. */
struct OverlayContext {
    int32_t reserved0;
    int32_t drawnWidth;
    int32_t drawnHeight;
    int32_t reserved1;
    void *reserved2;
    struct SDL_Surface *overlaySurface;
    OverlayLineCallback lineCallback;
    OverlayLozengeCallback lozengeCallback;
    MouseLocCallback mouseCallback;
    void *reserved3;
    void *reserved4;
};

/* The core library reads these records by byte offset (64-bit pointers). */
#if defined(__cplusplus)
#define VT_CORE_LAYOUT(condition, what) static_assert(condition, what)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define VT_CORE_LAYOUT(condition, what) _Static_assert(condition, what)
#endif
#ifdef VT_CORE_LAYOUT
VT_CORE_LAYOUT(sizeof(OverlayContext) == 72, "OverlayContext is 72 bytes");
VT_CORE_LAYOUT(offsetof(OverlayContext, drawnWidth) == 4, "drawnWidth at 4");
VT_CORE_LAYOUT(offsetof(OverlayContext, drawnHeight) == 8, "drawnHeight at 8");
VT_CORE_LAYOUT(offsetof(OverlayContext, reserved1) == 12, "reserved at 12");
VT_CORE_LAYOUT(offsetof(OverlayContext, reserved2) == 16, "reserved at 16");
VT_CORE_LAYOUT(offsetof(OverlayContext, overlaySurface) == 24, "overlaySurface at 24");
VT_CORE_LAYOUT(offsetof(OverlayContext, lineCallback) == 32, "lineCallback at 32");
VT_CORE_LAYOUT(offsetof(OverlayContext, lozengeCallback) == 40, "lozengeCallback at 40");
VT_CORE_LAYOUT(offsetof(OverlayContext, mouseCallback) == 48, "mouseCallback at 48");
VT_CORE_LAYOUT(offsetof(OverlayContext, reserved3) == 56, "reserved at 56");
VT_CORE_LAYOUT(offsetof(OverlayContext, reserved4) == 64, "reserved at 64");
VT_CORE_LAYOUT(offsetof(KeyInput, state) == 1, "KeyInput state at 1");
VT_CORE_LAYOUT(offsetof(KeyInput, key) == 2, "KeyInput key at 2");
VT_CORE_LAYOUT(offsetof(KeyInput, modifier) == 4, "KeyInput modifier at 4");
#undef VT_CORE_LAYOUT
#endif

/* Writes a screen image to path; format 1 PNG, 2 GIF, 3 BMP, 4 XPM, other JPEG.
 * Returns 0 after writing, -1 on failure. */
typedef int32_t (*ImageWriter)(const char *path, int32_t format, const CoreBitmap *bitmap);

VT_CORE_API uint32_t core_clock_ms(void);
VT_CORE_API void core_sleep_ms(uint32_t milliseconds);
/* Bits of core_display_flags. */
#define VT_DISPLAY_IMAGE_SHOWN 0x2u /* the camera image is shown */
#define VT_DISPLAY_WIDE_KEYS 0x10u  /* key releases are taken too, as while the image is shown */
/* The whole value while the camera image fills the screen: no custom background then. */
#define VT_DISPLAY_IMAGE_FULL_SCREEN 0x20u
VT_CORE_API uint16_t core_display_flags(void);
/* The tracker's modes, as core_tracker_mode answers them. */
#define VT_MODE_IDLE 0u
#define VT_MODE_SETUP 2u
#define VT_MODE_SETUP_IMAGE 3u /* setup with the camera image shown */
#define VT_MODE_CALIBRATION 11u
#define VT_MODE_VALIDATION 12u
#define VT_MODE_DRIFT_CORRECTION 13u
VT_CORE_API uint16_t core_tracker_mode(void);
VT_CORE_API void core_attach_window(void *window);
VT_CORE_API void core_graphics_ready(void);
VT_CORE_API int16_t core_abort_requested(void);
VT_CORE_API void core_set_abort(int16_t raise);
VT_CORE_API void core_alert(const char *format, ...) VT_CORE_PRINTF_FORMAT;
/* Copies the 17 pointers; an all-null record removes the hooks. */
VT_CORE_API void core_install_hooks(const DisplayHooks *hooks);
VT_CORE_API void core_install_image_writer(ImageWriter writer, int32_t reserved);
/* 16-bit values arrive as their low 16 bits, zero-extended. */
VT_CORE_API int32_t core_bitmap_save_and_backdrop(const CoreBitmap *bitmap, int32_t xs,
                                                  int32_t ys, int32_t width, int32_t height,
                                                  const char *fname, const char *path,
                                                  int32_t sv_options, int32_t xd, int32_t yd,
                                                  int32_t bx_options);
VT_CORE_API int32_t core_bitmap_to_backdrop(const CoreBitmap *bitmap, int32_t xs, int32_t ys,
                                            int32_t width, int32_t height, int32_t xd,
                                            int32_t yd, int32_t bx_options);
VT_CORE_API int32_t core_bitmap_save(const CoreBitmap *bitmap, int32_t xs, int32_t ys,
                                     int32_t width, int32_t height, const char *fname,
                                     const char *path, int32_t sv_options);
VT_CORE_API void core_draw_overlay(OverlayContext *context);
VT_CORE_API void core_log(const char *format, ...) VT_CORE_PRINTF_FORMAT;

#ifdef __cplusplus
}
#endif

#endif /* VISTRAK_CORE64_H */
