// A display whose mode cannot be read: the query answers 800 x 600 and alerts the user.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_support.h"
#include "test_system.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

TEST(DisplayInformation, FallsBackTo800x600WhenTheModeHasNoSize) {
    // The offscreen driver lists a display mode of 0 x 0 until a window exists.
    vt_test::set_env("SDL_VIDEODRIVER", "offscreen");
    standin_reset();
    DisplayInfo info{};
    get_display_information(&info);
    ASSERT_EQ(standin_alert_count(), 1u);
    EXPECT_STREQ(standin_alert(0), "Cannot get hardware surface. using non accelerated video surfaces ");
    EXPECT_EQ(info.width, 800);
    EXPECT_EQ(info.height, 600);
    EXPECT_EQ(info.right, 799);
    EXPECT_EQ(info.bottom, 599);
    EXPECT_EQ(info.bits, 32);
    EXPECT_EQ(info.reserved4, -1);
    // A null record still runs the query.
    get_display_information(nullptr);
    EXPECT_EQ(standin_alert_count(), 2u);
}
