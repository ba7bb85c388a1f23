// Hands application surfaces to the core library: each export converts the surface to a
// 32-bit CoreBitmap, calls the core function of the same purpose and frees what it made.
#include "export/bitmap_handoff.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "export/surface_owner.h"
#include "vistrak_core64.h"

// The core library reads the record by offset.
static_assert(sizeof(CoreBitmap) == 32, "CoreBitmap is 32 bytes");
static_assert(offsetof(CoreBitmap, width) == 0, "CoreBitmap.width at 0");
static_assert(offsetof(CoreBitmap, height) == 4, "CoreBitmap.height at 4");
static_assert(offsetof(CoreBitmap, pitch) == 8, "CoreBitmap.pitch at 8");
static_assert(offsetof(CoreBitmap, depth) == 12, "CoreBitmap.depth at 12");
static_assert(offsetof(CoreBitmap, pixels) == 16, "CoreBitmap.pixels at 16");
static_assert(offsetof(CoreBitmap, reserved) == 24, "CoreBitmap.reserved at 24");

namespace {

constexpr size_t kReservedBytes = 32;

struct BitmapFree {
    void operator()(CoreBitmap *record) const { free_core_bitmap(record); }
};

// The core library counts these arguments in 16 bits: it gets the low half, zero-extended.
constexpr int32_t low16(int32_t value) { return static_cast<int32_t>(uint32_t(value) & 0xFFFFu); }

template <typename CoreCall>
int32_t hand_off(SDL_Surface *surface, CoreCall core_call) {
    // Declared first so that it is freed last: the record goes, then its pixels.
    SurfaceOwner converted_owner;
    SDL_Surface *converted = nullptr;
    std::unique_ptr<CoreBitmap, BitmapFree> record(surface_to_core_bitmap(surface, converted));
    converted_owner.reset(converted);
    // Never call the core with a record that describes no pixels.
    if (!record) return -1;
    return core_call(record.get());
}

}  // namespace

CoreBitmap *surface_to_core_bitmap(SDL_Surface *surface, SDL_Surface *&converted) {
    converted = nullptr;
    if (!surface) {
        core_log("surface_to_core_bitmap: no surface");
        return nullptr;
    }
    std::unique_ptr<CoreBitmap, BitmapFree> record(new (std::nothrow) CoreBitmap{});
    if (!record) return nullptr;
    record->reserved = new (std::nothrow) uint8_t[kReservedBytes]();
    // All masks 0: SDL's default 32-bit format, XRGB8888 (bytes blue, green, red, unused).
    SurfaceOwner copy(SDL_CreateRGBSurface(0, surface->w, surface->h, 32, 0, 0, 0, 0));
    if (!record->reserved || !copy) {
        core_log("surface_to_core_bitmap: cannot allocate a %dx%d bitmap: %s", surface->w,
                 surface->h, SDL_GetError());
        return nullptr;
    }
    if (!copy->pixels) {
        core_log("surface_to_core_bitmap: the surface is empty (%dx%d)", surface->w, surface->h);
        return nullptr;
    }
    if (SDL_UpperBlit(surface, nullptr, copy.get(), nullptr) != 0) {
        core_log("surface_to_core_bitmap: cannot convert the surface: %s", SDL_GetError());
        return nullptr;
    }
    record->width = copy->w;
    record->height = copy->h;
    record->pitch = copy->pitch;
    record->depth = copy->format->BitsPerPixel;
    record->pixels = copy->pixels;
    converted = copy.release();
    return record.release();
}

void free_core_bitmap(CoreBitmap *record) {
    if (!record) return;
    delete[] static_cast<uint8_t *>(record->reserved);
    delete record;
}

extern "C" {

int32_t sdl_bitmap_save_and_backdrop(SDL_Surface *surface, int32_t xs, int32_t ys, int32_t width,
                                     int32_t height, const char *fname, const char *path,
                                     int32_t sv_options, int32_t xd, int32_t yd,
                                     int32_t bx_options) {
    return hand_off(surface, [&](const CoreBitmap *record) {
        return core_bitmap_save_and_backdrop(record, low16(xs), low16(ys), low16(width),
                                             low16(height), fname, path, low16(sv_options),
                                             low16(xd), low16(yd), low16(bx_options));
    });
}

int32_t sdl_bitmap_to_backdrop(SDL_Surface *surface, int32_t xs, int32_t ys, int32_t width,
                               int32_t height, int32_t xd, int32_t yd, int32_t bx_options) {
    return hand_off(surface, [&](const CoreBitmap *record) {
        return core_bitmap_to_backdrop(record, low16(xs), low16(ys), low16(width),
                                       low16(height), low16(xd), low16(yd), low16(bx_options));
    });
}

int32_t sdl_bitmap_save(SDL_Surface *surface, int32_t xs, int32_t ys, int32_t width,
                        int32_t height, const char *fname, const char *path,
                        int32_t sv_options) {
    return hand_off(surface, [&](const CoreBitmap *record) {
        return core_bitmap_save(record, low16(xs), low16(ys), low16(width), low16(height), fname,
                                path, low16(sv_options));
    });
}

}  // extern "C"
