// Cost of one camera frame in a 1920 x 1080 window on the software renderer: (a) the whole
// frame through the hooks (320 image lines, the last one presenting, with an overlay of a
// cross-hair and a lozenge) against (b) the bare SDL work that shows the same picture
// (clear, one 384 x 320 texture update, one scaled copy, present), and (c) frame (a) with a
// three-line device menu and a camera-view title beside the image. Prints a / b and c / b.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "camera/camera_image.h"
#include "camera/image_state.h"
#include "device/device_modes.h"
#include "frame/expt_window.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

constexpr int kWidth = 384, kHeight = 320;

// An asymmetric test picture: index = a diagonal ramp, so every row differs.
std::vector<uint8_t> camera_indices() {
    std::vector<uint8_t> indices(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) indices[size_t(y) * kWidth + x] = uint8_t(x / 3 + y / 5);
    return indices;
}

// Streams frames through the hooks for as long as the benchmark runs.
void stream_frames(benchmark::State &state) {
    std::array<uint8_t, 256> red{}, green{}, blue{};
    for (int i = 0; i < 256; ++i) {
        red[i] = uint8_t(i);
        green[i] = uint8_t(255 - i);
        blue[i] = uint8_t(i * 7);
    }
    palette_hook(256, red.data(), green.data(), blue.data());
    begin_image_hook();
    image_title_hook(0, "Close-up eye  pupil 60  CR 225");
    const StandinOverlayOp overlay[] = {
        {STANDIN_LINE, 540, 400, 540, 500, 3},   // cross-hair, vertical
        {STANDIN_LINE, 490, 450, 590, 450, 3},   // cross-hair, horizontal
        {STANDIN_LOZENGE, 300, 300, 60, 90, 5},  // standing lozenge
    };
    standin_set_overlay_script(overlay, std::size(overlay));
    const std::vector<uint8_t> indices = camera_indices();
    for (auto _ : state) {
        for (int line = 1; line <= kHeight; ++line)
            image_line_hook(kWidth, int16_t(line), kHeight, &indices[size_t(line - 1) * kWidth]);
    }
    end_image_hook();
}

void BM_FrameThroughHooks(benchmark::State &state) {
    standin_set_display_flags(0);
    enable_external_calibration_device(0, nullptr, nullptr);
    stream_frames(state);
}
BENCHMARK(BM_FrameThroughHooks)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareSdl(benchmark::State &state) {
    SDL_Renderer *renderer = exptGraphics.renderer;
    SDL_Texture *texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                             SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    if (!texture) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
    const std::vector<uint8_t> indices = camera_indices();
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = indices[i] * 0x010203u;
    const SDL_Rect target{(1920 - 1080) / 2, 90, 1080, 900};
    for (auto _ : state) {
        SDL_SetRenderDrawColor(renderer, 180, 180, 180, 255);
        SDL_RenderClear(renderer);
        SDL_UpdateTexture(texture, nullptr, pixels.data(), kWidth * 4);
        SDL_RenderCopy(renderer, texture, nullptr, &target);
        SDL_RenderPresent(renderer);
    }
    SDL_DestroyTexture(texture);
}
BENCHMARK(BM_BareSdl)->Unit(benchmark::kMillisecond)->UseRealTime();

// The camera image shown (display flag 0x2, so the title shows) on a setup screen (tracker
// mode 2) with the keypad device's three-line menu.
void BM_FrameWithMenuAndTitle(benchmark::State &state) {
    const char *script =
        "[MODE C]\nBUTTON 71 ACCEPT_TARGET\n[MODE V]\nBUTTON 71 ACCEPT_TARGET\n"
        "[MODE D]\nBUTTON 71 ACCEPT_TARGET\n[MODE 1]\nTEXT_LINE \"Camera Views:\"\n"
        "TEXT_LINE \"NUM 7 -> Next Camera View\"\nTEXT_LINE \"NUM 4 -> Previous Camera View\"\n"
        "BUTTON 71 NEXT_IMAGE\nBUTTON 75 PREV_IMAGE\n";
    if (enable_external_calibration_device(2, script, nullptr) != 1) {
        state.SkipWithError("the keypad device did not start");
        return;
    }
    standin_set_tracker_mode(2);
    standin_set_display_flags(0x2);
    stream_frames(state);
    standin_set_display_flags(0);
    enable_external_calibration_device(0, nullptr, nullptr);
}
BENCHMARK(BM_FrameWithMenuAndTitle)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's best time per iteration over its repetitions, so that the ratio
// printed after the run is least disturbed by other work on the machine.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const double per_iteration = run.real_accumulated_time / double(run.iterations);
            double &best = seconds[run.run_name.function_name];
            if (best == 0 || per_iteration < best) best = per_iteration;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

bool open_window() {
    init_sdl();
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    if (SDL_CreateWindowAndRenderer(1920, 1080, 0, &window, &renderer) != 0) {
        std::fprintf(stderr, "no 1920 x 1080 window: %s\n", SDL_GetError());
        return false;
    }
    return init_expt_window(&window, nullptr) == 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("SDL_VIDEODRIVER", "dummy", 0);
    // Repetitions of (a) and (b) interleaved, unless the command line says otherwise.
    std::vector<char *> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, interleaving});
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    if (!open_window()) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double a = reporter.seconds["BM_FrameThroughHooks"], b = reporter.seconds["BM_BareSdl"];
    const double c = reporter.seconds["BM_FrameWithMenuAndTitle"];
    if (a > 0 && b > 0)
        std::printf("camera frame: hooks %.3f ms, bare SDL %.3f ms, ratio a/b = %.2f\n", a * 1e3,
                    b * 1e3, a / b);
    if (c > 0 && b > 0)
        std::printf("camera frame with menu and title: %.3f ms, ratio c/b = %.2f\n", c * 1e3,
                    c / b);
    close_expt_graphics();
    benchmark::Shutdown();
    return 0;
}
