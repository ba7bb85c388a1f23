// Entry point of every test program: headless SDL drivers when no display is present, and
// the shared experiment window closed once at the end.
#include <SDL.h>  // on Windows main is SDL's entry point's SDL_main
#include <gtest/gtest.h>

#include "headless.h"
#include "test_system.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

class CloseWindowAtEnd : public ::testing::Environment {
public:
    void TearDown() override { close_expt_graphics(); }
};

}  // namespace

int main(int argc, char **argv) {
    vt_test::use_headless_drivers_without_display();
    // No test opens the machine's own serial ports (the first UART can be its console):
    // tests that need ports list their own here. A list of empty entries lists none (an empty
    // value would do on Linux, but Windows cannot hold one).
    vt_test::set_env("VT_SERIAL_PORTS", ",", false);
    // Fonts come from the system's own lookup (fontconfig, or the Windows folder that
    // GetWindowsDirectory names), unless a test names a Windows folder itself.
    vt_test::unset_env("windir");
    vt_test::prepare_system_libraries();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new CloseWindowAtEnd);
    return RUN_ALL_TESTS();
}
