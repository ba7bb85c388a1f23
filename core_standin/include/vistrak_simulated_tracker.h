/*
 * The simulated tracker of the stand-in core library: runs tracker procedures on the
 * participant display through the display hooks the graphics plug-in installed, as a real
 * tracker core does, so that an application or a test can see a whole session without a
 * tracker. Not part of the core interface.
 *
 * Procedures
 *   Camera setup       the setup screen (begin_cal_hook), and on Enter the live eye-camera
 *                      image: begin_image_hook, palette_hook, image_title_hook, then per frame
 *                      320 image_line_hook calls of 384 pixels (the last line completes the
 *                      frame), at the configured frame rate; end_image_hook when it is hidden.
 *                      The overlay (cross-hairs on pupil and corneal reflection, a lozenge
 *                      around the pupil, colour numbers 1 to 7) is drawn through the callbacks
 *                      of the context core_draw_overlay receives.
 *   Calibration,       begin_cal_hook, clear_cal_hook, then per grid point draw_cal_target and
 *   validation         the target sound; the point is accepted after a simulated stable
 *                      fixation or on Enter, then erase_target_hook; the done sound (validation:
 *                      the error sound when a point fits poorly) and end_cal_hook.
 *   Drift correction   the same for one target, with the drift-correction sounds.
 *
 * What the core functions answer while a procedure runs
 *   core_tracker_mode   2 setup screen, 3 setup with the camera image, 11 calibration,
 *                       12 validation, 13 drift correction, 0 idle.
 *   core_display_flags  0x2 while the camera image display is open (from begin_image_hook to
 *                       end_image_hook), 0 otherwise.
 *
 * Keys, read through read_key_hook (one poll per step)
 *   Setup screen:  Enter shows or hides the camera image; Left/Right the previous/next camera
 *                  view; Up/Down raise/lower the pupil threshold; '+' (or '=') and '-' the
 *                  corneal-reflection threshold; 'a' automatic thresholds; 'c' calibration,
 *                  'v' validation, 'd' drift correction (each with the grid of the last
 *                  start, nine points at first); Escape leaves. 'z' is left to the graphics
 *                  plug-in, which zooms the image.
 *   Targets:       Enter accepts the target; Backspace goes back to the previous point;
 *                  Escape ends the procedure (back to the setup screen when started there).
 *   An abort request (core_set_abort(1), which the key hook raises when the window is asked to
 *   close) ends every procedure at once.
 *
 * Threads: every function must be called on the thread that drives the display hooks (the
 * application's thread); the observer is called on it too, between hook calls.
 */
#ifndef VISTRAK_SIMULATED_TRACKER_H
#define VISTRAK_SIMULATED_TRACKER_H

#include <stdint.h>

#include "vistrak_core64.h"

#ifdef __cplusplus
extern "C" {
#endif

struct SDL_Window;

/* Procedure results. */
enum {
    SIMTRACKER_DONE = 0,        /* completed */
    SIMTRACKER_POOR = 1,        /* validation or drift correction completed with a poor point */
    SIMTRACKER_ESCAPED = 27,    /* left with Escape */
    SIMTRACKER_FAILED = -1,     /* could not start: see simtracker_last_error() */
    SIMTRACKER_ABORTED = -2,    /* ended by an abort request */
    SIMTRACKER_TIMED_OUT = -3   /* ended by the time limit */
};

/* What runs. */
typedef enum SimTrackerStage {
    SIMTRACKER_IDLE = 0,
    SIMTRACKER_SETUP = 1,
    SIMTRACKER_CALIBRATION = 2,
    SIMTRACKER_VALIDATION = 3,
    SIMTRACKER_DRIFT_CORRECTION = 4
} SimTrackerStage;

typedef struct SimTrackerSettings {
    int32_t frame_rate;     /* camera frames per second, 1 to 250; default 30 */
    int32_t fixation_ms;    /* a target is accepted after this much simulated stable fixation;
                               0: only on Enter. 0 to 60000; default 800 */
    int32_t target_gap_ms;  /* blank time between targets, 0 to 10000; default 250 */
    int32_t poor_point;     /* index of the target (in showing order) whose simulated fixation
                               fits poorly in validation and drift correction; -1 none (default) */
    int32_t time_limit_ms;  /* a procedure started by the application ends after this long;
                               0 (default): no limit */
    float grid_span;        /* share of the window's width and height the grid spans, 0.1 to
                               1.0; default 0.8 */
    uint32_t seed;          /* seed of the simulated noise; default 1 */
} SimTrackerSettings;

/* Fills settings with the defaults above. */
VT_CORE_API void simtracker_default_settings(SimTrackerSettings *settings);
/* Takes effect at the next procedure start. Returns 0, or -1 (settings unchanged) for a null
 * pointer or a value out of range. */
VT_CORE_API int32_t simtracker_configure(const SimTrackerSettings *settings);

/* The experiment window the procedures use for their grid, screen saving and scripted key
 * events; null forgets it. The window is looked up by its id, so a window destroyed later is
 * simply not found. */
VT_CORE_API void simtracker_attach_window(struct SDL_Window *window);

/* ---- Running procedures ---------------------------------------------------------------- */

/* Blocking forms: start the procedure, then step until it ends; return its result. */
VT_CORE_API int32_t simtracker_do_setup(void);
VT_CORE_API int32_t simtracker_do_calibration(int32_t points);   /* 3, 5 or 9 points */
VT_CORE_API int32_t simtracker_do_validation(int32_t points);    /* 3, 5 or 9 points */
VT_CORE_API int32_t simtracker_do_drift_correction(int16_t x, int16_t y);

/* Step forms. A start returns 0, or SIMTRACKER_FAILED (nothing called) when a procedure
 * already runs, no hooks are installed, no window is attached, begin_cal_hook answers -1 or an
 * argument is out of range (points other than 3, 5, 9; a target outside the window). */
VT_CORE_API int32_t simtracker_start_setup(void);
VT_CORE_API int32_t simtracker_start_calibration(int32_t points);
VT_CORE_API int32_t simtracker_start_validation(int32_t points);
VT_CORE_API int32_t simtracker_start_drift_correction(int16_t x, int16_t y);

/* One step: delivers what the input script has due, polls read_key_hook once and acts on a
 * key, streams a camera frame when one is due, accepts a target whose fixation is complete.
 * Returns the stage that runs afterwards (SIMTRACKER_IDLE when the procedure ended). Never
 * waits. */
VT_CORE_API SimTrackerStage simtracker_step(void);

/* Acts on a key code (the codes read_key_hook delivers) as the running procedure does.
 * Returns 1 when the key did something, 0 when it was ignored. */
VT_CORE_API int32_t simtracker_handle_key(uint16_t key);

VT_CORE_API SimTrackerStage simtracker_stage(void);
/* Result of the last procedure that ended (SIMTRACKER_DONE before any). */
VT_CORE_API int32_t simtracker_result(void);
/* Why the last start, script load or screen save failed; "" when nothing failed. */
VT_CORE_API const char *simtracker_last_error(void);

/* ---- Observing ------------------------------------------------------------------------- */

typedef enum SimTrackerEventKind {
    SIMTRACKER_STAGE_BEGIN = 1,   /* stage begins (its begin hook was called) */
    SIMTRACKER_STAGE_END = 2,     /* stage ended; value: its result */
    SIMTRACKER_FRAME_SHOWN = 3,   /* a frame's last line was delivered; value: frames so far */
    SIMTRACKER_TARGET_SHOWN = 4,  /* x, y; value: index in the grid's showing order */
    SIMTRACKER_TARGET_ACCEPTED = 5,
    SIMTRACKER_KEY = 6,           /* value: the key code acted on */
    SIMTRACKER_MARK = 7           /* a "mark" line of the input script; text: its text */
} SimTrackerEventKind;

typedef struct SimTrackerEvent {
    SimTrackerEventKind kind;
    SimTrackerStage stage;
    int32_t value;
    int16_t x, y;
    const char *text;  /* valid during the call only; null unless stated */
} SimTrackerEvent;

/* Called on the hook thread between hook calls, so it may read the renderer's pixels. It may
 * call simtracker_save_screen, simtracker_load_script, simtracker_clear_script and the
 * counters; it must not start procedures, step or hand keys to the tracker. */
typedef void (*SimTrackerObserver)(const SimTrackerEvent *event, void *user_data);
VT_CORE_API void simtracker_set_observer(SimTrackerObserver observer, void *user_data);

/* Counts since the last simtracker_reset_stats(). */
typedef struct SimTrackerStats {
    int32_t setups, calibrations, validations, drift_corrections; /* procedures begun */
    int32_t frames;               /* camera frames delivered */
    double image_seconds;         /* time the camera image display was open */
    int32_t targets;              /* draw_cal_target calls */
    int32_t target_sounds;        /* calibration and drift-correction target sounds */
    int32_t done_sounds;          /* done sounds (error flag 0) */
    int32_t error_sounds;         /* done sounds with the error flag */
    int32_t keys;                 /* keys read through read_key_hook */
    int32_t script_events;        /* key and button presses the input script delivered */
    int32_t screens_saved;        /* screens written through the image writer */
    float validation_mean_error;  /* pixels, last validation */
    float validation_max_error;
} SimTrackerStats;
VT_CORE_API SimTrackerStats simtracker_stats(void);
VT_CORE_API void simtracker_reset_stats(void);

/* ---- Scripted input -------------------------------------------------------------------- */

/*
 * Loads an input script: a file, or the script text itself when the argument contains a
 * newline. It replaces any earlier script and starts with the next step. One command a line;
 * blank lines and lines starting with '#' are skipped:
 *   wait <ms>                 pause before the next command
 *   wait frames <n>           until n more camera frames have been delivered
 *   wait targets <n>          until n more targets have been shown
 *   wait mode <code>          until core_tracker_mode answers code
 *   key <name> [<hold ms> [<count>]]
 *                             press a key, release it after hold ms (default 40), count
 *                             times (default 1): SDL_KEYDOWN and SDL_KEYUP pushed into the SDL
 *                             event queue for the attached window. name is an SDL key name
 *                             ("Return", "Escape", "z", "Left", "Backspace"); names with
 *                             blanks go in double quotes ("Keypad 7").
 *   button <n> [<hold ms> [<count>]]
 *                             press button n (1 to 255) of the scripted device (see
 *                             simtracker_device_callback) and release it after hold ms
 *   mark <text>               call the observer with SIMTRACKER_MARK and text
 * Numbers are decimal: ms 0 to 600000, frames and targets 1 to 100000, code 0 to 65535, hold
 * 0 to 10000, count 1 to 1000. Returns the number of commands, or -1 (the earlier script is kept) when the file
 * cannot be read or a line is malformed; simtracker_last_error() then names the line.
 */
VT_CORE_API int32_t simtracker_load_script(const char *path_or_text);
VT_CORE_API void simtracker_clear_script(void);
/* Commands not yet carried out (a key or button counts until it is released). */
VT_CORE_API int32_t simtracker_script_pending(void);

/* A device callback (DeviceCallback of the graphics plug-in) that reports the scripted
 * buttons: enable it with enable_external_calibration_device((uintptr_t)
 * simtracker_device_callback, script, NULL). Returns 1 when the states changed since its last
 * call, else 0. */
VT_CORE_API int32_t simtracker_device_callback(DeviceButtons *buttons);

/* ---- Screens --------------------------------------------------------------------------- */

/* Writes the attached window's current picture through the installed image writer as the
 * tracker core saves screens: a CoreBitmap of 32 bits per pixel (bytes blue, green, red,
 * unused), rows top to bottom. format as ImageWriter (1 PNG, 3 BMP, other JPEG). Returns the
 * writer's result, or -1 (see simtracker_last_error()) with no window, no writer, null path, or
 * unreadable pixels. */
VT_CORE_API int32_t simtracker_save_screen(const char *path, int32_t format);

#ifdef __cplusplus
}
#endif

#endif /* VISTRAK_SIMULATED_TRACKER_H */
