// The demo's command line: what the user configures (target, colours, images, video, sounds,
// font, device, input script, output folder) and how the session runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <SDL.h>

enum class DeviceChoice { None, Keypad, ButtonBox, Scripted };

struct DemoOptions {
    bool help = false;
    bool window = false;      // asked for a real window
    bool auto_run = false;    // input scripts also in a window
    bool short_form = false;  // 3-point grids and fewer frames (tests)
    std::string out_dir = "out";
    std::optional<std::pair<uint32_t, uint32_t>> target_size;  // diameter, hole
    std::optional<SDL_Color> foreground, background;
    std::string target_image, background_image, video, font, device_script, input_script;
    int font_size = 0;
    std::optional<std::string> cal_sounds[3], dcorr_sounds[3];
    DeviceChoice device = DeviceChoice::Keypad;
    int frame_rate = 30;
};

// Parses argv. Returns an empty string, or a message naming what is wrong.
std::string parse_options(int argc, char **argv, DemoOptions &options);

extern const char *const kDemoHelp;
