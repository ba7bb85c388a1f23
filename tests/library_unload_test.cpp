// Leaving while a video target plays, in a host program of its own (unload/video_host.cpp): a
// process that returns from main with the library loaded, and one that unloads the library
// (dlclose, FreeLibrary) without close_expt_graphics and goes on to the core's next calibration
// screen, each while the playback thread shows frames. Both end with status 0: the library
// holds itself loaded until close_expt_graphics, and at the process's end the unload step
// stops the thread before SDL ends. And a host whose display cannot be reached.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"
#include "test_system.h"
#include "test_videos.h"

namespace {

// Frames due every millisecond keep the playback thread drawing and presenting, so that the
// host leaves in the middle of a frame more often than not; with a sound track, without which
// the video would be dropped for the ring.
const std::string &busy_video() {
    static const std::string path = vt_test::write_program_video(
        "busy.avi", {16, 16, 4, 1000, [](int i) { return uint32_t(0x40 * i); },
                     vt_test::tone(0.01)});
    return path;
}

struct HostRun {
    int status = -1;
    std::string output;
};

HostRun run_host(const char *mode) {
    const std::string log = vt_test::program_folder() + "/video_host.log";
    const std::string command = std::string("\"") + VIDEO_HOST + "\" \"" + GRAPHICS_LIBRARY +
                                "\" \"" + busy_video() + "\" " + mode + " > \"" + log +
                                "\" 2>&1";
    HostRun run;
    run.status = vt_test::run_command(command);
    std::ifstream in(log);
    run.output.assign(std::istreambuf_iterator<char>(in), {});
    return run;
}

TEST(LibraryUnload, ProcessThatExitsDuringPlaybackEndsWithStatusZero) {
    // The thread used to be cut off by SDL's end in some of these runs.
    for (int run = 0; run < 20; ++run) {
        const HostRun host = run_host("exit");
        ASSERT_EQ(host.status, 0) << "run " << run << ":\n" << host.output;
    }
}

TEST(LibraryUnload, HostGoesOnAfterUnloadingDuringPlayback) {
    // The library's memory cannot be handed back once its code is gone: no leak report.
    const vt_test::EnvironmentOverride no_leak_check("LSAN_OPTIONS", "leak_check_at_exit=0");
    const HostRun host = run_host("unload");
    EXPECT_EQ(host.status, 0) << host.output;
    const std::string said = "passes after the unload: ";
    const size_t at = host.output.find(said);
    ASSERT_NE(at, std::string::npos) << host.output;
    EXPECT_GT(std::atoi(host.output.c_str() + at + said.size()), 0)
        << "the library stays loaded and plays on";
    EXPECT_NE(host.output.find("the next screen played"), std::string::npos) << host.output;
}

// A host that leaves the driver to SDL, on an X display that cannot be reached: SDL falls back
// to a driver that shows nothing, which is SDL video that cannot start, and ends the program
// with status 1 and the reason rather than running a session on no screen.
TEST(HostProgram, AnUnreachableDisplayIsSdlVideoThatCannotStart) {
    if (std::strcmp(vt_test::window_video_driver(), "x11") != 0)
        GTEST_SKIP() << "the system's own video driver needs no display server";
    const vt_test::EnvironmentOverride display("DISPLAY", ":987");
    std::optional<vt_test::EnvironmentOverride> chosen;
    if (const char *driver = std::getenv("SDL_VIDEODRIVER")) chosen.emplace("SDL_VIDEODRIVER", driver);
    vt_test::unset_env("SDL_VIDEODRIVER");
    const HostRun host = run_host("exit");
    EXPECT_EQ(host.status, 1) << host.output;
    EXPECT_NE(host.output.find("SDL_Init failed: no display can be reached (DISPLAY \":987\")"),
              std::string::npos)
        << host.output;
}

}  // namespace
