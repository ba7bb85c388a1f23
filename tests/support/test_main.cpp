// Entry point of every test program: headless SDL drivers when no display is present, and
// the shared experiment window closed once at the end.
#include <gtest/gtest.h>

#include "headless.h"
#include "leak_checks.h"
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
    // tests that need ports list their pseudo-terminals here.
    setenv("VT_SERIAL_PORTS", "", 0);
    vt_test::load_fontconfig_unchecked();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new CloseWindowAtEnd);
    return RUN_ALL_TESTS();
}
