// The camera image hooks: the core library streams each eye-camera frame into the 384 x 320
// buffer as palette indices, line by line; the line that completes a frame presents it.
// Every size and index the core library sends is checked against the buffer and palette.
#include "frame/display_hooks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "camera/image_presentation.h"
#include "camera/image_state.h"
#include "camera/status_text.h"
#include "device/device_modes.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
#include "platform/console_output.h"
#include "text/fonts.h"

namespace {

// Text scale of the status font: the requested area against the buffer, else by window height.
float text_scale() {
    if (imageState.requestedWidth > 0 && imageState.requestedHeight > 0)
        return std::min(imageState.requestedWidth / float(kImageBufferWidth),
                        imageState.requestedHeight / float(kImageBufferHeight));
    const int height = exptGraphics.window_rect.h;
    if (height > 1024) return 2.0f;
    if (height > 500) return 1.5f;
    return 1.0f;
}

// Without the buffer no camera image can be shown at all: the process ends.
void create_buffer() {
    SDL_Surface *surface =
        SDL_CreateRGBSurface(0, kImageBufferWidth, kImageBufferHeight, 32, 0, 0, 0, 0);
    if (!surface || !surface->pixels) {
        if (!surface)
            platform::print("Couldn't allocate bitmap: %s\n", SDL_GetError());
        else
            platform::print("coregraphics: out of memory \n");
        std::fflush(stdout);
        std::exit(1);
    }
    imageState.imageSurface = surface;
    imageState.imagePixels = static_cast<uint8_t *>(surface->pixels);
    imageState.imagePitch = surface->pitch;
    std::memset(imageState.imagePixels, 0, size_t(surface->h) * size_t(surface->pitch));
    imageState.imageActive = 1;
}

}  // namespace

int16_t begin_image_hook() {
    imageState.imageTitle[0] = '\0';
    set_image_menu_mode(1);
    imageState.imageWidth = kImageBufferWidth;
    imageState.imageHeight = kImageBufferHeight;
    imageState.textScale = text_scale();
    imageState.zoomStep = 0;
    if (imageState.imageSurface) return 0;

    create_buffer();
    if (window_open()) {
        drawBackground();
        draw_status_text();
        SDL_RenderPresent(drawing_renderer());
        // The window's centre, wherever the window is on the desktop (a participant's monitor
        // beside the operator's, an adopted window not at the origin).
        SDL_WarpMouseInWindow(exptGraphics.window, exptGraphics.window_rect.w / 2,
                              exptGraphics.window_rect.h / 2);
    }
    return 1;
}

void image_title_hook(int32_t, const char *title) {
    if (!title) title = "";
    // A longer title is cut so that it always ends inside the buffer.
    const size_t length = strnlen(title, kImageTitleSize - 1);
    std::memcpy(imageState.imageTitle, title, length);
    imageState.imageTitle[length] = '\0';
}

void palette_hook(int16_t count, const uint8_t *red, const uint8_t *green, const uint8_t *blue) {
    if (!red || !green || !blue) return;
    const int entries = std::min<int>(count, int(imageState.palette.pixels.size()));
    for (int i = 0; i < entries; ++i) imageState.palette.set(i, red[i], green[i], blue[i]);
}

void image_line_hook(int16_t width, int16_t line, int16_t total_lines, const uint8_t *indices) {
    if (!imageState.imagePixels) return;
    // Lines outside the buffer and pixels beyond its width are dropped.
    if (indices && line >= 1 && line <= kImageBufferHeight) {
        auto *row = reinterpret_cast<uint32_t *>(imageState.imagePixels +
                                                 (line - 1) * imageState.imagePitch);
        const int pixels = std::min<int>(width, kImageBufferWidth);
        convert_palette_line(imageState.palette, indices, pixels, row);
    }
    if (line == total_lines) present_camera_image(width, total_lines);
}

void end_image_hook() {
    imageState.imageTitle[0] = '\0';
    set_image_menu_mode(0);
    close_current_font();
    statusFontLoaded = 0;
    if (!imageState.imageActive) return;
    release_presentation_resources();
    SDL_FreeSurface(imageState.imageSurface);
    imageState.imageSurface = nullptr;
    imageState.imagePixels = nullptr;
    clear_cal_hook();
    if (window_open()) SDL_RenderPresent(drawing_renderer());
    imageState.imageActive = 0;
}

extern "C" int32_t set_camera_image_position(int32_t x, int32_t y, int32_t width,
                                             int32_t height) {
    imageState.requestedX = static_cast<int16_t>(x);
    imageState.requestedY = static_cast<int16_t>(y);
    imageState.requestedWidth = static_cast<int16_t>(width);
    imageState.requestedHeight = static_cast<int16_t>(height);
    return 0;
}
