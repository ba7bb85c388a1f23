// The present hook on Linux: the program's own SDL_RenderPresent comes before SDL's for every
// library it loads, the graphics library among them, and passes each call on to SDL's.
#include <dlfcn.h>

#include "presented_frames.h"

namespace {

using Present = void (*)(SDL_Renderer *);

Present sdl_present() {
    static const Present present =
        reinterpret_cast<Present>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
    return present;
}

}  // namespace

extern "C" void SDL_RenderPresent(SDL_Renderer *renderer) {
    keep_frame(renderer);
    if (const Present present = sdl_present()) present(renderer);
}

std::string hook_presents() {
    return sdl_present() ? "" : std::string("SDL's SDL_RenderPresent cannot be found: ") +
                                    dlerror();
}
