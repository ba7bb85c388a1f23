// Writes the core library's screen images: PNG, JPEG, GIF or WBMP through libgd when it can be
// loaded, otherwise a BMP of the raw pixels through SDL. An image goes to a new file beside the
// target that replaces it only once written completely: a result of 0 always means a whole
// image file, and a failed save leaves an earlier file of the same name as it was.
#include "export/image_writer.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "export/gd_library.h"
#include "export/surface_owner.h"
#include "platform/file_paths.h"
#include "platform/temp_folder.h"
#include "vistrak_core64.h"

namespace {

namespace fs = std::filesystem;

enum class ImageFormat { Jpeg, Png, Gif, Bmp, Xpm };

ImageFormat format_for_code(int32_t code) {
    switch (code) {
    case 1: return ImageFormat::Png;
    case 2: return ImageFormat::Gif;
    case 3: return ImageFormat::Bmp;
    case 4: return ImageFormat::Xpm;
    default: return ImageFormat::Jpeg;
    }
}

const char *format_name(ImageFormat format) {
    switch (format) {
    case ImageFormat::Png: return "PNG";
    case ImageFormat::Gif: return "GIF";
    case ImageFormat::Bmp: return "BMP";
    case ImageFormat::Xpm: return "XPM";
    case ImageFormat::Jpeg: break;
    }
    return "JPEG";
}

struct GdImageFree {
    void operator()(gdImageStruct *image) const { gd.gdImageDestroy(image); }
};
using GdImage = std::unique_ptr<gdImageStruct, GdImageFree>;

// The record must describe height rows of at least width pixels of depth bits each.
bool bitmap_usable(const CoreBitmap *bitmap) {
    if (!bitmap) {
        core_log("image_writer: no bitmap");
        return false;
    }
    const int64_t row_bytes = (int64_t(bitmap->width) * bitmap->depth + 7) / 8;
    if (bitmap->pixels && bitmap->width > 0 && bitmap->height > 0 && bitmap->depth > 0 &&
        bitmap->depth <= 32 && bitmap->pitch >= row_bytes)
        return true;
    core_log("image_writer: unusable bitmap: %dx%d, pitch %d, depth %d, pixels %p",
             bitmap->width, bitmap->height, bitmap->pitch, bitmap->depth, bitmap->pixels);
    return false;
}

// Where an image's bytes go: a new file beside the target, or the target itself when that is
// no file (a device named as path), which is then never replaced or removed.
struct Output {
    FILE *file = nullptr;
    fs::path target;  // links resolved, so that a link keeps naming the file it named
    fs::path part;    // the new file; empty when the target itself is written
};

// A file beside target that no other save, in this process or another, has open: the name
// holds the process and a count, and the file is created only where none exists.
FILE *create_beside(const fs::path &target, fs::path &created) {
    static unsigned long count = 0;
    for (;;) {
        created = target;
        created.replace_filename(".vistrak-" + std::to_string(platform::process_id()) + "-" +
                                 std::to_string(count++) + ".part");
        errno = 0;
        FILE *file = platform::open_file(created.u8string(), "wbx");
        if (file || errno != EEXIST) return file;
    }
}

// An existing file is replaced only where it could be written in place: opening it to append
// tells that without changing it.
bool writable_in_place(const std::string &path) {
    FILE *file = platform::open_file(path, "ab");
    return file && std::fclose(file) == 0;
}

bool open_output(const char *path, Output &output) {
    const std::string file_path = platform::utf8_path(path);
    const fs::path given = fs::u8path(file_path);
    std::error_code error;
    output.target = fs::canonical(given, error);
    if (error) output.target = given;  // nothing there yet
    const fs::file_status status = fs::status(output.target, error);
    const bool exists = fs::exists(status);
    if (!output.target.has_filename() || (exists && !fs::is_regular_file(status)))
        output.file = platform::open_file(file_path, "wb");
    else if (!exists || writable_in_place(file_path))
        output.file = create_beside(output.target, output.part);
    if (!output.file) core_alert("Could not open %s for writing \n", path);
    return output.file != nullptr;
}

// The new file takes the place of the target, with the access rights of the file it replaces.
bool replace_target(const Output &output) {
    std::error_code error;
    const fs::file_status replaced = fs::status(output.target, error);
    if (fs::is_regular_file(replaced))
        fs::permissions(output.part, replaced.permissions(), error);
    std::string reason;
    if (platform::replace_file(output.part.u8string(), output.target.u8string(), reason))
        return true;
    core_log("image_writer: %s cannot be replaced (another program may hold it open): %s",
             output.target.u8string().c_str(), reason.c_str());
    return false;
}

// Closes the output and, when the encoder succeeded and every byte reached the file, puts the
// image in place. Otherwise fails, removing the new file.
int32_t finish_output(const Output &output, const char *path, bool encoded) {
    const bool written = encoded && std::ftell(output.file) != 0 && !std::ferror(output.file);
    const bool closed = std::fclose(output.file) == 0;
    const bool direct = output.part.empty();
    if (written && closed && (direct || replace_target(output))) return 0;
    core_alert("Could not write %s \n", path);
    if (!direct) platform::delete_file(output.part.u8string());
    return -1;
}

GdImage bitmap_to_gd_image(const CoreBitmap &bitmap) {
    if (bitmap.depth != 32) {
        core_alert("Only 32 bit images are supported \n");
        return nullptr;
    }
    GdImage image(gd.gdImageCreateTrueColor(bitmap.width, bitmap.height));
    if (!image) {
        core_alert("Out of memory");
        return nullptr;
    }
    // Pixel bytes blue, green, red, unused; a row's padding up to pitch is not image.
    const auto *row = static_cast<const uint8_t *>(bitmap.pixels);
    for (int y = 0; y < bitmap.height; ++y, row += bitmap.pitch) {
        for (int x = 0; x < bitmap.width; ++x) {
            const uint8_t *pixel = row + 4 * x;
            gd.gdImageSetPixel(image.get(), x, y,
                               gd.gdImageColorResolve(image.get(), pixel[2], pixel[1], pixel[0]));
        }
    }
    return image;
}

using GdEncoder = void (*)(gdImageStruct *image, FILE *out);

// libgd's encoder for the format; null when libgd cannot write it.
GdEncoder gd_encoder(ImageFormat format) {
    switch (format) {
    case ImageFormat::Png: return gd.gdImagePng;
    case ImageFormat::Gif: return gd.gdImageGif;
    case ImageFormat::Bmp:
        return [](gdImageStruct *image, FILE *out) {
            gd.gdImageWBMP(image, gd.gdImageColorAllocate(image, 0, 0, 0), out);
        };
    case ImageFormat::Jpeg:
        return [](gdImageStruct *image, FILE *out) { gd.gdImageJpeg(image, out, 100); };
    case ImageFormat::Xpm: break;  // libgd reads XPM but has no encoder for it
    }
    return nullptr;
}

int32_t write_gd_image(gdImageStruct *image, const char *path, ImageFormat format) {
    const GdEncoder encode = gd_encoder(format);
    // Refused before the file is opened, so that no empty file stands for an image.
    if (!encode) {
        core_alert("%s images cannot be written: %s not written \n", format_name(format), path);
        return -1;
    }
    Output output;
    if (!open_output(path, output)) return -1;
    encode(image, output.file);
    return finish_output(output, path, true);
}

// Without libgd: the raw pixels as a BMP, whatever format was asked for. Depths below 15
// would need a palette, which a CoreBitmap does not carry.
int32_t write_bmp(const char *path, const CoreBitmap &bitmap) {
    if (bitmap.depth != 15 && bitmap.depth != 16 && bitmap.depth != 24 && bitmap.depth != 32) {
        core_log("image_writer: %d-bit bitmaps cannot be written as BMP", bitmap.depth);
        return -1;
    }
    // Masks 0: SDL's default layout for the depth (32: XRGB8888, 24: bytes blue, green, red).
    SurfaceOwner surface(SDL_CreateRGBSurfaceFrom(bitmap.pixels, bitmap.width, bitmap.height,
                                                  bitmap.depth, bitmap.pitch, 0, 0, 0, 0));
    if (!surface) {
        core_log("image_writer: cannot describe the bitmap to SDL: %s", SDL_GetError());
        return -1;
    }
    Output output;
    if (!open_output(path, output)) return -1;
    SDL_RWops *stream = SDL_RWFromFP(output.file, SDL_FALSE);  // the file stays ours to close
    const bool saved = stream && SDL_SaveBMP_RW(surface.get(), stream, 1) == 0;
    if (!saved) core_log("image_writer: cannot write %s as BMP: %s", path, SDL_GetError());
    return finish_output(output, path, saved);
}

}  // namespace

int32_t image_writer(const char *path, int32_t format, const CoreBitmap *bitmap) {
    if (!path) {
        core_log("image_writer: no path");
        return -1;
    }
    if (!bitmap_usable(bitmap)) return -1;
    load_gd();
    if (gd_state != 1) return write_bmp(path, *bitmap);
    // A conversion failure has shown its alert; no file is created.
    const GdImage image = bitmap_to_gd_image(*bitmap);
    return image ? write_gd_image(image.get(), path, format_for_code(format)) : -1;
}
