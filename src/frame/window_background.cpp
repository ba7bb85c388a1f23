// The window's colours and background painter. The background image's texture belongs to the
// current renderer and is made again from the kept image for the next one.
#include "frame/window_background.h"

#include "export/surface_owner.h"
#include "frame/expt_window.h"
#include "vistrak_core64.h"

WindowLook windowLook;

namespace {

SurfaceOwner backgroundImage;

}  // namespace

int drawBackground() {
    SDL_Renderer *renderer = drawing_renderer();
    core_log("drawBackground \n");
    const SDL_Color &bg = windowLook.backgroundColor;
    int status = SDL_SetRenderDrawColor(renderer, bg.r, bg.g, bg.b, 255);
    if (status != 0) {
        core_log("drawBackground SDL_SetRenderDrawColor failed. error='%s'\n", SDL_GetError());
    } else {
        status = SDL_RenderClear(renderer);
        if (status != 0)
            core_log("drawBackground SDL_RenderFillRect failed. error='%s'\n", SDL_GetError());
        status = SDL_RenderFillRect(renderer, nullptr);
        if (status != 0)
            core_log("drawBackground SDL_RenderFillRect failed. error='%s'\n", SDL_GetError());
    }
    SDL_Texture *background = background_texture();
    if (background && core_display_flags() != VT_DISPLAY_IMAGE_FULL_SCREEN) {
        status = SDL_RenderCopy(renderer, background, nullptr, nullptr);
        if (status != 0)
            core_log("drawBackground SDL_RenderCopy failed. error='%s'\n", SDL_GetError());
    }
    return status;
}

void adopt_background_image(SDL_Surface *image) {
    release_background();
    backgroundImage.reset(image);
}

SDL_Texture *background_texture() {
    SDL_Texture *&texture = windowLook.backgroundTexture;
    if (!texture && backgroundImage && window_open()) {
        texture = SDL_CreateTextureFromSurface(drawing_renderer(), backgroundImage.get());
        if (!texture) {
            // Dropped rather than retried on every frame.
            core_log("set_cal_background_surface: the background image cannot be drawn and is "
                     "dropped. error='%s'\n",
                     SDL_GetError());
            backgroundImage.reset();
        }
    }
    return texture;
}

void release_background() {
    take_renderer();  // the playback thread paints the background image
    release_background_texture();
    backgroundImage.reset();
}

void release_background_texture() {
    if (!windowLook.backgroundTexture) return;
    take_renderer();
    SDL_DestroyTexture(windowLook.backgroundTexture);
    windowLook.backgroundTexture = nullptr;
}
