// PNG screenshots, image loading and the session index, all through libgd.
#include "demo_images.h"

#include <gd.h>
#include <gdfontl.h>
#include <gdfonts.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

namespace {

using GdImage = std::unique_ptr<gdImage, decltype(&gdImageDestroy)>;

GdImage gd_from_argb(const uint8_t *pixels, int width, int height, int pitch) {
    GdImage image(gdImageCreateTrueColor(width, height), gdImageDestroy);
    if (!image) return image;
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>(pixels + size_t(y) * size_t(pitch));
        for (int x = 0; x < width; ++x)
            gdImageSetPixel(
                image.get(), x, y,
                gdTrueColor((row[x] >> 16) & 0xFF, (row[x] >> 8) & 0xFF, row[x] & 0xFF));
    }
    return image;
}

std::string write_png(gdImagePtr image, const std::string &path) {
    if (!image) return "out of memory for " + path;
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) return "cannot create " + path;
    gdImagePng(image, file);
    const bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || failed) return "cannot write " + path;
    return "";
}

std::string html_escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

std::string write_html(const std::string &folder, const std::vector<Screenshot> &shots,
                       const std::string &report) {
    const std::string path = folder + "/index.html";
    std::ofstream html(path);
    html << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Vistrak demo "
            "session</title>\n<style>body{font-family:sans-serif;background:#222;color:#eee}"
            "figure{display:inline-block;margin:8px}img{width:480px;border:1px solid #555}"
            "pre{background:#333;padding:8px}</style></head><body>\n"
            "<h1>Vistrak demo session</h1>\n<pre>"
         << html_escaped(report) << "</pre>\n";
    for (const Screenshot &shot : shots)
        html << "<figure><a href=\"" << html_escaped(shot.file) << "\"><img src=\""
             << html_escaped(shot.file) << "\" alt=\"" << html_escaped(shot.caption)
             << "\"></a><figcaption>" << html_escaped(shot.caption) << "</figcaption></figure>\n";
    html << "</body></html>\n";
    html.close();
    return html ? "" : "cannot write " + path;
}

// Thumbnails of every screenshot in three columns, each with its caption.
std::string write_contact_sheet(const std::string &folder, const std::vector<Screenshot> &shots) {
    constexpr int kThumbWidth = 320, kColumns = 3, kGap = 12, kCaption = 18, kTitle = 36;
    int thumb_height = 240;
    std::vector<GdImage> images;
    for (const Screenshot &shot : shots) {
        images.emplace_back(gdImageCreateFromFile((folder + "/" + shot.file).c_str()),
                            gdImageDestroy);
        if (images.back() && images.size() == 1)
            thumb_height = kThumbWidth * gdImageSY(images.back().get()) /
                           std::max(1, gdImageSX(images.back().get()));
    }
    const int rows = std::max<int>(1, (int(shots.size()) + kColumns - 1) / kColumns);
    const int width = kColumns * (kThumbWidth + kGap) + kGap;
    const int height = kTitle + rows * (thumb_height + kCaption + kGap) + kGap;
    GdImage sheet(gdImageCreateTrueColor(width, height), gdImageDestroy);
    if (!sheet) return "out of memory for the contact sheet";
    gdImageFilledRectangle(sheet.get(), 0, 0, width - 1, height - 1, gdTrueColor(34, 34, 34));
    const int text = gdTrueColor(235, 235, 235);
    char title[] = "Vistrak demo session";
    gdImageString(sheet.get(), gdFontGetLarge(), kGap, 10, reinterpret_cast<unsigned char *>(title),
                  text);
    for (size_t i = 0; i < shots.size(); ++i) {
        const int x = kGap + int(i % kColumns) * (kThumbWidth + kGap);
        const int y = kTitle + int(i / kColumns) * (thumb_height + kCaption + kGap);
        if (images[i])
            gdImageCopyResampled(sheet.get(), images[i].get(), x, y, 0, 0, kThumbWidth,
                                 thumb_height, gdImageSX(images[i].get()),
                                 gdImageSY(images[i].get()));
        else
            gdImageRectangle(sheet.get(), x, y, x + kThumbWidth - 1, y + thumb_height - 1, text);
        std::string caption = shots[i].caption.substr(0, size_t(kThumbWidth / 6));
        gdImageString(sheet.get(), gdFontGetSmall(), x, y + thumb_height + 3,
                      reinterpret_cast<unsigned char *>(caption.data()), text);
    }
    return write_png(sheet.get(), folder + "/index.png");
}

}  // namespace

std::string save_argb_png(const uint32_t *pixels, int width, int height,
                          const std::string &path) {
    const GdImage image =
        gd_from_argb(reinterpret_cast<const uint8_t *>(pixels), width, height, width * 4);
    return write_png(image.get(), path);
}

SDL_Surface *load_image_surface(const std::string &path) {
    GdImage image(gdImageCreateFromFile(path.c_str()), gdImageDestroy);
    if (!image) return nullptr;
    if (!gdImageTrueColor(image.get())) gdImagePaletteToTrueColor(image.get());
    const int width = gdImageSX(image.get()), height = gdImageSY(image.get());
    SDL_Surface *surface =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return nullptr;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(surface->pixels) +
                                                 size_t(y) * size_t(surface->pitch));
        for (int x = 0; x < width; ++x) {
            const int c = gdImageGetTrueColorPixel(image.get(), x, y);
            // libgd's alpha runs from 0 (opaque) to 127 (transparent).
            const uint32_t alpha = uint32_t(255 - gdTrueColorGetAlpha(c) * 255 / 127);
            row[x] = alpha << 24 | uint32_t(gdTrueColorGetRed(c)) << 16 |
                     uint32_t(gdTrueColorGetGreen(c)) << 8 | uint32_t(gdTrueColorGetBlue(c));
        }
    }
    return surface;
}

std::string write_index(const std::string &folder, const std::vector<Screenshot> &shots,
                        const std::string &report) {
    const std::string html = write_html(folder, shots, report);
    const std::string sheet = write_contact_sheet(folder, shots);
    return html.empty() ? sheet : html;
}
