// Shared test helpers (see test_support.h).
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "frame/expt_window.h"
#include "test_system.h"
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

std::string capture_stdout(const std::function<void()> &body) {
    const std::string path = temp_dir() + "/stdout.txt";
    {
        StdoutToFile redirected(path);
        body();
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

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

}  // namespace vt_test
