// Cost of one camera frame in a 1920 x 1080 window: (a) the whole frame through the hooks (320
// image lines, the last one presenting, with an overlay of a cross-hair and a lozenge) against
// (b) the bare SDL work that shows the image (clear, one 384 x 320 texture update, one scaled
// copy, present), (c) frame (a) with a three-line device menu and a camera-view title beside
// the image, and (d) frame (b) with the same four lines, each a texture made once and blended
// in place. Runs on the software renderer and then on the OpenGL one where there is one
// (headless: SDL's offscreen driver through EGL; under X, GLX); prints a / b, c / b and c / d for
// each, named with the video driver.
//
// The four are measured side by side: in rounds of a few frames of each, in an order shuffled
// anew every round, every frame timed alone, and compared by their medians. A slower spell of
// the machine then weighs on all four alike, where separate runs of each differed by several
// per cent, and no frame always follows the same other one. Every ten rounds the image's
// textures are made anew, so that no frame keeps one placement in memory.
#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <tuple>
#include <string>
#include <vector>

#include "calibration/cal_data.h"
#include "camera/image_presentation.h"
#include "frame/display_hooks.h"
#include "frame/embedded_fonts.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
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
constexpr int kFramesPerTurn = 5;
constexpr int kRoundsPerPlacement = 10;

// An asymmetric test picture: index = a diagonal ramp, so every row differs.
std::vector<uint8_t> camera_indices() {
    std::vector<uint8_t> indices(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) indices[size_t(y) * kWidth + x] = uint8_t(x / 3 + y / 5);
    return indices;
}

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
        SDL_Surface *surface = TTF_RenderText_Blended(font, text, windowLook.foregroundColor);
        if (!surface) continue;
        textures.push_back(SDL_CreateTextureFromSurface(renderer, surface));
        places.push_back({place.x, place.y, surface->w, surface->h});
        SDL_FreeSurface(surface);
    }
    TTF_CloseFont(font);
    return true;
}

// The keypad device with the menu of the camera-view mode.
std::string keypad_script() {
    std::string script =
        "[MODE C]\nBUTTON 71 ACCEPT_TARGET\n[MODE V]\nBUTTON 71 ACCEPT_TARGET\n"
        "[MODE D]\nBUTTON 71 ACCEPT_TARGET\n[MODE 1]\n";
    for (const char *line : kMenu) script += std::string("TEXT_LINE \"") + line + "\"\n";
    return script + "BUTTON 71 NEXT_IMAGE\nBUTTON 75 PREV_IMAGE\n";
}

// One of the frames compared: what sets its screen up, draws one frame, and puts it back.
struct Frame {
    const char *name;
    std::function<bool()> enter;
    std::function<void()> draw, leave;
    std::vector<double> seconds{};
};

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Measures the four frames in the open experiment window and prints their ratios.
void measure(const char *driver, int rounds) {
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
    const auto through_hooks = [&indices] {
        for (int line = 1; line <= kHeight; ++line)
            image_line_hook(kWidth, int16_t(line), kHeight, &indices[size_t(line - 1) * kWidth]);
    };

    SDL_Renderer *renderer = exptGraphics.renderer;
    std::vector<SDL_Texture *> text;
    std::vector<SDL_Rect> places;
    SDL_Texture *texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                             SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    if (!made_text_lines(renderer, text, places) || !texture) {
        std::printf("%s: cannot make the bare frame: %s\n", driver, SDL_GetError());
        end_image_hook();
        return;
    }
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = indices[i] * 0x010203u;
    const auto bare = [&](bool with_text) {
        SDL_SetRenderDrawColor(renderer, 180, 180, 180, 255);
        SDL_RenderClear(renderer);
        if (with_text)
            for (size_t i = 0; i < text.size(); ++i)
                SDL_RenderCopy(renderer, text[i], nullptr, &places[i]);
        SDL_UpdateTexture(texture, nullptr, pixels.data(), kWidth * 4);
        SDL_RenderCopy(renderer, texture, nullptr, &kImageRect);
        SDL_RenderPresent(renderer);
    };

    const std::string script = keypad_script();
    const auto no_device = [] { return enable_external_calibration_device(0, nullptr, nullptr) == 1; };
    std::array<Frame, 4> frames{{
        {"a", no_device, through_hooks, [] {}},
        {"b", [] { return true; }, [&] { bare(false); }, [] {}},
        // The camera image shown (display flag 0x2, so the title shows) on a setup screen
        // (tracker mode 2) with the keypad device's menu.
        {"c",
         [&] {
             standin_set_tracker_mode(2);
             standin_set_display_flags(0x2);
             return enable_external_calibration_device(2, script.c_str(), nullptr) == 1;
         },
         through_hooks,
         [] {
             standin_set_display_flags(0);
             enable_external_calibration_device(0, nullptr, nullptr);
         }},
        {"d", [] { return true; }, [&] { bare(true); }, [] {}},
    }};
    std::array<size_t, std::tuple_size<decltype(frames)>::value> order;
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::mt19937 random(1);
    // Where a texture and its pixels lie in memory moves a frame's time by some per cent on
    // llvmpipe (runs of the same build differed by up to 10 % in a / b), and a run keeps its
    // placement: every few rounds the image's textures, the library's and the bare frame's, and
    // the bare frame's pixels are made anew.
    const auto renew_image_memory = [&] {
        release_presentation_resources();  // the next frame makes its texture anew
        SDL_DestroyTexture(texture);
        texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                    SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
        std::vector<uint32_t>(pixels).swap(pixels);
        return texture != nullptr;
    };
    for (int round = 0; round < rounds; ++round) {
        if (round % kRoundsPerPlacement == kRoundsPerPlacement - 1 && !renew_image_memory()) {
            std::printf("%s: no new texture: %s\n", driver, SDL_GetError());
            rounds = 0;
            break;
        }
        std::shuffle(order.begin(), order.end(), random);
        for (size_t which : order) {
            Frame &frame = frames[which];
            if (!frame.enter()) {
                std::printf("%s: frame %s cannot be set up\n", driver, frame.name);
                rounds = 0;
                break;
            }
            frame.draw();  // the first frame of a screen may differ: it is not counted
            for (int i = 0; i < kFramesPerTurn; ++i) {
                const auto start = std::chrono::steady_clock::now();
                frame.draw();
                const std::chrono::duration<double> taken =
                    std::chrono::steady_clock::now() - start;
                frame.seconds.push_back(taken.count());
            }
            frame.leave();
        }
    }
    end_image_hook();
    SDL_DestroyTexture(texture);
    for (SDL_Texture *line : text) SDL_DestroyTexture(line);
    if (rounds == 0) return;

    const double a = median(frames[0].seconds), b = median(frames[1].seconds),
                 c = median(frames[2].seconds), d = median(frames[3].seconds);
    std::printf("%s: median of %d frames each: a %.3f ms, b %.3f ms, c %.3f ms, d %.3f ms\n",
                driver, rounds * kFramesPerTurn, a * 1e3, b * 1e3, c * 1e3, d * 1e3);
    std::printf("%s: camera frame a/b = %.3f, with menu and title c/b = %.3f, c/d = %.3f\n",
                driver, a / b, c / b, c / d);
}

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

}  // namespace

// --rounds=N sets the rounds (200 unless given); other arguments, such as those that
// `./run bench` hands every benchmark, are ignored.
int main(int argc, char **argv) {
    int rounds = 200;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, std::atoi(argv[i] + 9));
    for (const char *driver : {"software", "opengl"}) {
        // Named with the video driver: offscreen EGL keeps each frame in memory, an X server
        // takes it into a window.
        if (open_window(driver))
            measure((std::string(driver) + " (" + SDL_GetCurrentVideoDriver() + ")").c_str(),
                    rounds);
        close_expt_graphics();
    }
    return 0;
}
