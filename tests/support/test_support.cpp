// Shared test helpers (see test_support.h).
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "frame/expt_window.h"
#include "test_system.h"
#include "test_videos.h"
#include "vistrak_core_graphics_sdl2.h"

namespace vt_test {

void ensure_window() {
    if (window_open()) return;
    ASSERT_EQ(init_expt_window(nullptr, nullptr), 0);
}

Pixels read_pixels(SDL_Renderer *renderer) {
    Pixels p;
    if (!renderer || SDL_GetRendererOutputSize(renderer, &p.width, &p.height) != 0) return p;
    p.data.resize(size_t(p.width) * size_t(p.height));
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGBA8888, p.data.data(),
                             p.width * 4) != 0)
        p.data.clear();
    return p;
}

Pixels read_window_pixels() { return read_pixels(exptGraphics.renderer); }

namespace {
std::string capture(std::FILE *stream, const std::function<void()> &body) {
    const std::string path = temp_dir() + "/output.txt";
    {
        OutputToFile redirected(stream, path);
        body();
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
}  // namespace

std::string capture_stdout(const std::function<void()> &body) { return capture(stdout, body); }

std::string capture_stderr(const std::function<void()> &body) { return capture(stderr, body); }

namespace {
struct TempDirs {
    std::vector<std::string> paths;
    ~TempDirs() {
        for (const auto &p : paths) std::filesystem::remove_all(p);
    }
};
TempDirs tempDirs;
}  // namespace

std::string temp_dir() {
    const std::string made =
        make_unique_folder((std::filesystem::temp_directory_path() / "vt_test_XXXXXX").string());
    if (!made.empty()) tempDirs.paths.push_back(made);
    return made;
}

const std::string &program_folder() {
    static const std::string path = temp_dir();
    return path;
}

std::string write_program_video(const std::string &name, const QuadrantVideo &video) {
    const std::string path = program_folder() + "/" + name;
    EXPECT_TRUE(write_quadrant_video(path, video));
    return path;
}

bool wait_until(const std::function<bool()> &done, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace vt_test
