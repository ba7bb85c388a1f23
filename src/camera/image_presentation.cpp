// Presents a completed camera frame: background, status text, the buffer scaled by the
// renderer to the window height and the zoom step, the core library's overlay through the
// OverlayContext callbacks, and the "Marker" bars of the enlarged view.
#include "camera/image_presentation.h"

#include <SDL.h>
#include <SDL2_rotozoom.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "calibration/cal_data.h"
#include "camera/image_state.h"
#include "camera/overlay_primitives.h"
#include "camera/status_text.h"
#include "frame/expt_window.h"
#include "vistrak_core64.h"

namespace {

struct SurfaceDeleter {
    void operator()(SDL_Surface *surface) const { SDL_FreeSurface(surface); }
};
struct TextureDeleter {
    void operator()(SDL_Texture *texture) const { SDL_DestroyTexture(texture); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;
using TexturePtr = std::unique_ptr<SDL_Texture, TextureDeleter>;

// The base factor fits the buffer's width to the window height; 'z' steps through 1.3 and
// 1.6 times it, then one frame at it divided by 2.4, after which the base factor returns.
float zoom_factor() {
    float f = exptGraphics.window_rect.h / float(kImageBufferWidth);
    if (imageState.zoomStep == 1) {
        f = float(double(f) * 1.3);
    } else if (imageState.zoomStep == 2) {
        f = float(double(f) * 1.6);
    } else if (imageState.zoomStep >= 3) {
        f = float(double(f) / 2.4);
        imageState.zoomStep = 0;
    }
    return f;
}

// A surface over the buffer's top-left width x height pixels, sharing its memory.
SurfacePtr buffer_view(int width, int height) {
    const SDL_PixelFormat *format = imageState.imageSurface->format;
    SurfacePtr view{SDL_CreateRGBSurfaceFrom(imageState.imagePixels, width, height,
                                             format->BitsPerPixel, imageState.imagePitch,
                                             format->Rmask, format->Gmask, format->Bmask,
                                             format->Amask)};
    if (!view) core_log("present_camera_image: no buffer surface: %s\n", SDL_GetError());
    return view;
}

// The overlay area: the overlay surface's size, centred in the window.
SDL_Rect overlay_area(const SDL_Surface *overlay) {
    const SDL_Rect &window = exptGraphics.window_rect;
    return {(window.w - overlay->w) / 2, (window.h - overlay->h) / 2, overlay->w, overlay->h};
}

void draw_overlay(SDL_Surface *overlay, int drawn_width, int drawn_height) {
    OverlayContext context{};
    context.drawnWidth = drawn_width;
    context.drawnHeight = drawn_height;
    context.overlaySurface = overlay;
    context.lineCallback = draw_overlay_line;
    context.lozengeCallback = draw_overlay_lozenge;
    context.mouseCallback =
        imageState.mouseLocCallback ? imageState.mouseLocCallback : get_overlay_mouse;
    const SDL_Rect clip = overlay_area(overlay);
    SDL_RenderSetClipRect(exptGraphics.renderer, &clip);
    core_draw_overlay(&context);
    SDL_RenderSetClipRect(exptGraphics.renderer, nullptr);
}

void copy_image(SDL_Surface *source, const SDL_Rect &target) {
    TexturePtr texture{SDL_CreateTextureFromSurface(exptGraphics.renderer, source)};
    if (texture) SDL_RenderCopy(exptGraphics.renderer, texture.get(), nullptr, &target);
}

// Two short black bars at the top and bottom of the window's centre line.
void draw_marker_bars() {
    const int x = exptGraphics.window_rect.w / 2, height = exptGraphics.window_rect.h;
    draw_vline(x, 0, 20, 0, 0, 0, 255);
    draw_vline(x, height - 20, height, 0, 0, 0, 255);
}

}  // namespace

void present_camera_image(int width, int height) {
    if (!window_open() || !imageState.imagePixels) return;
    // Only the buffer's pixels can be shown.
    width = std::min(width, kImageBufferWidth);
    height = std::min(height, kImageBufferHeight);
    if (width < 1 || height < 1) return;
    SurfacePtr view = buffer_view(width, height);
    // Without a surface the core library could not place its overlay: the frame is skipped.
    if (!view) return;
    SDL_Renderer *renderer = exptGraphics.renderer;
    const SDL_Rect &window = exptGraphics.window_rect;
    const SDL_Color background = calData.backgroundColor;

    if (width != imageState.imageWidth || height != imageState.imageHeight) {
        SDL_SetRenderDrawColor(renderer, background.r, background.g, background.b,
                               background.a);
        SDL_RenderClear(renderer);
    }
    const float f = zoom_factor();
    SDL_Rect &rect = imageState.imageRect;
    rect.w = uint16_t(int(float(width) * f));
    rect.h = uint16_t(int(float(height) * f));
    if (imageState.requestedX == -1 && imageState.requestedY == -1) {
        rect.x = (window.w - rect.w) / 2;
        rect.y = (window.h - rect.h) / 2;
    } else {
        rect.x = imageState.requestedX;
        rect.y = imageState.requestedY;
    }
    SDL_SetRenderDrawColor(renderer, background.r, background.g, background.b, 255);
    SDL_RenderFillRect(renderer, nullptr);
    draw_status_text();

    if (f > 1.0f) {
        SurfacePtr zoomed{zoomSurface(view.get(), f, f, SMOOTHING_OFF)};
        if (zoomed) {
            copy_image(view.get(), rect);
            draw_overlay(zoomed.get(), zoomed->w, zoomed->h);
            if (imageState.imageTitle[0] && std::strstr(imageState.imageTitle, "Marker"))
                draw_marker_bars();
            SDL_RenderPresent(renderer);
            return;
        }
        std::printf("coregraphics: oops zoom Surface failed \n");
    }
    // Natural size: 1:1 and centred, whatever position was requested.
    rect = {(window.w - width) / 2, (window.h - height) / 2, width, height};
    copy_image(view.get(), rect);
    draw_overlay(view.get(), width, height);
    SDL_RenderPresent(renderer);
}

extern "C" void set_mouse_loc_callback(MouseLocCallback callback) {
    imageState.mouseLocCallback = callback;
}
