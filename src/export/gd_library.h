// The GD graphics library (libgd), loaded at run time when the core library first saves a
// screen image. libgd is optional: without it screen images are written as BMP through SDL.
#pragma once

#include <cstdint>
#include <cstdio>

struct gdImageStruct;  // libgd's image, used only through its pointer

// The entry points the image writer uses, named as libgd names them.
struct GdLibrary {
    gdImageStruct *(*gdImageCreateTrueColor)(int width, int height);
    int (*gdImageColorResolve)(gdImageStruct *image, int red, int green, int blue);
    void (*gdImageSetPixel)(gdImageStruct *image, int x, int y, int colour);
    void (*gdImageJpeg)(gdImageStruct *image, FILE *out, int quality);
    void (*gdImagePng)(gdImageStruct *image, FILE *out);
    int (*gdImageColorAllocate)(gdImageStruct *image, int red, int green, int blue);
    void (*gdImageWBMP)(gdImageStruct *image, int foreground, FILE *out);
    void (*gdImageDestroy)(gdImageStruct *image);
    // Optional: null when the libgd found was built without GIF output.
    void (*gdImageGif)(gdImageStruct *image, FILE *out);
};

// 0: not tried yet; 1: loaded with all eight required entry points; -1: unavailable.
extern int32_t gd_state;
// Valid while gd_state is 1.
extern GdLibrary gd;

// Loads libgd on the first call and sets gd_state; later calls return at once. A loaded
// libgd stays loaded for the life of the process.
void load_gd();

// Test seam: forgets the outcome of load_gd (releasing a loaded libgd) so that the next
// load_gd opens library_name, or the system's libgd when library_name is null.
void reset_gd(const char *library_name);
