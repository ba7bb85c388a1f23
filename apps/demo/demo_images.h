// Pictures in and out of the demo through libgd: screenshots of the renderer as PNG, saved
// dummy-driver frames converted to PNG, application images loaded as SDL surfaces, and the
// index of the session (an HTML page and a contact sheet).
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

struct Screenshot {
    std::string file;  // name inside the output folder
    std::string caption;
};

// Reads the renderer's current picture and writes it to path as PNG. Returns "" or the error.
std::string save_renderer_png(SDL_Renderer *renderer, const std::string &path);
// Writes a BMP file (as SDL's dummy driver saves frames) to path as PNG.
std::string convert_bmp_to_png(const std::string &bmp, const std::string &path);
// Loads a PNG, JPEG, GIF or BMP file as a 32-bit surface with alpha; null when it cannot.
SDL_Surface *load_image_surface(const std::string &path);

// Writes index.html and the contact sheet index.png into folder. Returns "" or the error.
std::string write_index(const std::string &folder, const std::vector<Screenshot> &shots,
                        const std::string &report);
