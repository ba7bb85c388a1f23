// The demo: a whole simulated tracker session on the participant display through the graphics
// library, driven by the stand-in core's simulated tracker exactly as a tracker drives the
// hooks, with screenshots of every stage, an index and a closing report.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "vistrak_core_graphics_sdl2.h"
#include "demo_options.h"
#include "demo_session.h"
#include "demo_video.h"
#include "presented_frames.h"

namespace fs = std::filesystem;

namespace {

// Surfaces handed to the library stay the demo's until the window closes.
struct AppImages {
    SDL_Surface *target = nullptr;
    SDL_Surface *background = nullptr;
    ~AppImages() {
        SDL_FreeSurface(target);
        SDL_FreeSurface(background);
    }
};

// Applies what the user configured. Problems are collected for the report.
void configure_library(const DemoOptions &o, AppImages &images,
                       std::vector<std::string> &problems) {
    if (o.foreground || o.background) {
        const uint8_t fg[4] = {o.foreground ? o.foreground->r : uint8_t(0),
                               o.foreground ? o.foreground->g : uint8_t(0),
                               o.foreground ? o.foreground->b : uint8_t(0), 255};
        const uint8_t bg[4] = {o.background ? o.background->r : uint8_t(0),
                               o.background ? o.background->g : uint8_t(0),
                               o.background ? o.background->b : uint8_t(0), 255};
        set_calibration_colors(o.foreground ? fg : nullptr, o.background ? bg : nullptr);
    }
    if (o.target_size) set_target_size(o.target_size->first, o.target_size->second);
    auto load = [&](const std::string &path, const char *option, SDL_Surface *&surface,
                    void (*setter)(SDL_Surface *)) {
        if (path.empty()) return;
        surface = load_image_surface(path);
        if (!surface) return problems.push_back(std::string(option) + ": cannot read " + path);
        setter(surface);
    };
    load(o.target_image, "--target-image", images.target, set_cal_target_surface);
    load(o.background_image, "--background", images.background, set_cal_background_surface);
    auto sounds = [](const std::optional<std::string>(&s)[3],
                     void (*setter)(const char *, const char *, const char *)) {
        if (!s[0] && !s[1] && !s[2]) return;
        setter(s[0].value_or("").c_str(), s[1].value_or("").c_str(), s[2].value_or("").c_str());
    };
    sounds(o.cal_sounds, set_cal_sounds);
    sounds(o.dcorr_sounds, set_dcorr_sounds);
    if (!o.font.empty() && set_cal_font(o.font.c_str(), o.font_size) != 0)
        problems.push_back("--font: cannot load " + o.font);
    if (o.device == DeviceChoice::None) return;
    const uintptr_t type = o.device == DeviceChoice::Keypad ? 2
                           : o.device == DeviceChoice::ButtonBox
                               ? 1
                               : reinterpret_cast<uintptr_t>(simtracker_device_callback);
    const char *script = o.device_script.empty() ? nullptr : o.device_script.c_str();
    if (enable_external_calibration_device(type, script, nullptr) != 1)
        problems.push_back("the calibration device could not be switched on");
}

bool headless_driver() {
    const char *driver = SDL_GetCurrentVideoDriver();
    return !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

// A window of the demo's own for a desktop, on the renderer the desktop gives.
SDL_Window *create_demo_window() {
    SDL_Window *window = SDL_CreateWindow("Vistrak demo session", SDL_WINDOWPOS_CENTERED,
                                          SDL_WINDOWPOS_CENTERED, 1280, 720, SDL_WINDOW_SHOWN);
    if (!window) {
        std::printf("Cannot create a window: %s\n", SDL_GetError());
        return nullptr;
    }
    if (!SDL_CreateRenderer(window, -1, 0)) {
        std::printf("Cannot create a renderer: %s\n", SDL_GetError());
        SDL_DestroyWindow(window);
        return nullptr;
    }
    return window;
}

std::string session_report(const SessionRecord &record, const std::vector<std::string> &files,
                           const std::string &out_dir) {
    const SimTrackerStats &s = record.stats;
    std::string report = "Session report\n";
    int completed = 0;
    for (const StageOutcome &stage : record.stages) completed += stage.result >= 0;
    char line[256];
    std::snprintf(line, sizeof line, "  Stages run:     %d of %zu completed\n", completed,
                  record.stages.size());
    report += line;
    for (const StageOutcome &stage : record.stages) {
        report += "    " + stage.name + ": " + describe_result(stage.result);
        if (stage.result < 0 && !stage.note.empty()) report += " (" + stage.note + ")";
        report += "\n";
    }
    const double rate = s.image_seconds > 0 ? s.frames / s.image_seconds : 0.0;
    std::snprintf(line, sizeof line,
                  "  Camera frames:  %d shown in %.1f s, %.1f frames per second\n", s.frames,
                  s.image_seconds, rate);
    report += line;
    std::snprintf(line, sizeof line,
                  "  Targets shown:  %d (%d calibrations, %d validations, %d drift corrections)\n",
                  s.targets, s.calibrations, s.validations, s.drift_corrections);
    report += line;
    if (s.validations > 0) {
        std::snprintf(line, sizeof line, "  Validation:     mean error %.1f px, worst %.1f px\n",
                      double(s.validation_mean_error), double(s.validation_max_error));
        report += line;
    }
    const SimTrackerStats &u = record.unheard;
    std::snprintf(line, sizeof line, "  Sounds played:  %d target, %d done, %d error\n",
                  s.target_sounds - u.target_sounds, s.done_sounds - u.done_sounds,
                  s.error_sounds - u.error_sounds);
    report += line;
    if (u.target_sounds + u.done_sounds + u.error_sounds > 0) {
        std::snprintf(line, sizeof line,
                      "  Not heard:      %d target, %d done, %d error (no sound device)\n",
                      u.target_sounds, u.done_sounds, u.error_sounds);
        report += line;
    }
    std::snprintf(line, sizeof line, "  Keys read:      %d (%d scripted presses)\n", s.keys,
                  s.script_events);
    report += line;
    std::snprintf(line, sizeof line, "  Files written:  %zu screenshots", record.shots.size());
    report += line;
    for (const std::string &file : files) report += ", " + file;
    report += "\n  Output folder:  " + out_dir + "\n";
    for (const std::string &problem : record.problems) report += "  Problem: " + problem + "\n";
    return report;
}

}  // namespace

int main(int argc, char **argv) {
    DemoOptions options;
    const std::string error = parse_options(argc, argv, options);
    if (!error.empty()) {
        std::fprintf(stderr, "vistrak_demo: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kDemoHelp, stdout);
        return 0;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::printf("SDL cannot start: %s\n", SDL_GetError());
        return 1;
    }
    const bool headless = headless_driver();
    if (options.window && headless) {
        std::fprintf(stderr, "vistrak_demo: --window needs a display (SDL's video driver is %s)\n",
                     SDL_GetCurrentVideoDriver());
        return 2;
    }
    std::error_code fs_error;
    fs::create_directories(options.out_dir, fs_error);
    if (!fs::is_directory(options.out_dir)) {
        std::fprintf(stderr, "vistrak_demo: cannot create %s\n", options.out_dir.c_str());
        return 1;
    }
    options.out_dir = fs::canonical(options.out_dir).string();

    SessionPlan plan;
    plan.options = &options;
    plan.interactive = !headless && !options.auto_run && options.input_script.empty();
    std::printf("Opening the experiment window (%s, %s)...\n", SDL_GetCurrentVideoDriver(),
                plan.interactive ? "interactive keys" : "scripted input");
    // Screenshots are the frames the library presents, kept as they go to the screen.
    const std::string keeping = keep_presented_frames();
    SDL_Window *window = headless ? nullptr : create_demo_window();
    if (!headless && !window) return 1;
    DisplayInfo info{};
    const int16_t opened = init_expt_window(&window, &info);
    if (opened != 0) {
        std::printf("init_expt_window failed with %d\n", opened);
        close_expt_graphics();
        return 1;
    }
    plan.window = window;
    simtracker_attach_window(window);
    int width = 0, height = 0;
    SDL_GetWindowSize(window, &width, &height);
    SDL_RendererInfo renderer{};
    SDL_GetRendererInfo(SDL_GetRenderer(window), &renderer);
    std::printf("Window open: %d x %d, renderer %s\n", width, height,
                renderer.name ? renderer.name : "unknown");
    if (plan.interactive) std::printf("%s", std::strstr(kDemoHelp, "Keys in a window"));

    AppImages images;
    std::vector<std::string> problems;
    if (!keeping.empty()) problems.push_back("screenshots: " + keeping);
    configure_library(options, images, problems);
    std::vector<std::string> files;
    plan.video = options.video;
    if (plan.video.empty()) {
        plan.video = options.out_dir + "/target-video.avi";
        const std::string video_error = write_target_video(plan.video);
        if (video_error.empty()) {
            files.push_back("target-video.avi");
        } else {
            problems.push_back("the target video: " + video_error);
            plan.video.clear();
        }
    }

    SessionRecord record = run_session(plan);
    record.problems.insert(record.problems.begin(), problems.begin(), problems.end());
    files.insert(files.end(), record.files.begin(), record.files.end());
    files.push_back("index.html");
    files.push_back("index.png");
    const std::string report = session_report(record, files, options.out_dir);
    const std::string index_error = write_index(options.out_dir, record.shots, report);
    if (!index_error.empty())
        std::printf("The index could not be written: %s\n", index_error.c_str());

    std::printf("Closing the window...\n");
    close_expt_graphics();
    std::printf("\n%s", report.c_str());
    std::printf("Open %s/index.html to see the screenshots.\n", options.out_dir.c_str());
    bool all_completed = index_error.empty();
    for (const StageOutcome &stage : record.stages) all_completed &= stage.result >= 0;
    return all_completed ? 0 : 1;
}
