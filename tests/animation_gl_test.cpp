// The playback thread on an OpenGL renderer, whose context is current on one thread at a time:
// what the thread draws reaches the window, and the hook thread draws again afterwards. Then, in
// the same window, a message drawn onto a known background, composed in a texture there. SDL's
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
#include "text/fonts.h"
#include "text/message_renderer.h"
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
    calData.animationTarget.threadState = 1;
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

// Composed and copied where its lines have ink, then kept: each way gives the pixels of the
// lines drawn one by one, descenders reaching into the next line included.
TEST(AnimationOpenGl, MessageOnABackgroundDrawsWhatItsLinesDraw) {
    SDL_RendererInfo info{};
    if (!window_open() || SDL_GetRendererInfo(exptGraphics.renderer, &info) != 0 ||
        std::string(info.name).rfind("opengl", 0) != 0)
        GTEST_SKIP() << "no OpenGL renderer here";
    ASSERT_EQ(get_new_font("sans", 24, 0), 0);
    set_text_margins(10, 10, 10, 10);
    const SDL_Color paper{30, 120, 200, 255}, ink{220, 40, 90, 255};
    const auto drawn = [&](bool on_paper) {
        SDL_SetRenderDrawColor(exptGraphics.renderer, paper.r, paper.g, paper.b, 255);
        SDL_RenderClear(exptGraphics.renderer);
        const char *text = "Camera Views: gjpqy\nNUM 7 -> Next\n\ni j";
        if (on_paper)
            draw_message_on(&paper, exptGraphics.window, ink, kTextContinue, 5, 300, "%s", text);
        else
            draw_message(exptGraphics.window, ink, kTextContinue, 5, 300, "%s", text);
        return vt_test::read_window_pixels().data;
    };
    const std::vector<uint32_t> lines = drawn(false);
    ASSERT_FALSE(lines.empty());
    EXPECT_GT(lines.size() - size_t(std::count(lines.begin(), lines.end(), lines.front())), 500u);
    EXPECT_TRUE(drawn(true) == lines);  // composed
    EXPECT_TRUE(drawn(true) == lines);  // kept
}

}  // namespace
