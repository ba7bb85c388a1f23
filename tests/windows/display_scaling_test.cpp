// A display scaled to 150 % (the test's Wine prefix has 144 dots per inch). The window is made
// on a thread that works in the display's own pixels; where the application keeps its thread
// DPI-unaware, the library leaves that choice alone and the core log says how far the display
// is scaled. Wine does not stretch windows itself, so what shows here is the awareness asked
// for and got, and the log.
#include <gtest/gtest.h>
#include <windows.h>

#include "test_support.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

constexpr const char *kScaledLine = "the display is scaled to 150 % and this process is not DPI-aware";

DPI_AWARENESS thread_awareness() {
    return GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext());
}

// Opens and closes the library's window, as a session does; the log of the opening stays.
void open_and_close_window() {
    standin_reset();
    ASSERT_EQ(init_expt_window(nullptr, nullptr), 0);
    close_expt_graphics();
}

TEST(DisplayScaling, TheWindowWorksInTheDisplaysOwnPixels) {
    open_and_close_window();
    EXPECT_EQ(thread_awareness(), DPI_AWARENESS_PER_MONITOR_AWARE);
    EXPECT_EQ(standin_log_matches("the display is scaled"), 0u);
}

TEST(DisplayScaling, AnApplicationThatStaysUnawareIsToldTheScale) {
    const DPI_AWARENESS_CONTEXT previous =
        SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_UNAWARE);
    ASSERT_NE(previous, nullptr);
    open_and_close_window();
    EXPECT_EQ(thread_awareness(), DPI_AWARENESS_UNAWARE) << "the application's choice stays";
    EXPECT_EQ(standin_log_matches(kScaledLine), 1u);
    SetThreadDpiAwarenessContext(previous);
}

}  // namespace
