// The shared library exports only its C interface and imports from the core library nothing
// but the 16 interface functions.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> dynamic_symbols(const std::string &file, const char *which) {
    std::set<std::string> names;
    const std::string command = "nm -D " + std::string(which) + " --format=posix '" + file + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return names;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        names.insert(name.substr(0, name.find('@')));
    }
    pclose(pipe);
    return names;
}

const std::set<std::string> kCoreInterface = {
    "core_clock_ms", "core_sleep_ms", "core_display_flags", "core_tracker_mode",
    "core_attach_window", "core_graphics_ready", "core_abort_requested", "core_set_abort",
    "core_alert", "core_install_hooks", "core_install_image_writer",
    "core_bitmap_save_and_backdrop", "core_bitmap_to_backdrop", "core_bitmap_save",
    "core_draw_overlay", "core_log"};

const std::set<std::string> kExports = {
    "init_expt_window", "close_expt_graphics", "get_expt_window", "get_display_information",
    "get_current_display_information", "set_calibration_colors", "set_target_size",
    "set_cal_target_surface", "set_cal_background_surface", "reset_background_surface",
    "disable_custombackground_on_imagemode", "set_mac_delay", "set_cal_target_motion",
    "set_cal_sounds", "set_dcorr_sounds", "set_cal_animation_target", "set_camera_image_position",
    "set_mouse_loc_callback", "set_cal_font", "enable_external_calibration_device",
    "sdl_bitmap_save_and_backdrop", "sdl_bitmap_to_backdrop", "sdl_bitmap_save"};

TEST(LibrarySymbols, ImportsOnlyTheCoreInterfaceFromTheCore) {
    const auto imported = dynamic_symbols(GRAPHICS_LIBRARY, "--undefined-only");
    const auto core_defined = dynamic_symbols(CORE_LIBRARY, "--defined-only");
    ASSERT_FALSE(imported.empty());
    ASSERT_TRUE(core_defined.count("standin_reset")) << "the stand-in's own functions are visible";
    for (const auto &name : core_defined) {
        if (imported.count(name)) {
            EXPECT_TRUE(kCoreInterface.count(name)) << name << " is imported from the core";
        }
    }
    EXPECT_TRUE(imported.count("core_install_hooks"));
    EXPECT_TRUE(imported.count("core_log"));
}

TEST(LibrarySymbols, ExportsOnlyTheCInterface) {
    const auto exported = dynamic_symbols(GRAPHICS_LIBRARY, "--defined-only");
    ASSERT_FALSE(exported.empty());
    for (const auto &name : exported) EXPECT_TRUE(kExports.count(name)) << name << " is exported";
    for (const char *name : {"init_expt_window", "close_expt_graphics", "get_expt_window",
                             "get_display_information", "get_current_display_information"})
        EXPECT_TRUE(exported.count(name)) << name;
}

TEST(LibrarySymbols, LinksTheCoreBySoname) {
    const std::string command = "readelf -d '" + std::string(GRAPHICS_LIBRARY) + "'";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string all;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) all += line;
    pclose(pipe);
    EXPECT_NE(all.find("Shared library: [libvistrak_core64.so]"), std::string::npos) << all;
}

}  // namespace
