// How soon a video target shows, on any system the library builds for (under Wine too): loads
// the library at run time as a host application does, opens the window on SDL's dummy video
// driver, and reports the time from begin_cal_hook to the playback thread's first present:
// the driver saves that present as a picture (SDL_VIDEO_DUMMY_SAVE_FRAMES, set from the first
// draw_cal_target to the first picture), whose file appears as the saving starts. Then
// it waits for the pass to end, for a measure of the memory the whole pass took.
//   video_start <library> <video> <seconds of the video>
// The picture lands in the current folder, and is removed.
#include <SDL.h>  // on Windows main is SDL's entry point's SDL_main

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "test_system.h"
#include "vistrak_core64_control.h"

namespace {

using Clock = std::chrono::steady_clock;

// The dummy driver names the pictures of window 1 this way, numbered across the session.
bool picture_saved(int number) {
    char name[64];
    std::snprintf(name, sizeof name, "SDL_window1-%08d.bmp", number);
    return std::filesystem::exists(name);
}

void remove_pictures() {
    for (const auto &entry : std::filesystem::directory_iterator("."))
        if (entry.path().filename().string().rfind("SDL_window", 0) == 0)
            std::filesystem::remove(entry.path());
}

int fail(const char *what) {
    std::fprintf(stderr, "video_start: %s: %s\n", what, SDL_GetError());
    return 2;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: video_start <library> <video> <seconds> [screens]\n");
        return 2;
    }
    vt_test::set_env("SDL_VIDEODRIVER", "dummy");
    void *library = SDL_LoadObject(argv[1]);
    if (!library) return fail("cannot load the library");
    const auto init_window = reinterpret_cast<int16_t (*)(SDL_Window **, void *)>(
        SDL_LoadFunction(library, "init_expt_window"));
    const auto set_video = reinterpret_cast<int32_t (*)(const char *, int32_t, int32_t)>(
        SDL_LoadFunction(library, "set_cal_animation_target"));
    if (!init_window || !set_video) return fail("exports missing");
    if (init_window(nullptr, nullptr) != 0) return fail("no window");
    set_video(argv[2], 1, 0);
    const DisplayHooks hooks = standin_installed_hooks();
    const double seconds = std::atof(argv[3]);
    const int screens = argc == 5 ? std::max(1, std::atoi(argv[4])) : 1;
    for (int screen = 1; screen <= screens; ++screen) {
        const auto begin = Clock::now();
        if (hooks.begin_cal_hook() != 0) return fail("begin_cal_hook");
        const auto loaded = Clock::now();
        vt_test::set_env("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1");
        hooks.draw_cal_target(200, 200);
        const auto since = [&begin] {
            return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        };
        while (!picture_saved(screen) && since() < 10000)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const double first_ms = since();
        vt_test::unset_env("SDL_VIDEO_DUMMY_SAVE_FRAMES");
        while (since() < 1000 * seconds)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        hooks.end_cal_hook();
        std::printf("screen %d: begin_cal_hook %.1f ms; first frame saved after %.1f ms\n",
                    screen, std::chrono::duration<double, std::milli>(loaded - begin).count(),
                    first_ms);
    }
    remove_pictures();
    return 0;
}
