/*
 * vistrak_core_graphics_sdl2: the SDL2 graphics plug-in of the Vistrak tracker core library.
 *
 * An experiment application loads this library beside the core library (libvistrak_core64),
 * calls init_expt_window() once, and from then on the core library draws its calibration,
 * validation, drift-correction and camera-setup screens in that window through hooks that
 * init_expt_window() installs. close_expt_graphics() removes the hooks and closes the window.
 *
 * Conventions for every function below:
 *   - All functions run on the application's thread (the one that drives the core library).
 *   - Colours are 4 bytes R, G, B, A. Coordinates are window pixels, origin top-left.
 *   - Values described as "16-bit" count with their low 16 bits only.
 *   - Surfaces passed in stay owned by the application; the library never frees them.
 *   - Strings are NUL-terminated 8-bit text; paths are file-system paths.
 *
 * Environment variables read:
 *   VT_SDL_SOFTWARE   non-zero: request SDL's software renderer; set at all: print the
 *                     renderer's name on standard error when the window opens.
 *   TMPDIR            temporary folder (default /tmp). While the library is loaded, the built-in
 *                     fonts stand there in a folder of this process, "vistrak-fonts-XXXXXX",
 *                     made at load and removed at unload. A TMPDIR of 260 or more characters
 *                     keeps them from being written.
 *   windir            a Windows folder whose "fonts" folder holds the font files of the
 *                     families set_cal_font() knows; when unset, installed faces serve.
 *   VT_SERIAL_PORTS   the serial devices that stand for COM0, COM1, ... of the button box:
 *                     comma-separated paths, COM0 first (README.md, "Serial ports").
 *
 * Usable from C and C++.
 */
#ifndef VISTRAK_CORE_GRAPHICS_SDL2_H
#define VISTRAK_CORE_GRAPHICS_SDL2_H

#include <stdint.h>

/* On Windows the DLL exports these under fixed ordinals; applications import them. */
#if defined(_WIN32) && defined(VT_GRAPHICS_BUILD)
#define VT_GRAPHICS_API __declspec(dllexport)
#elif defined(_WIN32)
#define VT_GRAPHICS_API __declspec(dllimport)
#else
#define VT_GRAPHICS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct SDL_Window;
struct SDL_Surface;

/*
 * Display facts, 48 bytes. After a query: left = top = 0, right = width - 1,
 * bottom = height - 1, reserved1 = reserved2 = 0, reserved3 = 1, refresh = the display mode's
 * rate (60.0 when SDL does not know it), reserved4 = -1. init_expt_window() reads width,
 * height, bits and refresh of the caller's record to choose the window it creates.
 */
typedef struct DisplayInfo {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    int32_t width;     /* pixels */
    int32_t height;    /* pixels */
    int32_t bits;      /* bits per pixel of the display mode */
    int32_t reserved1;
    int32_t reserved2;
    int32_t reserved3;
    float refresh;     /* Hz, whole; 60.0 when SDL does not know the rate */
    int32_t reserved4;
} DisplayInfo;

/*
 * A bitmap exchanged with the core library, 32 bytes on a 64-bit build.
 * Rows run top to bottom, pitch bytes apart. Records made by this library are 32 bits per
 * pixel with the bytes of each pixel in memory order blue, green, red, unused.
 * The record and its pixels live only for the duration of the call that passes them.
 */
typedef struct CoreBitmap {
    int32_t width;    /* pixels per row */
    int32_t height;   /* rows */
    int32_t pitch;    /* bytes from the start of one row to the next */
    int32_t depth;    /* bits per pixel */
    void *pixels;     /* first byte of the top row */
    void *reserved;   /* a separate 32-byte block, zero-filled */
} CoreBitmap;

/* ---- Experiment window ------------------------------------------------------------------ */

/*
 * Opens the experiment window and installs the display hooks in the core library.
 *   window_slot: null, or points to an SDL window handle. A non-null handle there is adopted
 *                (it must already have a renderer); a null handle there receives the window
 *                the library creates. The library owns the window from then on and destroys it
 *                in close_expt_graphics(), also when the application made it.
 *   info:        null, or a DisplayInfo. The window the library creates is always desktop
 *                fullscreen, the desktop's size: width, height and bits are not used. A
 *                refresh other than 0 is asked of the display, rounded to whole Hz (a rate the
 *                display does not then run at prints "Couldn't set window refresh rate"). On
 *                return the record holds the actual display facts.
 * Returns 0 on success, -1 when no window or renderer could be had, 2 when the TrueType
 * engine failed to start. Ends the process with status 1 when SDL video cannot start.
 */
VT_GRAPHICS_API int16_t init_expt_window(struct SDL_Window **window_slot, DisplayInfo *info);

/*
 * Releases the calibration target, removes the hooks, destroys the renderer and window,
 * waits 2000 ms and shuts SDL down (SDL_Quit) for the whole process: an application that uses
 * SDL itself finds its SDL ended too, as it does when the library is unloaded. Safe to call
 * without a window and more than once. A host that unloads the library on Windows
 * (FreeLibrary) calls this first: the unload there cannot end SDL.
 */
VT_GRAPHICS_API void close_expt_graphics(void);

/* Stores the experiment window (null when none) through window_slot, if that is non-null,
 * and returns it. */
VT_GRAPHICS_API struct SDL_Window *get_expt_window(struct SDL_Window **window_slot);

/* ---- Display information ---------------------------------------------------------------- */

/*
 * Fills info (if non-null) with the display mode of the experiment window, or of the first
 * display when no window is open (starting SDL if needed). When no mode can be read, the
 * core library shows an alert and the record describes 800 x 600 pixels at 32 bits.
 */
VT_GRAPHICS_API void get_display_information(DisplayInfo *info);

/* Stores the desktop's width, height and bits per pixel; null pointers are skipped.
 * Returns 1. */
VT_GRAPHICS_API int32_t get_current_display_information(int32_t *width, int32_t *height,
                                                        int32_t *bits);

/* ---- Calibration target and background --------------------------------------------------- */

/* Target disc and background colours; each points to 4 bytes R, G, B, A, or is null to keep
 * that colour. A change of the alpha byte alone is no change. With the window open, a new
 * background colour repaints the window at once (unless a background image is set) and the
 * drawn ring takes the new colours; before the window opens the colours are only stored and
 * the first frame is painted in them. */
VT_GRAPHICS_API void set_calibration_colors(const uint8_t *foreground, const uint8_t *background);

/* Target and hole diameters in pixels (low 16 bits); odd diameters round up, a hole larger
 * than the target gives a full disc. A size of 0 or the current size changes nothing; a
 * target wider than 4096 pixels is refused with a log line. Every call cancels an animated
 * target; a new size also replaces a target image by the ring. */
VT_GRAPHICS_API void set_target_size(uint32_t size, uint32_t hole_size);

/* Uses the application's image as the calibration target, centred on each target position;
 * null returns to the drawn ring. The image is copied during the call: the application may
 * free its surface afterwards, and the target survives closing and reopening the window. */
VT_GRAPHICS_API void set_cal_target_surface(struct SDL_Surface *image);

/* Uses the application's image, stretched over the window, as calibration background
 * (left out while the core library shows the camera image full screen); null removes it.
 * The image is copied during the call, as for set_cal_target_surface, and may be set before
 * the window opens. */
VT_GRAPHICS_API void set_cal_background_surface(struct SDL_Surface *image);

/* Same as set_cal_background_surface(NULL). */
VT_GRAPHICS_API void reset_background_surface(void);

/* Kept for compatibility: records the request, changes nothing on screen. */
VT_GRAPHICS_API void disable_custombackground_on_imagemode(void);

/* Kept for compatibility: stores the value, which no drawing reads. */
VT_GRAPHICS_API void set_mac_delay(int32_t value);

/* Extension, off by default: the static target's motion (the ring, or the application's
 * target image; a video target plays as it does).
 *   move_ms (0-2000): when a target was already drawn on this calibration screen,
 *     draw_cal_target moves it from there to the new position over move_ms, with a smooth
 *     start and stop, one picture per display frame. The first target of a screen appears
 *     where it is.
 *   shrink_ms (0-2000): once in place, the target starts at large_percent of its size and
 *     shrinks to its size over shrink_ms. Moving and shrinking happen inside draw_cal_target,
 *     so the core library looks for the fixation only once the target is still.
 *   pulse_period_ms (0, or 200-10000): after draw_cal_target returns, the target grows and
 *     shrinks smoothly between its size and large_percent, centred where it is, one cycle a
 *     period, until it is erased or cleared, the screen ends or the core library reports an
 *     abort; on a thread of the library's own, stopped as the video target's playback is.
 *   large_percent (100-400): the largest size, in per cent of the target's own; the ring is
 *     drawn anew at each size, sharp.
 * All zeros with large_percent 100 switch it off, as it starts. The settings last until the
 * next call, across screens and windows. Returns 0; -1 for any value out of range, which
 * changes nothing. Windows ordinal 514. */
VT_GRAPHICS_API int32_t set_cal_target_motion(int32_t move_ms, int32_t shrink_ms,
                                              int32_t pulse_period_ms, int32_t large_percent);

/* ---- Feedback sounds --------------------------------------------------------------------- */

/* Calibration target, done and error sounds: each a WAV file path of up to 207 characters,
 * "off" for silence, or "" for the built-in clip. A longer text or a null pointer is refused
 * with a message on standard output and that sound keeps its previous setting. Each sound
 * plays to its end before the core library goes on. A WAV file whose sample rate is outside
 * 1000-384000 Hz, or that holds fewer bytes than its data chunk announces, is not played (a
 * message on standard output names it). */
VT_GRAPHICS_API void set_cal_sounds(const char *target, const char *done, const char *error);

/* The same for drift correction. */
VT_GRAPHICS_API void set_dcorr_sounds(const char *target, const char *done, const char *error);

/* ---- Animated target --------------------------------------------------------------------- */

/* Names a video file to play, with its sound track, as the calibration target.
 *   path: a local video file (AVI, MP4 and any other container FFmpeg reads); copied.
 *   play_count: passes per target (0 = until the target is erased, negative = none).
 *   transparent_color: 0xRRGGBBFF keys that colour out of the frames; any other low byte
 *                      keeps them opaque.
 * Nothing is read until the next calibration screen opens; a video already loaded is
 * released. Each calibration screen opens the file, decodes its first frame and reads the
 * first second of its sound track; the other frames are decoded while the video plays, a few
 * ahead of the one shown, and the rest of the sound is read a second ahead of each frame, so a
 * video of any length starts at once and holds a few frames at a time (a short one, up to
 * 128 MB of frames, keeps them for its later passes; the sound track, once read, stays for the
 * later passes). While a pass's sound plays,
 * its frames keep to the sound's position as the sound device reports it. A video that is not
 * loaded or has no usable sound track (or one that needs more than an eighth of the machine's
 * memory, at most 1 GB) is replaced by the drawn target for that screen. Each calibration
 * screen that loads the video first resets the target: the application's background image,
 * target image and target size are dropped, and once the video target ends the ring has its
 * default radii, 8 and 2 (a target size of 16, hole 4), until the application sets its own
 * again. The playback thread calls core_abort_requested, core_log and core_display_flags of
 * the core library from its own thread. Returns 0; -1 for a null or
 * empty path, which leaves no animated target. set_target_size and set_cal_target_surface
 * cancel the animated target. */
VT_GRAPHICS_API int32_t set_cal_animation_target(const char *path, int32_t play_count,
                                                 int32_t transparent_color);

/* ---- Camera image ------------------------------------------------------------------------ */

/*
 * Places the camera image's top-left corner at (x, y) in window pixels (-1, -1: centred,
 * the default) and names the area intended for it (width, height; 0, 0 or any size that is
 * not positive: none). Low 16 bits of each, signed. The position applies from the next frame
 * to the enlarged image; an image shown at natural size is always centred. The area sets the
 * scale of the text beside the image at the next start of image display (without one, the
 * window height chooses it). Returns 0.
 */
VT_GRAPHICS_API int32_t set_camera_image_position(int32_t x, int32_t y, int32_t width,
                                                  int32_t height);

struct OverlayContext;

/* Reports the mouse position in drawn-image pixels (0, 0 at the drawn image's top-left) and
 * the left button state (1 pressed). Called by the core library, on the application's thread,
 * while it draws the overlay of a camera frame; context is valid only during that call. */
typedef int (*MouseLocCallback)(struct OverlayContext *context, int32_t *x, int32_t *y,
                                uint32_t *state);

/* Replaces the built-in mouse-position callback of the camera overlay from the next frame on;
 * null restores the built-in one. */
VT_GRAPHICS_API void set_mouse_loc_callback(MouseLocCallback callback);

/* ---- Fonts ------------------------------------------------------------------------------- */

/*
 * Makes the named font current for the library's text (the setup menu and the camera title),
 * bold, at size points (> 0). Returns 0 on success, -1 on failure (logged through core_log).
 *   name: a path to a TrueType file when it contains a slash or backslash (the file's face is
 *         emboldened), otherwise a family with a bold face, compared ignoring case: "sans"
 *         (the built-in Open Sans), "Arial", "Comic Sans MS", "Courier New", "Georgia",
 *         "Palatino Linotype", "Tahoma", "Times New Roman", "Trebuchet MS", "Verdana".
 *         Other families fail. Without windir, the installed bold face of the family or of a
 *         metric-compatible one (Liberation Sans for Arial) is used; there is no other
 *         fallback. Names of 512 bytes or more are refused, and so are font files larger
 *         than 128 MB (the file is read into memory). A path is read as UTF-8 when it is
 *         valid UTF-8, otherwise (Windows) in the ANSI code page, as every path given to the
 *         library is.
 * The font stays until the status text needs another size (the first camera or calibration
 * screen chooses its own size again) or a camera-image display ends.
 */
VT_GRAPHICS_API int32_t set_cal_font(const char *name, int32_t size);

/* ---- External calibration device --------------------------------------------------------- */

/* Button states reported by a calibration device: states[k - 1] is button k (1 pressed). */
typedef struct DeviceButtons {
    void *user_data;
    uint8_t states[256];
} DeviceButtons;

/* A device callback: returns > 0 when it wrote new states, 0 when nothing changed, < 0 on a
 * device error. */
typedef int32_t (*DeviceCallback)(DeviceButtons *buttons);

/*
 * Switches the external calibration device: type 0 off, 1 serial button box, 2 numeric
 * keypad, anything else the address of a DeviceCallback (data becomes its user_data).
 * path_or_text: a setup-script file, a script text (contains a newline), or null for the
 * built-in script of the device. Returns 1 when the device is on (or type is 0), else 0; a
 * script that cannot be loaded prints "Failed to load ini (ERR=<code>) <path_or_text>".
 * While a device is on, the key hook polls it; a button pressed in the current setup mode
 * carries out its action (README.md, "External calibration device: buttons and keys").
 */
VT_GRAPHICS_API int32_t enable_external_calibration_device(uintptr_t type,
                                                           const char *path_or_text,
                                                           void *data);

/* ---- Bitmaps handed to the core library -------------------------------------------------- */

/* Each copies surface (any format SDL can blit from; only read, it stays the caller's) into a
 * 32-bit CoreBitmap, drawn over black so that its alpha and colour key apply, and calls the
 * core library's function of the same purpose with the remaining arguments: the int32_t values
 * as their low 16 bits, zero-extended; fname and path unchanged. The bitmap is freed before
 * the call returns. Returns the core function's result, or -1 without calling it when surface
 * is null, empty or locked, or the copy cannot be made. */
VT_GRAPHICS_API int32_t sdl_bitmap_save_and_backdrop(struct SDL_Surface *surface, int32_t xs,
                                                     int32_t ys, int32_t width, int32_t height,
                                                     const char *fname, const char *path,
                                                     int32_t sv_options, int32_t xd, int32_t yd,
                                                     int32_t bx_options);
VT_GRAPHICS_API int32_t sdl_bitmap_to_backdrop(struct SDL_Surface *surface, int32_t xs,
                                               int32_t ys, int32_t width, int32_t height,
                                               int32_t xd, int32_t yd, int32_t bx_options);
VT_GRAPHICS_API int32_t sdl_bitmap_save(struct SDL_Surface *surface, int32_t xs, int32_t ys,
                                        int32_t width, int32_t height, const char *fname,
                                        const char *path, int32_t sv_options);

#ifdef __cplusplus
}
#endif

#endif /* VISTRAK_CORE_GRAPHICS_SDL2_H */
