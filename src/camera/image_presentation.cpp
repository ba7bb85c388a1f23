// Presents a completed camera frame: background, status text, the buffer scaled by the
// renderer to the window height and the zoom step, the core library's overlay through the
// OverlayContext callbacks, and the "Marker" bars of the enlarged view.
#include "camera/image_presentation.h"

#include <SDL.h>
#include <SDL2_rotozoom.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "camera/image_state.h"
#include "camera/overlay_primitives.h"
#include "camera/status_text.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
#include "platform/console_output.h"
#include "vistrak_core64.h"

namespace {

// Kept from frame to frame while the image is shown, released by end_image_hook: the
// streaming texture the buffer is uploaded into (stored with the window, whose renderer owns
// it, so that a new window never meets a stale texture) and a surface of the drawn size for
// the overlay, whose callbacks read only its size.
constexpr const char *kTextureKey = "vt_camera_image_texture";
SDL_Surface *overlaySurface = nullptr;

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

SDL_Surface *overlay_surface(int width, int height) {
    if (overlaySurface && overlaySurface->w == width && overlaySurface->h == height)
        return overlaySurface;
    SDL_FreeSurface(overlaySurface);
    overlaySurface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32,
                                                    imageState.imageSurface->format->format);
    return overlaySurface;
}

SDL_Texture *image_texture(int width, int height) {
    SDL_Renderer *renderer = drawing_renderer();
    auto *texture =
        static_cast<SDL_Texture *>(SDL_GetWindowData(exptGraphics.window, kTextureKey));
    int w = 0, h = 0;
    if (texture && SDL_QueryTexture(texture, nullptr, nullptr, &w, &h) == 0 && w == width &&
        h == height)
        return texture;
    if (texture) SDL_DestroyTexture(texture);
    texture = SDL_CreateTexture(renderer, imageState.imageSurface->format->format,
                                SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture) core_log("present_camera_image: no texture: %s\n", SDL_GetError());
    SDL_SetWindowData(exptGraphics.window, kTextureKey, texture);
    return texture;
}

// Fills the viewport inside the clip rectangle with the draw colour, which is opaque. Where that
// is the whole target, unscaled, and the blend mode leaves an opaque colour as it is, a clear
// gives the same pixels: a GL renderer clears at a fraction of the cost of the rectangle.
void fill_viewport(SDL_Renderer *renderer) {
    SDL_Rect viewport{};
    SDL_RenderGetViewport(renderer, &viewport);
    int width = 0, height = 0;
    SDL_BlendMode blend = SDL_BLENDMODE_NONE;
    const bool whole_target = !SDL_RenderIsClipEnabled(renderer) &&
                              SDL_GetRendererOutputSize(renderer, &width, &height) == 0 &&
                              viewport.x == 0 && viewport.y == 0 && viewport.w == width &&
                              viewport.h == height;
    if (whole_target && SDL_GetRenderDrawBlendMode(renderer, &blend) == 0 &&
        (blend == SDL_BLENDMODE_NONE || blend == SDL_BLENDMODE_BLEND))
        SDL_RenderClear(renderer);
    else
        SDL_RenderFillRect(renderer, nullptr);
}

// Uploads the buffer's top-left width x height pixels and lets the renderer scale them.
void copy_image(int width, int height, const SDL_Rect &target) {
    SDL_Texture *texture = image_texture(width, height);
    if (texture && SDL_UpdateTexture(texture, nullptr, imageState.imagePixels,
                                     imageState.imagePitch) == 0)
        SDL_RenderCopy(drawing_renderer(), texture, nullptr, &target);
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
    SDL_RenderSetClipRect(drawing_renderer(), &clip);
    core_draw_overlay(&context);
    SDL_RenderSetClipRect(drawing_renderer(), nullptr);
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
    SDL_Renderer *renderer = drawing_renderer();
    const SDL_Rect &window = exptGraphics.window_rect;
    const SDL_Color background = windowLook.backgroundColor;

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
    fill_viewport(renderer);
    draw_status_text();

    // The overlay surface has the size a surface zoom by f would give the frame.
    bool enlarged = f > 1.0f;
    int drawn_width = width, drawn_height = height;
    if (enlarged) zoomSurfaceSize(width, height, f, f, &drawn_width, &drawn_height);
    SDL_Surface *overlay = overlay_surface(drawn_width, drawn_height);
    if (!overlay && enlarged) {
        platform::print("coregraphics: oops zoom Surface failed \n");
        enlarged = false;
        drawn_width = width;
        drawn_height = height;
        overlay = overlay_surface(width, height);
    }
    // Without a surface the core library could not place its overlay: the frame is skipped.
    if (!overlay) {
        core_log("present_camera_image: no overlay surface: %s\n", SDL_GetError());
        return;
    }
    // Natural size: 1:1 and centred, whatever position was requested.
    if (!enlarged) rect = {(window.w - width) / 2, (window.h - height) / 2, width, height};
    copy_image(width, height, rect);
    draw_overlay(overlay, drawn_width, drawn_height);
    if (enlarged && imageState.imageTitle[0] && std::strstr(imageState.imageTitle, "Marker"))
        draw_marker_bars();
    SDL_RenderPresent(renderer);
}

void step_zoom() { ++imageState.zoomStep; }

void release_presentation_resources() {
    SDL_FreeSurface(overlaySurface);
    overlaySurface = nullptr;
    // Without a window its renderer, and with it the texture, are already gone.
    if (!exptGraphics.window) return;
    take_renderer();
    auto *texture =
        static_cast<SDL_Texture *>(SDL_SetWindowData(exptGraphics.window, kTextureKey, nullptr));
    if (texture) SDL_DestroyTexture(texture);
}

extern "C" void set_mouse_loc_callback(MouseLocCallback callback) {
    imageState.mouseLocCallback = callback;
}
