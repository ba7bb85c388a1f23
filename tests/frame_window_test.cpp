// The experiment window's life: hooks installed and removed, created and adopted windows,
// the first frame, the display record, and closing. Cases run in this order in one process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "calibration/cal_data.h"
#include "calibration/feedback_sounds.h"
#include "export/image_writer.h"
#include "frame/display_hooks.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
#include "test_support.h"
#include "test_system.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

// No headless SDL driver knows its display's refresh rate: dummy, offscreen and X11 under Xvfb
// all report 0, and a real display reports its own. These two stand in for a display running
// at displayRate Hz (0: a rate SDL does not know; none: SDL's own answer) where SDL tells the
// rate in effect: the display's current mode, and the mode of a desktop-fullscreen window.
namespace {
std::optional<int> displayRate;

template <typename Query, typename Subject>
int with_display_rate(const char *name, Subject subject, SDL_DisplayMode *mode) {
    const auto sdl = reinterpret_cast<Query>(vt_test::sdl_function(name));
    const int result = sdl(subject, mode);
    if (result == 0 && displayRate) mode->refresh_rate = *displayRate;
    return result;
}
}  // namespace

extern "C" int SDL_GetCurrentDisplayMode(int display, SDL_DisplayMode *mode) {
    return with_display_rate<decltype(&SDL_GetCurrentDisplayMode)>("SDL_GetCurrentDisplayMode",
                                                                   display, mode);
}

extern "C" int SDL_GetWindowDisplayMode(SDL_Window *window, SDL_DisplayMode *mode) {
    return with_display_rate<decltype(&SDL_GetWindowDisplayMode)>("SDL_GetWindowDisplayMode",
                                                                  window, mode);
}

namespace {

using vt_test::capture_stderr;

TEST(ExperimentWindow, CloseWithoutInitTouchesNoHooks) {
    standin_reset();
    SDL_Window *slot = reinterpret_cast<SDL_Window *>(0x1);
    EXPECT_EQ(get_expt_window(&slot), nullptr);
    EXPECT_EQ(slot, nullptr);
    close_expt_graphics();
    EXPECT_EQ(standin_calls().install_hooks, 0);
    EXPECT_EQ(standin_calls().install_image_writer, 0);
}

TEST(ExperimentWindow, CreatesDesktopWindowAndInstallsHooksInOrder) {
    standin_reset();
    SDL_SetHint(SDL_HINT_FORCE_RAISEWINDOW, "0");  // the application's choice
    ASSERT_EQ(init_expt_window(nullptr, nullptr), 0);
    // A renderer that the video target's thread may draw with; the application's choice kept.
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_RENDER_DIRECT3D_THREADSAFE), "1");
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_FORCE_RAISEWINDOW), "0");
    SDL_SetHint(SDL_HINT_FORCE_RAISEWINDOW, nullptr);
    ASSERT_NE(exptGraphics.window, nullptr);
    ASSERT_NE(exptGraphics.renderer, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(exptGraphics.window) & SDL_WINDOW_FULLSCREEN_DESKTOP);
    int w = 0, h = 0;
    SDL_GetWindowSize(exptGraphics.window, &w, &h);
    EXPECT_EQ(exptGraphics.window_rect.x, 0);
    EXPECT_EQ(exptGraphics.window_rect.w, w);
    EXPECT_EQ(exptGraphics.window_rect.h, h);

    static_assert(sizeof(DisplayHooks) == 17 * sizeof(void *), "17 pointers, nothing else");
    const DisplayHooks hooks = standin_installed_hooks();
    const void *expected[17] = {
        reinterpret_cast<void *>(begin_cal_hook),      reinterpret_cast<void *>(end_cal_hook),
        reinterpret_cast<void *>(noop_hook),           reinterpret_cast<void *>(begin_image_hook),
        reinterpret_cast<void *>(image_title_hook),    reinterpret_cast<void *>(image_line_hook),
        reinterpret_cast<void *>(palette_hook),        reinterpret_cast<void *>(end_image_hook),
        reinterpret_cast<void *>(clear_cal_hook),      reinterpret_cast<void *>(erase_target_hook),
        reinterpret_cast<void *>(draw_cal_target),     reinterpret_cast<void *>(cal_target_sound_hook),
        reinterpret_cast<void *>(cal_done_sound_hook), reinterpret_cast<void *>(dcorr_done_sound_hook),
        reinterpret_cast<void *>(dcorr_target_sound_hook), reinterpret_cast<void *>(read_key_hook),
        reinterpret_cast<void *>(alert_hook)};
    void *slots[17];
    std::memcpy(slots, &hooks, sizeof(slots));
    for (int i = 0; i < 17; ++i) EXPECT_EQ(slots[i], expected[i]) << "slot " << i + 1;
    EXPECT_EQ(standin_image_writer(), &image_writer);

    const StandinCalls calls = standin_calls();
    EXPECT_EQ(calls.attach_window, 1);
    EXPECT_EQ(calls.graphics_ready, 1);
    EXPECT_EQ(calls.set_abort, 1);
    EXPECT_EQ(calls.last_set_abort, 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);

    const vt_test::Pixels pixels = vt_test::read_window_pixels();
    ASSERT_FALSE(pixels.data.empty());
    EXPECT_EQ(pixels.at(0, 0), vt_test::rgba(180, 180, 180));
    EXPECT_EQ(pixels.at(w - 1, h - 1), vt_test::rgba(180, 180, 180));
}

TEST(ExperimentWindow, NewWindowReplacesHeldOneAndTakesBackgroundColour) {
    const Uint32 old_id = SDL_GetWindowID(exptGraphics.window);
    const SDL_Color saved = windowLook.backgroundColor;
    windowLook.backgroundColor = SDL_Color{20, 90, 160, 255};
    SDL_Window *slot = nullptr;
    DisplayInfo info{};
    ASSERT_EQ(init_expt_window(&slot, &info), 0);
    windowLook.backgroundColor = saved;
    EXPECT_EQ(SDL_GetWindowFromID(old_id), nullptr) << "the held window is released";
    EXPECT_EQ(slot, exptGraphics.window);
    const vt_test::Pixels pixels = vt_test::read_window_pixels();
    ASSERT_FALSE(pixels.data.empty());
    EXPECT_EQ(pixels.at(pixels.width / 2, pixels.height / 2), vt_test::rgba(20, 90, 160));

    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetWindowDisplayMode(exptGraphics.window, &mode), 0);
    EXPECT_EQ(info.left, 0);
    EXPECT_EQ(info.top, 0);
    EXPECT_EQ(info.width, mode.w);
    EXPECT_EQ(info.height, mode.h);
    EXPECT_EQ(info.right, mode.w - 1);
    EXPECT_EQ(info.bottom, mode.h - 1);
    EXPECT_EQ(info.bits, 32);
    EXPECT_EQ(info.reserved1, 0);
    EXPECT_EQ(info.reserved2, 0);
    EXPECT_EQ(info.reserved3, 1);
    EXPECT_EQ(info.reserved4, -1);
}

// SDL keeps a desktop-fullscreen window on the display's own mode whatever rate is asked for:
// a rate the display does not run at is reported, and the record holds the rate in effect.
TEST(ExperimentWindow, RefreshRateNotInEffectIsReported) {
    const auto open_asking = [](float rate, DisplayInfo &info) {
        info = DisplayInfo{};
        info.refresh = rate;
        return vt_test::capture_stdout([&] { ASSERT_EQ(init_expt_window(nullptr, &info), 0); });
    };
    const std::string kNotSet = "Couldn't set window refresh rate\n";
    DisplayInfo info{};
    // A rate SDL does not know confirms and refutes nothing; the record says 60 Hz.
    displayRate = 0;
    EXPECT_EQ(open_asking(144.0f, info).find(kNotSet), std::string::npos);
    EXPECT_FLOAT_EQ(info.refresh, 60.0f);

    displayRate = 120;
    const struct {
        float asked;
        bool reported;
    } cases[] = {{144.0f, true}, {60.0f, true}, {120.0f, false}, {119.88f, false}, {0.0f, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.asked);
        const std::string out = open_asking(c.asked, info);
        EXPECT_EQ(out.find(kNotSet) != std::string::npos, c.reported) << out;
        EXPECT_FLOAT_EQ(info.refresh, 120.0f);
    }
    displayRate.reset();
}

TEST(ExperimentWindow, AdoptsApplicationWindowWithRenderer) {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    ASSERT_EQ(SDL_CreateWindowAndRenderer(640, 480, 0, &window, &renderer), 0);
    SDL_Window *slot = window;
    ASSERT_EQ(init_expt_window(&slot, nullptr), 0);
    EXPECT_EQ(exptGraphics.window, window);
    EXPECT_EQ(exptGraphics.renderer, renderer);
    EXPECT_EQ(exptGraphics.window_rect.w, 640);
    EXPECT_EQ(exptGraphics.window_rect.h, 480);

    // Adopting the window already held keeps it alive.
    const Uint32 id = SDL_GetWindowID(window);
    ASSERT_EQ(init_expt_window(&slot, nullptr), 0);
    EXPECT_EQ(SDL_GetWindowFromID(id), window);
    EXPECT_EQ(exptGraphics.renderer, renderer);
    const vt_test::Pixels pixels = vt_test::read_window_pixels();
    ASSERT_EQ(pixels.width, 640);
    EXPECT_EQ(pixels.at(639, 479), vt_test::rgba(180, 180, 180));
}

TEST(ExperimentWindow, AdoptedWindowWithoutRendererFails) {
    SDL_Window *window = SDL_CreateWindow("bare", 0, 0, 320, 200, 0);
    ASSERT_NE(window, nullptr);
    SDL_Window *slot = window;
    EXPECT_EQ(init_expt_window(&slot, nullptr), -1);
    EXPECT_EQ(exptGraphics.window, window);
    EXPECT_EQ(exptGraphics.renderer, nullptr);
    EXPECT_EQ(get_expt_window(nullptr), window);
    // The hooks stay installed after the failure.
    EXPECT_NE(standin_installed_hooks().begin_cal_hook, nullptr);
}

TEST(ExperimentWindow, CloseRemovesHooksAndSecondCloseDoesNothingMore) {
    standin_reset();
    close_expt_graphics();
    const DisplayHooks hooks = standin_installed_hooks();
    void *slots[17];
    std::memcpy(slots, &hooks, sizeof(slots));
    for (int i = 0; i < 17; ++i) EXPECT_EQ(slots[i], nullptr) << "slot " << i + 1;
    EXPECT_EQ(standin_image_writer(), nullptr);
    EXPECT_EQ(standin_calls().install_hooks, 1);
    EXPECT_FALSE(exptGraphics.sdl_ready);
    EXPECT_EQ(exptGraphics.window, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);

    close_expt_graphics();
    EXPECT_EQ(standin_calls().install_hooks, 1);
    EXPECT_EQ(standin_calls().install_image_writer, 1);
}

TEST(ExperimentWindow, SoftwareRendererRequest) {
    vt_test::set_env("VT_SDL_SOFTWARE", "1");
    std::string err;
    const std::string out = vt_test::capture_stdout(
        [&] { err = capture_stderr([] { ASSERT_EQ(init_expt_window(nullptr, nullptr), 0); }); });
    EXPECT_NE(out.find("Requesting SDL software rendering\n"), std::string::npos);
    EXPECT_NE(err.find("SDL renderer: software\n"), std::string::npos) << err;
    close_expt_graphics();

    vt_test::set_env("VT_SDL_SOFTWARE", "0");
    const std::string out0 = vt_test::capture_stdout(
        [&] { err = capture_stderr([] { ASSERT_EQ(init_expt_window(nullptr, nullptr), 0); }); });
    vt_test::unset_env("VT_SDL_SOFTWARE");
    EXPECT_EQ(out0.find("Requesting SDL software rendering"), std::string::npos);
    EXPECT_NE(err.find("SDL renderer: "), std::string::npos);
}

TEST(ExperimentWindow, AlertHookPrintsOneLine) {
    EXPECT_EQ(vt_test::capture_stdout([] { alert_hook("Tracker lost the eye"); }),
              "Tracker lost the eye\n");
    EXPECT_EQ(vt_test::capture_stdout([] { alert_hook(""); }), "\n");
}

TEST(ExperimentWindow, CurrentDisplayInformation) {
    int32_t w = 0, h = 0, bits = 0;
    EXPECT_EQ(get_current_display_information(&w, &h, &bits), 1);
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
    EXPECT_EQ(w, mode.w);
    EXPECT_EQ(h, mode.h);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(get_current_display_information(nullptr, nullptr, nullptr), 1);
}

}  // namespace
