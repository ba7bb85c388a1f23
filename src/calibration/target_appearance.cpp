// The target's look and the calibration background: the drawn ring, the application's target
// and background images, and the six exports that choose them. Textures belong to the current
// renderer; the application's images are kept as private copies so that they can be rebuilt.
// The window keeps the colours and the background image (frame/window_background.h).
#include <SDL2_gfxPrimitives.h>

#include <algorithm>
#include <cmath>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "export/surface_owner.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
#include "vistrak_core64.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

// Largest ring radius accepted: a 4096-pixel target already fills a large display, and the
// texture of a larger one takes hundreds of megabytes (up to 17 GB for 16-bit sizes).
constexpr int32_t kMaxOuterRadius = 2048;

// A private copy of the application's image (the application keeps its own surface).
SurfaceOwner targetImage;

// The ring's radii while an application image stands in for it: the image sets both radii to
// half its size, which would leave a ring entirely in the background colour once the image goes.
struct RingRadii {
    int32_t outer = kDefaultOuterRadius, inner = kDefaultInnerRadius;
};
RingRadii ringRadii;

void destroy_texture(SDL_Texture *&texture) {
    if (!texture) return;
    take_renderer();
    SDL_DestroyTexture(texture);
    texture = nullptr;
}

SurfaceOwner copy_image(SDL_Surface *image, const char *setter) {
    SurfaceOwner copy(SDL_DuplicateSurface(image));
    if (!copy) core_log("%s: the image cannot be copied. error='%s'\n", setter, SDL_GetError());
    return copy;
}

// A colour given as R, G, B, A bytes changes colour when R, G or B differ; alpha alone does not.
bool changes(const uint8_t *bytes, const SDL_Color &colour) {
    return bytes && (bytes[0] != colour.r || bytes[1] != colour.g || bytes[2] != colour.b);
}

// Draws the ring's disc and hole centred on (cx, cy) of the render target.
void draw_ring(SDL_Renderer *renderer, int cx, int cy, int32_t outer, int32_t inner) {
    const SDL_Color &fg = windowLook.foregroundColor;
    const SDL_Color &bg = windowLook.backgroundColor;
    filledEllipseRGBA(renderer, Sint16(cx), Sint16(cy), Sint16(outer), Sint16(outer), fg.r, fg.g,
                      fg.b, 255);
    // SDL2_gfx draws one pixel for a radius of 0; a hole of 0 is no hole.
    if (inner > 0)
        filledEllipseRGBA(renderer, Sint16(cx), Sint16(cy), Sint16(inner), Sint16(inner), bg.r,
                          bg.g, bg.b, 255);
}

// Paints the ring into texture: background-coloured fill, the disc, the hole; then the window
// is the render target again.
void paint_ring(SDL_Texture *texture, int32_t outer, int32_t inner) {
    SDL_Renderer *renderer = drawing_renderer();
    const SDL_Color &bg = windowLook.backgroundColor;
    SDL_SetRenderTarget(renderer, texture);
    SDL_SetRenderDrawColor(renderer, bg.r, bg.g, bg.b, 255);
    SDL_RenderFillRect(renderer, nullptr);
    draw_ring(renderer, outer + 1, outer, outer, inner);
    SDL_SetRenderTarget(renderer, nullptr);
}

void create_image_target() {
    use_window();
    calData.targetWidth = targetImage->w;
    calData.targetHeight = targetImage->h;
    if (window_open())
        calData.targetTexture = SDL_CreateTextureFromSurface(drawing_renderer(),
                                                             targetImage.get());
}

}  // namespace

void use_window() {
    static constexpr WindowClient kCalibration{playback_running, stop_playback_thread,
                                               release_renderer_textures, release_target};
    set_window_client(&kCalibration);
}

void create_target_texture(int32_t outer, int32_t inner) {
    if (calData.targetTexture) return;
    use_window();
    calData.targetHeight = 2 * outer;
    calData.targetWidth = 2 * outer + 2;
    SDL_Texture *texture =
        SDL_CreateTexture(drawing_renderer(), SDL_PIXELFORMAT_RGBA8888,
                          SDL_TEXTUREACCESS_TARGET, calData.targetWidth, calData.targetHeight);
    if (!texture) return;
    calData.targetTexture = texture;
    paint_ring(texture, outer, inner);
}

void create_default_target() {
    if (calData.customTarget == 1 && targetImage) {
        if (!calData.targetTexture) create_image_target();
        return;
    }
    create_target_texture(calData.outerRadius, calData.innerRadius);
}

void release_target() {
    // Stops the playback thread before the renderer is touched.
    end_animation_target();
    destroy_texture(calData.targetTexture);
}

void reset_target_for_video() {
    destroy_texture(calData.targetTexture);
    targetImage.reset();
    release_background();
    calData.targetWidth = calData.targetHeight = 0;
    calData.targetPosition = TargetPosition{};
    calData.disableCustomBackgroundOnImageMode = 0;
    calData.outerRadius = kDefaultOuterRadius;
    calData.innerRadius = kDefaultInnerRadius;
    calData.customTarget = 0;
}

void release_renderer_textures() {
    destroy_texture(calData.targetTexture);
    if (VideoPlayer *player = calData.animationTarget.player) player->release_texture();
}

void draw_target_at(int x, int y, double scale) {
    drawBackground();
    SDL_Renderer *renderer = drawing_renderer();
    // The ring is drawn anew at any other size, sharp; an image is scaled from its texture.
    if (calData.customTarget == 0 && scale != 1.0) {
        draw_ring(renderer, x, y, int32_t(std::lround(calData.outerRadius * scale)),
                  int32_t(std::lround(calData.innerRadius * scale)));
        return;
    }
    const int width = int(std::lround(calData.targetWidth * scale));
    const int height = int(std::lround(calData.targetHeight * scale));
    const SDL_Rect rect{x - width / 2, y - height / 2, width, height};
    SDL_RenderCopy(renderer, calData.targetTexture, nullptr, &rect);
}

extern "C" {

void set_calibration_colors(const uint8_t *foreground, const uint8_t *background) {
    SDL_Color &foreground_color = windowLook.foregroundColor;
    SDL_Color &background_color = windowLook.backgroundColor;
    const bool foreground_changed = changes(foreground, foreground_color);
    const bool background_changed = changes(background, background_color);
    if (!foreground_changed && !background_changed) return;
    // The playback thread paints with these colours: it has ended before they change.
    SDL_Renderer *renderer = drawing_renderer();
    if (foreground_changed)
        foreground_color = SDL_Color{foreground[0], foreground[1], foreground[2], foreground[3]};
    if (background_changed)
        background_color = SDL_Color{background[0], background[1], background[2], background[3]};
    if (!window_open()) return;
    if (background_changed && !background_texture()) {
        const SDL_Color &bg = background_color;
        SDL_SetRenderDrawColor(renderer, bg.r, bg.g, bg.b, bg.a);
        SDL_RenderClear(renderer);
        SDL_RenderPresent(renderer);
    }
    if (calData.targetTexture && calData.customTarget == 0)
        paint_ring(calData.targetTexture, calData.outerRadius, calData.innerRadius);
}

void set_target_size(uint32_t size, uint32_t hole_size) {
    const int32_t outer = int32_t(((size & 0xFFFF) + 1) >> 1);
    const int32_t inner = int32_t(((hole_size & 0xFFFF) + 1) >> 1);
    // Any size call ends an animated target.
    end_animation_target();
    if (outer == calData.outerRadius && inner == calData.innerRadius) return;
    if (outer == 0) return;
    if (outer > kMaxOuterRadius) {
        core_log("set_target_size: a target of %u pixels is larger than %d and is refused; the "
                 "target keeps its size\n",
                 size & 0xFFFF, 2 * kMaxOuterRadius);
        return;
    }
    if (calData.customTarget) set_cal_target_surface(nullptr);
    calData.outerRadius = outer;
    calData.innerRadius = inner > outer ? 0 : inner;
    release_target();
    create_target_texture(calData.outerRadius, calData.innerRadius);
}

void set_cal_target_surface(SDL_Surface *image) {
    release_target();
    targetImage.reset();
    if (image) targetImage = copy_image(image, "set_cal_target_surface");
    if (!targetImage) {
        if (calData.customTarget) {
            calData.outerRadius = ringRadii.outer;
            calData.innerRadius = ringRadii.inner;
        }
        calData.customTarget = 0;
        return;
    }
    if (!calData.customTarget) ringRadii = {calData.outerRadius, calData.innerRadius};
    calData.customTarget = 1;
    calData.outerRadius = calData.innerRadius = std::min(image->w, image->h) / 2;
    create_image_target();
}

void set_cal_background_surface(SDL_Surface *image) {
    adopt_background_image(image ? copy_image(image, "set_cal_background_surface").release()
                                 : nullptr);
    background_texture();
}

void reset_background_surface(void) { set_cal_background_surface(nullptr); }

void disable_custombackground_on_imagemode(void) {
    calData.disableCustomBackgroundOnImageMode = 1;
}

}  // extern "C"
