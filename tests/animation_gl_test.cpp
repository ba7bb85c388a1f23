// The playback thread on an OpenGL renderer, whose context is current on one thread at a time:
// what the thread draws reaches the window, and the hook thread draws again afterwards. SDL's
// offscreen video driver renders through EGL without a display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "frame/expt_window.h"
#include "leak_checks.h"
#include "test_support.h"
#include "test_system.h"
#include "test_videos.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

TEST(AnimationOpenGl, PlaybackThreadDrawsAndHandsTheRendererBack) {
    vt_test::set_env("SDL_VIDEODRIVER", "offscreen");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << SDL_GetError();
    SDL_Window *window = SDL_CreateWindow("gl", 0, 0, 640, 480, SDL_WINDOW_OPENGL);
    SDL_Renderer *renderer =
        window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    SDL_RendererInfo info{};
    if (!renderer || SDL_GetRendererInfo(renderer, &info) != 0 ||
        std::string(info.name).rfind("opengl", 0) != 0)
        GTEST_SKIP() << "no OpenGL renderer here";
    ASSERT_EQ(init_expt_window(&window, nullptr), 0);  // adopts the window and its renderer

    const std::string path = vt_test::temp_dir() + "/gl.avi";
    ASSERT_TRUE(vt_test::write_quadrant_video(path, {32, 24, 5, 100}));
    set_cal_animation_target(path.c_str(), 1, 0);
    vt_test::capture_stdout([&] { EXPECT_EQ(LoadVideo(path.c_str()), -1); });

    // The hook thread has drawn (and holds the context) before the thread starts.
    SDL_SetRenderDrawColor(renderer, 0, 0, 200, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    calData.targetPosition = TargetPosition{200, 150};
    start_playback_thread();
    ASSERT_TRUE(vt_test::wait_until([] { return calData.animationTarget.threadState == 0; }));

    // The thread's last act on screen is the calibration background over the whole window,
    // where the hook thread had left blue.
    vt_test::Pixels pixels = vt_test::read_window_pixels();
    ASSERT_FALSE(pixels.data.empty());
    EXPECT_EQ(pixels.at(200, 150), vt_test::rgba(180, 180, 180));
    EXPECT_EQ(pixels.at(0, 0), vt_test::rgba(180, 180, 180));
    EXPECT_EQ(pixels.at(639, 479), vt_test::rgba(180, 180, 180));

    SDL_SetRenderDrawColor(renderer, 0, 0, 255, 255);
    EXPECT_EQ(SDL_RenderClear(renderer), 0);
    pixels = vt_test::read_window_pixels();
    ASSERT_FALSE(pixels.data.empty());
    EXPECT_EQ(pixels.at(200, 150), vt_test::rgba(0, 0, 255));
    release_animation();
    // Checked while the GL driver is loaded: Mesa loses memory of its own when SDL unloads it
    // at the end, where the leak checker can no longer tell whose it was (sanitizer builds run
    // this program without the check at exit).
    EXPECT_FALSE(vt_test::leaks_found());
}

}  // namespace
