// Owner of an SDL surface that lives only within a call: freed on every return path.
#pragma once

#include <SDL.h>

#include <memory>

struct SurfaceFree {
    void operator()(SDL_Surface *surface) const { SDL_FreeSurface(surface); }
};
using SurfaceOwner = std::unique_ptr<SDL_Surface, SurfaceFree>;
