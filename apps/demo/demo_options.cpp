// Command-line parsing and help for the demo.
#include "demo_options.h"

#include <charconv>
#include <filesystem>
#include <vector>

const char *const kDemoHelp =
    "usage: vistrak_demo [options]\n"
    "\n"
    "Runs a simulated tracker session on the participant display through the graphics\n"
    "library: camera setup (zoom steps, camera views, thresholds, the device's menu), a\n"
    "nine-point calibration, validation, drift correction with a screen saved through the\n"
    "image writer, and a calibration with an animated target. Screenshots of each stage, an\n"
    "index page (index.html) and a contact sheet (index.png) go to the output folder.\n"
    "Without a display the session runs headless from built-in input scripts.\n"
    "\n"
    "  --window              a real window with interactive keys (the default with a display)\n"
    "  --auto                in a window, run the built-in input scripts anyway\n"
    "  --out DIR             output folder (default: out)\n"
    "  --short               a short session: three-point grids, fewer camera frames\n"
    "  --target-size D[,H]   target diameter and hole diameter in pixels\n"
    "  --colors FG,BG        target and background colours as RRGGBB hex; either may be empty\n"
    "  --target-image FILE   an image (PNG, JPEG, BMP, GIF) as the calibration target\n"
    "  --background FILE     an image stretched over the window as calibration background\n"
    "  --video FILE          video for the animated-target stage (default: one the demo makes)\n"
    "  --sounds T,D,E        calibration target, done and error sounds: WAV files, \"off\",\n"
    "                        or empty for the built-in clip\n"
    "  --dcorr-sounds T,D,E  the same for drift correction\n"
    "  --font NAME[,SIZE]    font family or font file for the on-screen text\n"
    "  --device KIND         keypad (default), buttonbox (serial Cedrus box), scripted (the\n"
    "                        input script's button lines), or none\n"
    "  --device-script FILE  setup-menu script for the device (default: the built-in one)\n"
    "  --input FILE          input script for the camera-setup stage (see\n"
    "                        vistrak_simulated_tracker.h for its commands)\n"
    "  --frame-rate N        camera frames per second, 1 to 250 (default 30)\n"
    "  --help                this text\n"
    "\n"
    "Keys in a window: Enter camera image on/off, Left/Right camera view, Up/Down pupil\n"
    "threshold, +/- reflection threshold, a automatic thresholds, z zoom, c/v/d calibration,\n"
    "validation, drift correction from the setup screen; on targets Enter accepts, Backspace\n"
    "redoes the last point, Escape leaves. Closing the window ends the session.\n";

namespace {

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

bool to_int(const std::string &text, int low, int high, int &value) {
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && value >= low && value <= high;
}

bool to_colour(const std::string &text, std::optional<SDL_Color> &colour) {
    if (text.empty()) return true;
    unsigned value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    if (text.size() != 6 || error != std::errc() || stop != end) return false;
    colour = SDL_Color{uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value), 255};
    return true;
}

// A file the library opens while the demo may have changed its working folder.
std::string absolute_path(const std::string &path) {
    return path.empty() ? path : std::filesystem::absolute(path).string();
}

bool to_sounds(const std::string &text, std::optional<std::string> (&sounds)[3]) {
    const std::vector<std::string> parts = split(text, ',');
    if (parts.size() != 3) return false;
    for (size_t i = 0; i < 3; ++i)
        sounds[i] = parts[i].empty() || parts[i] == "off" ? parts[i] : absolute_path(parts[i]);
    return true;
}

}  // namespace

std::string parse_options(int argc, char **argv, DemoOptions &o) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        const size_t equals = name.find('=');
        const bool inline_value = equals != std::string::npos;
        if (inline_value) value = name.substr(equals + 1), name.resize(equals);
        auto flag = [&](bool &target) {
            target = true;
            return !inline_value;
        };
        // Takes the option's value, inline or from the next argument.
        auto take = [&]() {
            if (inline_value) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        bool ok = true;
        if (name == "--help" || name == "-h") {
            ok = flag(o.help);
        } else if (name == "--window") {
            ok = flag(o.window);
        } else if (name == "--auto") {
            ok = flag(o.auto_run);
        } else if (name == "--short") {
            ok = flag(o.short_form);
        } else if (name == "--out") {
            ok = take() && !value.empty();
            o.out_dir = value;
        } else if (name == "--target-size") {
            const std::vector<std::string> parts =
                take() ? split(value, ',') : std::vector<std::string>{};
            int diameter = 0, hole = 0;
            ok = (parts.size() == 1 || parts.size() == 2) && to_int(parts[0], 2, 1000, diameter) &&
                 (parts.size() == 1 || to_int(parts[1], 0, 1000, hole));
            o.target_size = std::make_pair(uint32_t(diameter),
                                           uint32_t(parts.size() == 2 ? hole : diameter / 4));
        } else if (name == "--colors") {
            const std::vector<std::string> parts =
                take() ? split(value, ',') : std::vector<std::string>{};
            ok = parts.size() == 2 && to_colour(parts[0], o.foreground) &&
                 to_colour(parts[1], o.background);
        } else if (name == "--target-image" || name == "--background" || name == "--video" ||
                   name == "--device-script" || name == "--input") {
            ok = take() && !value.empty();
            std::string &target = name == "--target-image" ? o.target_image
                                  : name == "--background" ? o.background_image
                                  : name == "--video"      ? o.video
                                  : name == "--input"      ? o.input_script
                                                           : o.device_script;
            target = absolute_path(value);
        } else if (name == "--sounds" || name == "--dcorr-sounds") {
            ok = take() && to_sounds(value, name == "--sounds" ? o.cal_sounds : o.dcorr_sounds);
        } else if (name == "--font") {
            const std::vector<std::string> parts =
                take() ? split(value, ',') : std::vector<std::string>{};
            ok = !parts.empty() && !parts[0].empty() && parts.size() <= 2 &&
                 (parts.size() == 1 || to_int(parts[1], 4, 200, o.font_size));
            if (ok)
                o.font =
                    parts[0].find('/') != std::string::npos ? absolute_path(parts[0]) : parts[0];
            if (ok && parts.size() == 1) o.font_size = 24;
        } else if (name == "--device") {
            ok = take();
            if (value == "keypad")
                o.device = DeviceChoice::Keypad;
            else if (value == "buttonbox")
                o.device = DeviceChoice::ButtonBox;
            else if (value == "scripted")
                o.device = DeviceChoice::Scripted;
            else if (value == "none")
                o.device = DeviceChoice::None;
            else
                ok = false;
        } else if (name == "--frame-rate") {
            ok = take() && to_int(value, 1, 250, o.frame_rate);
        } else {
            return "unknown option '" + name + "' (see --help)";
        }
        if (!ok) return "bad or missing value for " + name + " (see --help)";
    }
    return "";
}
