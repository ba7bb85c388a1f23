// Helpers shared by the test programs: the experiment window shared by a program's cases,
// reading presented pixels, capturing standard output and error, the program's folder and its
// videos, and waiting for a condition.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vt_test {

// Opens the experiment window (desktop size, dummy driver when headless) unless one is open;
// it is closed once when the program ends.
void ensure_window();

// Reads the renderer's current target as RGBA8888 pixels.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;  // 0xRRGGBBAA
    uint32_t at(int x, int y) const { return data[size_t(y) * size_t(width) + size_t(x)]; }
};
Pixels read_pixels(SDL_Renderer *renderer);
Pixels read_window_pixels();

constexpr uint32_t rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    return (uint32_t(r) << 24) | (uint32_t(g) << 16) | (uint32_t(b) << 8) | a;
}

// Runs body with standard output (error) sent to a file and returns what was printed.
std::string capture_stdout(const std::function<void()> &body);
std::string capture_stderr(const std::function<void()> &body);

// A fresh folder under the system's temporary folder, removed with its contents at exit.
std::string temp_dir();

// One temp_dir() for the whole program, made on first use.
const std::string &program_folder();

// Writes video (test_videos.h) as name in program_folder() and returns its path; a failed
// write fails the test.
struct QuadrantVideo;
std::string write_program_video(const std::string &name, const QuadrantVideo &video);

// Polls done every 2 ms until it holds (true) or seconds have passed (false).
bool wait_until(const std::function<bool()> &done, int seconds = 10);

}  // namespace vt_test
