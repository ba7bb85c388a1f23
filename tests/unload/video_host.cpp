// A host program that loads the graphics library at run time, as MATLAB or a plug-in host
// does, plays an endless video target and leaves while its frames are shown: "exit" returns
// from main with the library still loaded; "unload" unloads it (dlclose, FreeLibrary) without
// close_expt_graphics, goes on for a moment, drives the core library's next calibration screen
// through the hooks it still holds, and then returns. Exit status 0 when all went well;
// library_unload_test runs it as a child process.
//   video_host <library> <video> exit|unload
#include <SDL.h>  // on Windows main is SDL's entry point's SDL_main

#include <cstdio>
#include <cstring>

#include "vistrak_core64_control.h"

namespace {

// The playback thread logs this at the start of each pass over the frames.
constexpr const char *kPassLog = "calData.animationTarget.audioPlaying =";

template <typename Function>
Function entry(void *library, const char *name) {
    return reinterpret_cast<Function>(SDL_LoadFunction(library, name));
}

int fail(const char *what) {
    std::fprintf(stderr, "video_host: %s: %s\n", what, SDL_GetError());
    return 2;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (argc != 4 || (std::strcmp(argv[3], "exit") != 0 && std::strcmp(argv[3], "unload") != 0)) {
        std::fprintf(stderr, "usage: video_host <library> <video> exit|unload\n");
        return 2;
    }
    void *library = SDL_LoadObject(argv[1]);
    if (!library) return fail("cannot load the library");
    const auto init_window =
        entry<int16_t (*)(SDL_Window **, void *)>(library, "init_expt_window");
    const auto set_video =
        entry<int32_t (*)(const char *, int32_t, int32_t)>(library, "set_cal_animation_target");
    if (!init_window || !set_video) return fail("exports missing");
    if (init_window(nullptr, nullptr) != 0) return fail("no window");
    set_video(argv[2], 0, 0);  // played without end
    const DisplayHooks hooks = standin_installed_hooks();
    if (hooks.begin_cal_hook() != 0) return fail("begin_cal_hook");
    hooks.draw_cal_target(300, 200);
    for (Uint32 start = SDL_GetTicks(); standin_log_matches(kPassLog) < 3;) {
        if (SDL_GetTicks() - start > 10000) return fail("the video does not play");
        SDL_Delay(1);
    }
    if (std::strcmp(argv[3], "exit") == 0) return 0;

    SDL_UnloadObject(library);
    size_t passes = standin_log_matches(kPassLog);
    SDL_Delay(300);
    std::printf("passes after the unload: %zu\n", standin_log_matches(kPassLog) - passes);
    // The core's next screen: its hooks still lead into the library.
    hooks.erase_target_hook();
    hooks.end_cal_hook();
    if (hooks.begin_cal_hook() != 0) return fail("begin_cal_hook after the unload");
    passes = standin_log_matches(kPassLog);
    hooks.draw_cal_target(200, 150);
    for (Uint32 start = SDL_GetTicks(); standin_log_matches(kPassLog) == passes;) {
        if (SDL_GetTicks() - start > 10000) return fail("the next screen's video does not play");
        SDL_Delay(1);
    }
    hooks.erase_target_hook();
    hooks.end_cal_hook();
    std::printf("the next screen played\n");
    return 0;
}
