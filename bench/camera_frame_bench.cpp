// Cost of one camera frame in a 1920 x 1080 window: (a) the whole frame through the hooks (320
// image lines, the last one presenting, with an overlay of a cross-hair and a lozenge) against
// (b) the bare SDL work that shows the same picture (clear, one 384 x 320 texture update, one
// scaled copy, present), (c) frame (a) with a three-line device menu and a camera-view title
// beside the image, and (d) frame (b) with the same four lines, each a texture made once: what
// drawing the text costs at the least. Runs on the software renderer and then on the OpenGL one
// where there is one (headless: SDL's offscreen driver through EGL); prints a / b, c / b and
// c / d for each.
#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "camera/camera_image.h"
#include "calibration/cal_data.h"
#include "camera/image_state.h"
#include "device/device_modes.h"
#include "frame/embedded_fonts.h"
#include "frame/expt_window.h"
#include "text/message_renderer.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

constexpr int kWidth = 384, kHeight = 320;
// Where the hooks draw the image in the window, and the title under it.
constexpr SDL_Rect kImageRect{(1920 - 1080) / 2, 90, 1080, 900};
constexpr SDL_Point kTitlePlace{kImageRect.x, kImageRect.y + kImageRect.h + 10};
constexpr const char *kMenu[] = {"Camera Views:", "NUM 7 -> Next Camera View",
                                 "NUM 4 -> Previous Camera View"};
constexpr const char *kTitle = "Close-up eye  pupil 60  CR 225";

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
    image_title_hook(0, kTitle);
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

// The menu's lines and the title as the hooks draw them at a window width of 1920 and a text
// scale of 2 (the bold built-in font at 21 points, the foreground colour), each rendered once:
// the textures and where they go. False when the font cannot be opened.
bool made_text_lines(SDL_Renderer *renderer, std::vector<SDL_Texture *> &textures,
                     std::vector<SDL_Rect> &places) {
    const std::string path = std::string(embedded_font_folder()) + "/OpenSans-Bold.ttf";
    TTF_Font *font = TTF_OpenFont(path.c_str(), 21);
    if (!font) return false;
    const int step = static_cast<int>(TTF_FontHeight(font) * kLineSpacing);
    std::vector<std::pair<const char *, SDL_Point>> lines;
    for (int i = 0; i < int(std::size(kMenu)); ++i)
        lines.push_back({kMenu[i], {15, 15 + i * step}});
    lines.push_back({kTitle, kTitlePlace});
    for (const auto &[text, place] : lines) {
        SDL_Surface *surface = TTF_RenderText_Blended(font, text, calData.foregroundColor);
        if (!surface) continue;
        textures.push_back(SDL_CreateTextureFromSurface(renderer, surface));
        places.push_back({place.x, place.y, surface->w, surface->h});
        SDL_FreeSurface(surface);
    }
    TTF_CloseFont(font);
    return true;
}

// Frame (b), and with text frame (d).
void bare_frames(benchmark::State &state, bool with_text) {
    SDL_Renderer *renderer = exptGraphics.renderer;
    std::vector<SDL_Texture *> text;
    std::vector<SDL_Rect> places;
    if (with_text && !made_text_lines(renderer, text, places)) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    SDL_Texture *texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                             SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    if (!texture) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
    const std::vector<uint8_t> indices = camera_indices();
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = indices[i] * 0x010203u;
    for (auto _ : state) {
        SDL_SetRenderDrawColor(renderer, 180, 180, 180, 255);
        SDL_RenderClear(renderer);
        for (size_t i = 0; i < text.size(); ++i)
            SDL_RenderCopy(renderer, text[i], nullptr, &places[i]);
        SDL_UpdateTexture(texture, nullptr, pixels.data(), kWidth * 4);
        SDL_RenderCopy(renderer, texture, nullptr, &kImageRect);
        SDL_RenderPresent(renderer);
    }
    SDL_DestroyTexture(texture);
    for (SDL_Texture *line : text) SDL_DestroyTexture(line);
}

void BM_BareSdl(benchmark::State &state) { bare_frames(state, false); }
BENCHMARK(BM_BareSdl)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareSdlWithText(benchmark::State &state) { bare_frames(state, true); }
BENCHMARK(BM_BareSdlWithText)->Unit(benchmark::kMillisecond)->UseRealTime();

// The camera image shown (display flag 0x2, so the title shows) on a setup screen (tracker
// mode 2) with the keypad device's three-line menu.
void BM_FrameWithMenuAndTitle(benchmark::State &state) {
    std::string script =
        "[MODE C]\nBUTTON 71 ACCEPT_TARGET\n[MODE V]\nBUTTON 71 ACCEPT_TARGET\n"
        "[MODE D]\nBUTTON 71 ACCEPT_TARGET\n[MODE 1]\n";
    for (const char *line : kMenu) script += std::string("TEXT_LINE \"") + line + "\"\n";
    script += "BUTTON 71 NEXT_IMAGE\nBUTTON 75 PREV_IMAGE\n";
    if (enable_external_calibration_device(2, script.c_str(), nullptr) != 1) {
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

// Opens the 1920 x 1080 window on the render driver named; false (with the reason) when that
// driver cannot serve it.
bool open_window(const char *driver) {
    // Mesa's llvmpipe rasterises on threads of its own; on a machine of few cores their
    // scheduling varies the frame times more than the differences measured, so it rasterises on
    // the calling thread unless LP_NUM_THREADS says otherwise.
    setenv("LP_NUM_THREADS", "0", 0);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("SDL_VIDEODRIVER", std::strcmp(driver, "software") == 0 ? "dummy" : "offscreen", 1);
    // init_sdl would end the process when video cannot start.
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::printf("%s: no video: %s\n", driver, SDL_GetError());
        return false;
    }
    init_sdl();
    SDL_SetHintWithPriority(SDL_HINT_RENDER_DRIVER, driver, SDL_HINT_OVERRIDE);
    const Uint32 flags = std::strcmp(driver, "opengl") == 0 ? SDL_WINDOW_OPENGL : 0;
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_RendererInfo info{};
    if (SDL_CreateWindowAndRenderer(1920, 1080, flags, &window, &renderer) != 0 ||
        SDL_GetRendererInfo(renderer, &info) != 0) {
        std::printf("%s: no 1920 x 1080 window: %s\n", driver, SDL_GetError());
        return false;
    }
    // SDL falls back to another driver when the one asked for fails.
    if (std::strcmp(info.name, driver) != 0) {
        std::printf("%s: not available (SDL chose %s)\n", driver, info.name);
        SDL_DestroyRenderer(renderer);
        SDL_DestroyWindow(window);
        return false;
    }
    return init_expt_window(&window, nullptr) == 0;
}

// Runs every benchmark in a window on driver and prints the ratios.
void run_on(const char *driver) {
    if (open_window(driver)) {
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        const double a = reporter.seconds["BM_FrameThroughHooks"];
        const double b = reporter.seconds["BM_BareSdl"];
        const double c = reporter.seconds["BM_FrameWithMenuAndTitle"];
        const double d = reporter.seconds["BM_BareSdlWithText"];
        if (a > 0 && b > 0)
            std::printf("%s: camera frame: hooks %.3f ms, bare SDL %.3f ms, ratio a/b = %.2f\n",
                        driver, a * 1e3, b * 1e3, a / b);
        if (c > 0 && b > 0)
            std::printf("%s: camera frame with menu and title: %.3f ms, ratio c/b = %.2f\n",
                        driver, c * 1e3, c / b);
        if (c > 0 && d > 0)
            std::printf("%s: bare SDL with the same text: %.3f ms, ratio c/d = %.2f\n", driver,
                        d * 1e3, c / d);
    }
    close_expt_graphics();
}

}  // namespace

int main(int argc, char **argv) {
    // Repetitions of (a) and (b) interleaved, unless the command line says otherwise.
    std::vector<char *> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, interleaving});
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    for (const char *driver : {"software", "opengl"}) run_on(driver);
    benchmark::Shutdown();
    return 0;
}
