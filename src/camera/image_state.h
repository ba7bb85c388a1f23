// ImageState: the camera image buffer, its palette, title, placement and zoom, shared by the
// camera hooks, the presentation, the status text and the key hook.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "camera/palette_conversion.h"
#include "vistrak_core_graphics_sdl2.h"

constexpr int kImageBufferWidth = 384;
constexpr int kImageBufferHeight = 320;
constexpr size_t kImageTitleSize = 152;

struct ImageState {
    int16_t imageWidth = 0;
    int16_t imageHeight = 0;
    CameraPalette palette;
    uint8_t *imagePixels = nullptr;
    SDL_Rect imageRect{};  // where the image was last drawn
    int32_t imagePitch = 0;
    int16_t requestedX = -1;
    int16_t requestedY = -1;
    int16_t requestedWidth = 0;
    int16_t requestedHeight = 0;
    char imageTitle[kImageTitleSize] = {};
    int32_t imageActive = 0;
    int32_t zoomStep = 0;
    SDL_Surface *imageSurface = nullptr;
    float textScale = 1.0f;
    MouseLocCallback mouseLocCallback = nullptr;
};

extern ImageState imageState;
