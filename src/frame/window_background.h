// The window's colours and background: the foreground colour the target and the texts are
// drawn in, the background colour, the application's background image, and the painter that
// fills the window with them.
#pragma once

#include <SDL.h>

struct WindowLook {
    SDL_Color foregroundColor{0, 0, 0, 255};
    SDL_Color backgroundColor{180, 180, 180, 255};
    SDL_Texture *backgroundTexture = nullptr;  // the background image's, in the current renderer
};
extern WindowLook windowLook;

// Fills the render target with the background colour, then the background image stretched over
// it, unless the core library shows the camera image full screen.
int drawBackground();

// Takes image (a private copy) as the background image, in place of any before; null drops it.
void adopt_background_image(SDL_Surface *image);
// The background image's texture for the current renderer, made from the image when needed;
// null when there is no image or no window.
SDL_Texture *background_texture();
// Drops the background image and its texture.
void release_background();
// Destroys the texture only, before the renderer goes: the image stays for the next one.
void release_background_texture();
