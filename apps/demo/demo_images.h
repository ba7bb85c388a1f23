// Pictures in and out of the demo through libgd: screenshots as PNG, application images loaded
// as SDL surfaces, and the index of the session (an HTML page and a contact sheet).
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

struct Screenshot {
    std::string file;  // name inside the output folder
    std::string caption;
};

// Writes ARGB8888 pixels (rows top to bottom, no padding) to path as PNG. "" or the error.
std::string save_argb_png(const uint32_t *pixels, int width, int height,
                          const std::string &path);
// Loads a PNG, JPEG, GIF or BMP file as a 32-bit surface with alpha; null when it cannot.
SDL_Surface *load_image_surface(const std::string &path);

// Writes index.html and the contact sheet index.png into folder. Returns "" or the error.
std::string write_index(const std::string &folder, const std::vector<Screenshot> &shots,
                        const std::string &report);
