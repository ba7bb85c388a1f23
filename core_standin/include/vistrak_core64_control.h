/*
 * Control and inspection of the stand-in core library, for tests and tools: what the graphics
 * plug-in installed and called, and the values the core functions answer with.
 * Not part of the core interface; a real core library has none of this.
 */
#ifndef VISTRAK_CORE64_CONTROL_H
#define VISTRAK_CORE64_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#include "vistrak_core64.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets every recorded call, log line, alert and overlay script; answers return to their
 * defaults (display flags 0, tracker mode 0, no abort, bitmap result 0). Installed hooks and
 * the image writer stay. */
VT_CORE_API void standin_reset(void);

/* The hooks record as last installed (all null after removal or before any install). */
VT_CORE_API DisplayHooks standin_installed_hooks(void);
VT_CORE_API ImageWriter standin_image_writer(void);

/* How often each core function was called since the last reset. */
typedef struct StandinCalls {
    int install_hooks;
    int install_image_writer;
    int attach_window;
    int graphics_ready;
    int set_abort;
    int16_t last_set_abort;
    int draw_overlay;
    int sleep;
    uint32_t last_sleep_ms;
} StandinCalls;
VT_CORE_API StandinCalls standin_calls(void);

/* core_log lines and core_alert messages, formatted, in order. Echoed to standard error when
 * the environment variable VT_CORE_ECHO is set to a non-empty value. The returned text stays
 * valid until the next reset. */
VT_CORE_API size_t standin_log_count(void);
VT_CORE_API const char *standin_log_line(size_t index);
VT_CORE_API size_t standin_alert_count(void);
VT_CORE_API const char *standin_alert(size_t index);
/* Number of log lines that contain text. */
VT_CORE_API size_t standin_log_matches(const char *text);

/* Answers of core_display_flags, core_tracker_mode and core_abort_requested. core_set_abort
 * also changes the abort answer. */
VT_CORE_API void standin_set_display_flags(uint16_t flags);
VT_CORE_API void standin_set_tracker_mode(uint16_t mode);
VT_CORE_API void standin_set_abort(int16_t pending);
/* When non-zero, core_sleep_ms records the request and returns at once. */
VT_CORE_API void standin_set_skip_sleep(int skip);

/* The last core_bitmap_* call: which function (501, 502, 503), the record's fields, a copy of
 * its pixels (height * pitch bytes), the 16-bit arguments in call order and the two texts. */
typedef struct StandinBitmapCall {
    int function;
    int32_t width, height, pitch, depth;
    int reserved_zeroed;          /* 1 when the 32-byte reserved block held only zeros */
    const uint8_t *pixels;
    size_t pixel_bytes;
    int32_t args[8];
    int arg_count;
    const char *fname;
    const char *path;
} StandinBitmapCall;
VT_CORE_API int standin_bitmap_call_count(void);
VT_CORE_API StandinBitmapCall standin_last_bitmap_call(void);
/* core_bitmap_save also saves the bitmap, as the tracker core saves screens, when an image
 * writer is installed and fname is neither null nor empty: it calls the writer with the file
 * path/fname (fname alone when path is null or empty), the format code sv_options, and the
 * region of the bitmap at xs, ys of width x height pixels (0 for either: to the bitmap's edge;
 * clipped to the bitmap; the region keeps the bitmap's pitch). It returns the writer's result
 * when that is not 0, else the result set below. */
/* Result returned by the three core_bitmap_* functions. */
VT_CORE_API void standin_set_bitmap_result(int32_t result);

/* What core_draw_overlay does with the context it is given: replay these operations through
 * its callbacks, in order. */
typedef enum StandinOverlayKind { STANDIN_LINE = 1, STANDIN_LOZENGE = 2, STANDIN_MOUSE = 3 } StandinOverlayKind;
typedef struct StandinOverlayOp {
    StandinOverlayKind kind;
    int32_t a, b, c, d;  /* line: x1 y1 x2 y2; lozenge: x y width height */
    int32_t colour;      /* mouse: the button state the callback starts from */
} StandinOverlayOp;
VT_CORE_API void standin_set_overlay_script(const StandinOverlayOp *ops, size_t count);

/* The last context core_draw_overlay received, and what its mouse calls reported. */
typedef struct StandinOverlaySeen {
    int32_t drawnWidth, drawnHeight;
    int32_t surfaceWidth, surfaceHeight; /* -1 when the context had no surface */
    MouseLocCallback mouseCallback;
    int32_t mouseX, mouseY;
    uint32_t mouseState;
} StandinOverlaySeen;
VT_CORE_API StandinOverlaySeen standin_last_overlay(void);

/* The display hooks the simulated tracker called, in order (cleared by standin_reset). slot is
 * the hook's position in DisplayHooks (1 begin_cal_hook ... 17 alert_hook). args holds the
 * integer arguments in order: draw_cal_target x, y; image_line_hook width, line, total lines;
 * palette_hook count; the done sounds their error flag; read_key_hook the key code and
 * modifier. result holds what begin_cal_hook, begin_image_hook and read_key_hook returned.
 * text is the title of image_title_hook (null otherwise), valid until the next reset.
 * tracker_mode and display_flags are what core_tracker_mode and core_display_flags answered
 * during the call. read_key_hook polls that deliver no key are not recorded. The trace keeps
 * the first 262144 calls; later ones are only counted as dropped. */
typedef struct StandinHookCall {
    int32_t slot;
    int32_t args[3];
    int32_t result;
    uint16_t tracker_mode;
    uint16_t display_flags;
    const char *text;
} StandinHookCall;
VT_CORE_API size_t standin_hook_call_count(void);
VT_CORE_API StandinHookCall standin_hook_call(size_t index); /* slot 0 when out of range */
VT_CORE_API size_t standin_hook_calls_dropped(void);

#ifdef __cplusplus
}
#endif

#endif /* VISTRAK_CORE64_CONTROL_H */
