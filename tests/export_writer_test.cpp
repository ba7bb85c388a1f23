// The screen-image writer: every file written is decoded again and compared pixel by pixel
// with an asymmetric picture, through libgd, through the BMP path without libgd, and through
// the stand-in core's screen save.
#include <gd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "export/gd_library.h"
#include "export/image_writer.h"
#include "test_support.h"
#include "test_system.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

// The entry points are called through these types: they must be libgd's own.
static_assert(
    std::is_same_v<decltype(GdLibrary::gdImageCreateTrueColor), decltype(&gdImageCreateTrueColor)>);
static_assert(
    std::is_same_v<decltype(GdLibrary::gdImageColorResolve), decltype(&gdImageColorResolve)>);
static_assert(std::is_same_v<decltype(GdLibrary::gdImageSetPixel), decltype(&gdImageSetPixel)>);
static_assert(std::is_same_v<decltype(GdLibrary::gdImageJpeg), decltype(&gdImageJpeg)>);
static_assert(std::is_same_v<decltype(GdLibrary::gdImagePng), decltype(&gdImagePng)>);
static_assert(
    std::is_same_v<decltype(GdLibrary::gdImageColorAllocate), decltype(&gdImageColorAllocate)>);
static_assert(std::is_same_v<decltype(GdLibrary::gdImageWBMP), decltype(&gdImageWBMP)>);
static_assert(std::is_same_v<decltype(GdLibrary::gdImageDestroy), decltype(&gdImageDestroy)>);
static_assert(std::is_same_v<decltype(GdLibrary::gdImageGif), decltype(&gdImageGif)>);

namespace {

namespace fs = std::filesystem;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream &operator<<(std::ostream &out, const Rgb &c) {
    return out << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// 4 x 3 blocks of 16 x 16 pixels (whole JPEG blocks), no two alike, red never equal to blue
// except in the black block: a red/blue swap, a flipped row or a mirrored column all show.
constexpr int kBlock = 16, kWidth = 4 * kBlock, kHeight = 3 * kBlock;
constexpr Rgb kBlocks[3][4] = {{{230, 20, 40}, {20, 200, 60}, {30, 40, 220}, {0, 0, 0}},
                               {{240, 160, 20}, {120, 30, 200}, {10, 120, 90}, {200, 190, 60}},
                               {{90, 60, 30}, {250, 130, 180}, {40, 80, 160}, {160, 250, 200}}};
Rgb pattern(int x, int y) { return kBlocks[y / kBlock][x / kBlock]; }

// A bitmap as the core library hands it: rows padded past the pixels with garbage, and a
// garbage fourth byte, neither of which is image.
struct Bitmap {
    std::vector<uint8_t> bytes;
    CoreBitmap record{};
};
Bitmap make_bitmap(int width, int height, int depth = 32, int padding = 12,
                   Rgb (*colour)(int, int) = pattern) {
    Bitmap bitmap;
    const int bytes_per_pixel = depth / 8;
    const int pitch = width * bytes_per_pixel + padding;
    bitmap.bytes.assign(size_t(pitch) * size_t(height), 0xA7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t *p = &bitmap.bytes[size_t(y) * pitch + size_t(x) * bytes_per_pixel];
            const Rgb c = colour(x, y);
            p[0] = uint8_t(c.b);
            if (depth < 24) continue;  // an index of some palette
            p[1] = uint8_t(c.g);
            p[2] = uint8_t(c.r);
            if (depth == 32) p[3] = 0x5C;
        }
    bitmap.record = CoreBitmap{width, height, pitch, depth, bitmap.bytes.data(), nullptr};
    return bitmap;
}

struct GdImageDeleter {
    void operator()(gdImagePtr image) const { gdImageDestroy(image); }
};
using GdPtr = std::unique_ptr<gdImage, GdImageDeleter>;

GdPtr decode(const std::string &path, gdImagePtr (*loader)(FILE *)) {
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    GdPtr image(loader(file));
    std::fclose(file);
    return image;
}
Rgb gd_pixel(gdImagePtr image, int x, int y) {
    const int c = gdImageGetTrueColorPixel(image, x, y);
    return {gdTrueColorGetRed(c), gdTrueColorGetGreen(c), gdTrueColorGetBlue(c)};
}

struct SurfaceDeleter {
    void operator()(SDL_Surface *surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// A BMP file read back as RGB24, with the bits per pixel it was stored at.
struct Bmp {
    SurfacePtr rgb;
    int stored_bits = 0;
    Rgb at(int x, int y) const {
        const auto *p = static_cast<const uint8_t *>(rgb->pixels) + y * rgb->pitch + x * 3;
        return {p[0], p[1], p[2]};
    }
};
Bmp load_bmp(const std::string &path) {
    Bmp bmp;
    SurfacePtr loaded(SDL_LoadBMP(path.c_str()));
    if (!loaded) return bmp;
    bmp.stored_bits = loaded->format->BitsPerPixel;
    bmp.rgb.reset(SDL_ConvertSurfaceFormat(loaded.get(), SDL_PIXELFORMAT_RGB24, 0));
    return bmp;
}

std::vector<uint8_t> file_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A save leaves nothing in its folder beside the files it was asked for.
std::vector<std::string> folder_entries(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int near(int a, int b) { return std::abs(a - b); }
void expect_near_pattern(const Rgb &got, const Rgb &want, int tolerance, int x, int y) {
    EXPECT_LE(near(got.r, want.r), tolerance) << got << " vs " << want << " at " << x << "," << y;
    EXPECT_LE(near(got.g, want.g), tolerance) << got << " vs " << want << " at " << x << "," << y;
    EXPECT_LE(near(got.b, want.b), tolerance) << got << " vs " << want << " at " << x << "," << y;
}

std::vector<std::string> alerts() {
    std::vector<std::string> all;
    for (size_t i = 0; i < standin_alert_count(); ++i) all.push_back(standin_alert(i));
    return all;
}

class GdWriter : public ::testing::Test {
protected:
    void SetUp() override {
        standin_reset();
        dir = vt_test::temp_dir();
        ASSERT_FALSE(dir.empty());
        load_gd();
        ASSERT_EQ(gd_state, 1) << "libgd must load on this machine";
    }
    std::string dir;
};

TEST_F(GdWriter, PngHoldsEveryPixelWithoutPaddingOrFourthByte) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string path = dir + "/screen.png";
    // An earlier image of the name is replaced.
    const Bitmap earlier = make_bitmap(8, 8, 32, 0, [](int, int) { return Rgb{1, 2, 3}; });
    ASSERT_EQ(image_writer(path.c_str(), 1, &earlier.record), 0);
    ASSERT_EQ(image_writer(path.c_str(), 1, &bitmap.record), 0);
    EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"screen.png"});
    const GdPtr image = decode(path, gdImageCreateFromPng);
    ASSERT_TRUE(image);
    ASSERT_EQ(gdImageSX(image.get()), kWidth);
    ASSERT_EQ(gdImageSY(image.get()), kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(gd_pixel(image.get(), x, y), pattern(x, y)) << x << "," << y;
    EXPECT_TRUE(alerts().empty());
}

TEST_F(GdWriter, ALinkToAnImageStaysALinkToTheNewImage) {
    const std::string path = dir + "/screen.png";
    const Bitmap earlier = make_bitmap(8, 8, 32, 0, [](int, int) { return Rgb{1, 2, 3}; });
    ASSERT_EQ(image_writer(path.c_str(), 1, &earlier.record), 0);
    const std::string link = dir + "/latest.png";
    std::error_code error;
    fs::create_symlink("screen.png", link, error);
    if (error) GTEST_SKIP() << "no symbolic links on this system: " << error.message();
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    ASSERT_EQ(image_writer(link.c_str(), 1, &bitmap.record), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(folder_entries(dir), (std::vector<std::string>{"latest.png", "screen.png"}));
    const GdPtr image = decode(path, gdImageCreateFromPng);
    ASSERT_TRUE(image);
    EXPECT_EQ(gdImageSX(image.get()), kWidth);
    EXPECT_TRUE(alerts().empty());
}

TEST_F(GdWriter, TwoByTwoBlueGreenRedBytesMakeARedImage) {
    uint8_t bytes[16];
    for (int i = 0; i < 4; ++i) {
        bytes[4 * i] = 0x00;
        bytes[4 * i + 1] = 0x00;
        bytes[4 * i + 2] = 0xFF;
        bytes[4 * i + 3] = 0x00;
    }
    const CoreBitmap record{2, 2, 8, 32, bytes, nullptr};
    const std::string path = dir + "/red.png";
    ASSERT_EQ(image_writer(path.c_str(), 1, &record), 0);
    const GdPtr image = decode(path, gdImageCreateFromPng);
    ASSERT_TRUE(image);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(gd_pixel(image.get(), x, y), (Rgb{255, 0, 0}));
}

// The quantisation tables of a JPEG: all ones at quality 100.
std::vector<int> jpeg_quant_values(const std::vector<uint8_t> &jpeg) {
    std::vector<int> values;
    for (size_t i = 2; i + 4 < jpeg.size();) {
        if (jpeg[i] != 0xFF) break;
        const int marker = jpeg[i + 1];
        const size_t length = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (marker == 0xDB)
            for (size_t t = i + 4; t + 65 <= i + 2 + length; t += 65)
                values.insert(values.end(), jpeg.begin() + long(t) + 1,
                              jpeg.begin() + long(t) + 65);
        if (marker == 0xDA) break;
        i += 2 + length;
    }
    return values;
}

TEST_F(GdWriter, FormatZeroAndUnknownCodesWriteJpegOfQuality100) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    for (int code : {0, 5, -1}) {
        SCOPED_TRACE(code);
        const std::string path = dir + "/screen" + std::to_string(code) + ".jpg";
        ASSERT_EQ(image_writer(path.c_str(), code, &bitmap.record), 0);
        const std::vector<uint8_t> jpeg = file_bytes(path);
        ASSERT_GT(jpeg.size(), 3u);
        EXPECT_EQ(jpeg[0], 0xFF);
        EXPECT_EQ(jpeg[1], 0xD8);
        const std::vector<int> quant = jpeg_quant_values(jpeg);
        ASSERT_FALSE(quant.empty());
        for (int q : quant) ASSERT_EQ(q, 1);
        const GdPtr image = decode(path, gdImageCreateFromJpeg);
        ASSERT_TRUE(image);
        for (int y = 0; y < kHeight; y += 5)
            for (int x = 0; x < kWidth; x += 5)
                expect_near_pattern(gd_pixel(image.get(), x, y), pattern(x, y), 6, x, y);
    }
}

TEST_F(GdWriter, GifThroughLibgdsEncoder) {
    ASSERT_NE(gd.gdImageGif, nullptr);
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string path = dir + "/screen.gif";
    ASSERT_EQ(image_writer(path.c_str(), 2, &bitmap.record), 0);
    const GdPtr image = decode(path, gdImageCreateFromGif);
    ASSERT_TRUE(image);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            expect_near_pattern(gd_pixel(image.get(), x, y), pattern(x, y), 4, x, y);
}

TEST_F(GdWriter, BmpCodeWritesWbmpWithBlackAsForeground) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string path = dir + "/screen.wbmp";
    ASSERT_EQ(image_writer(path.c_str(), 3, &bitmap.record), 0);
    const GdPtr image = decode(path, gdImageCreateFromWBMP);
    ASSERT_TRUE(image);
    ASSERT_EQ(gdImageSX(image.get()), kWidth);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const Rgb want = pattern(x, y) == Rgb{0, 0, 0} ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
            ASSERT_EQ(gd_pixel(image.get(), x, y), want) << x << "," << y;
        }
}

TEST_F(GdWriter, FormatsLibgdCannotWriteAreRefusedWithoutAFile) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string xpm = dir + "/screen.xpm";
    EXPECT_EQ(image_writer(xpm.c_str(), 4, &bitmap.record), -1);
    EXPECT_FALSE(fs::exists(xpm));

    // A libgd built without GIF output loses GIF alone.
    const auto gif_encoder = gd.gdImageGif;
    gd.gdImageGif = nullptr;
    const std::string gif = dir + "/screen.gif";
    EXPECT_EQ(image_writer(gif.c_str(), 2, &bitmap.record), -1);
    const std::string png = dir + "/screen.png";
    EXPECT_EQ(image_writer(png.c_str(), 1, &bitmap.record), 0);
    gd.gdImageGif = gif_encoder;
    EXPECT_FALSE(fs::exists(gif));
    EXPECT_TRUE(decode(png, gdImageCreateFromPng));

    EXPECT_EQ(alerts(), (std::vector<std::string>{
                            "XPM images cannot be written: " + xpm + " not written \n",
                            "GIF images cannot be written: " + gif + " not written \n"}));
}

TEST_F(GdWriter, ConversionFailuresAlertAndLeaveNoFile) {
    const Bitmap rgb24 = make_bitmap(kWidth, kHeight, 24);
    const std::string path24 = dir + "/deep.png";
    EXPECT_EQ(image_writer(path24.c_str(), 1, &rgb24.record), -1);
    EXPECT_FALSE(fs::exists(path24));

    // Too large for a libgd image: creation fails before any pixel is read.
    uint8_t few[64] = {};
    const CoreBitmap huge{50000, 50000, 200000, 32, few, nullptr};
    const std::string huge_path = dir + "/huge.png";
    EXPECT_EQ(image_writer(huge_path.c_str(), 1, &huge), -1);
    EXPECT_FALSE(fs::exists(huge_path));

    EXPECT_EQ(alerts(),
              (std::vector<std::string>{"Only 32 bit images are supported \n", "Out of memory"}));
}

TEST_F(GdWriter, UnwritablePathAlertsAndFails) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string path = dir + "/no/such/folder/screen.png";
    EXPECT_EQ(image_writer(path.c_str(), 1, &bitmap.record), -1);
    EXPECT_EQ(alerts(), std::vector<std::string>{"Could not open " + path + " for writing \n"});
}

TEST_F(GdWriter, FailedWritesReportFailureAndLeaveNoFile) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    // Wider than JPEG allows: the encoder gives up without writing.
    const Bitmap wide = make_bitmap(70000, 1, 32, 0, [](int x, int) { return Rgb{x % 256, 7, 9}; });
    const std::string wide_path = dir + "/wide.jpg";
    EXPECT_EQ(image_writer(wide_path.c_str(), 0, &wide.record), -1);
    EXPECT_FALSE(fs::exists(wide_path));

    // Over an earlier image of the same name, a failed save leaves that image as it was.
    const std::string kept = dir + "/kept.png";
    ASSERT_EQ(image_writer(kept.c_str(), 1, &bitmap.record), 0);
    const std::vector<uint8_t> earlier = file_bytes(kept);
    EXPECT_EQ(image_writer(kept.c_str(), 0, &wide.record), -1);
    EXPECT_EQ(file_bytes(kept), earlier);
    EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"kept.png"});

    EXPECT_EQ(alerts(), (std::vector<std::string>{"Could not write " + wide_path + " \n",
                                                  "Could not write " + kept + " \n"}));
}

TEST_F(GdWriter, WritesTheSystemCutsShortFailAndLeaveNoFile) {
    if (!vt_test::resource_limits_available()) GTEST_SKIP() << vt_test::kNoResourceLimits;
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string truncated = dir + "/truncated.png";
    vt_test::with_file_size_limit(
        40, [&] { EXPECT_EQ(image_writer(truncated.c_str(), 1, &bitmap.record), -1); });
    EXPECT_FALSE(fs::exists(truncated));

    EXPECT_EQ(image_writer("/dev/full", 0, &bitmap.record), -1);
    EXPECT_TRUE(fs::exists("/dev/full")) << "a device is never removed";
    EXPECT_EQ(image_writer("/dev/null", 1, &bitmap.record), 0);
    EXPECT_TRUE(fs::is_character_file("/dev/null")) << "a device is written in place";

    // Over an earlier image of the same name, a failed save leaves that image as it was.
    const std::string kept = dir + "/kept.png";
    ASSERT_EQ(image_writer(kept.c_str(), 1, &bitmap.record), 0);
    const std::vector<uint8_t> earlier = file_bytes(kept);
    vt_test::with_file_size_limit(
        40, [&] { EXPECT_EQ(image_writer(kept.c_str(), 2, &bitmap.record), -1); });
    EXPECT_EQ(file_bytes(kept), earlier);
    EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"kept.png"});

    EXPECT_EQ(alerts(), (std::vector<std::string>{"Could not write " + truncated + " \n",
                                                  "Could not write /dev/full \n",
                                                  "Could not write " + kept + " \n"}));
}

TEST_F(GdWriter, UnusableArgumentsAreRejected) {
    const Bitmap good = make_bitmap(4, 3);
    const std::string path = dir + "/bad.png";
    EXPECT_EQ(image_writer(nullptr, 1, &good.record), -1);
    EXPECT_EQ(image_writer(path.c_str(), 1, nullptr), -1);
    for (CoreBitmap bad : {CoreBitmap{4, 3, 28, 32, nullptr, nullptr},
                           CoreBitmap{0, 3, 28, 32, good.record.pixels, nullptr},
                           CoreBitmap{4, -3, 28, 32, good.record.pixels, nullptr},
                           CoreBitmap{4, 3, 15, 32, good.record.pixels, nullptr},
                           CoreBitmap{4, 3, -28, 32, good.record.pixels, nullptr},
                           CoreBitmap{4, 3, 28, 0, good.record.pixels, nullptr},
                           CoreBitmap{4, 3, 28, 64, good.record.pixels, nullptr}}) {
        SCOPED_TRACE(testing::Message() << bad.width << "x" << bad.height << " pitch " << bad.pitch
                                        << " depth " << bad.depth);
        EXPECT_EQ(image_writer(path.c_str(), 1, &bad), -1);
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(standin_log_matches("image_writer: "), 9u);
}

// Without libgd: the test names a library that does not exist.
class BmpFallback : public ::testing::Test {
protected:
    void SetUp() override {
        standin_reset();
        dir = vt_test::temp_dir();
        reset_gd("libvistrak-test-no-such-gd.so");
    }
    void TearDown() override { reset_gd(nullptr); }
    std::string dir;
};

TEST_F(BmpFallback, AnyFormatWritesABmpOfTheRawPixels) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string path = dir + "/screen.png";
    ASSERT_EQ(image_writer(path.c_str(), 1, &bitmap.record), 0);
    EXPECT_EQ(gd_state, -1);
    EXPECT_EQ(standin_log_matches("libvistrak-test-no-such-gd.so"), 1u);
    const Bmp bmp = load_bmp(path);
    ASSERT_TRUE(bmp.rgb);
    ASSERT_EQ(bmp.rgb->w, kWidth);
    ASSERT_EQ(bmp.rgb->h, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) ASSERT_EQ(bmp.at(x, y), pattern(x, y)) << x << "," << y;

    // The outcome is kept: no second attempt, GIF and XPM codes write BMPs too.
    for (int code : {2, 4}) {
        const std::string other = dir + "/screen" + std::to_string(code);
        ASSERT_EQ(image_writer(other.c_str(), code, &bitmap.record), 0);
        EXPECT_EQ(load_bmp(other).at(kWidth - 1, kHeight - 1), pattern(kWidth - 1, kHeight - 1));
    }
    EXPECT_EQ(standin_log_matches("libvistrak-test-no-such-gd.so"), 1u);
}

TEST_F(BmpFallback, TwentyFourBitBitmapBecomesATwentyFourBitBmp) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight, 24, 5);
    const std::string path = dir + "/screen.bmp";
    ASSERT_EQ(image_writer(path.c_str(), 0, &bitmap.record), 0);
    const Bmp bmp = load_bmp(path);
    ASSERT_TRUE(bmp.rgb);
    EXPECT_EQ(bmp.stored_bits, 24);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) ASSERT_EQ(bmp.at(x, y), pattern(x, y)) << x << "," << y;
}

TEST_F(BmpFallback, FailuresReportFailureAndLeaveNoFile) {
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string unwritable = dir + "/no/such/folder/screen.bmp";
    EXPECT_EQ(image_writer(unwritable.c_str(), 1, &bitmap.record), -1);

    // An 8-bit bitmap carries no palette to write it with.
    const Bitmap indexed = make_bitmap(8, 8, 8);
    const std::string indexed_path = dir + "/indexed.bmp";
    EXPECT_EQ(image_writer(indexed_path.c_str(), 1, &indexed.record), -1);
    EXPECT_FALSE(fs::exists(indexed_path));
    EXPECT_EQ(alerts(),
              std::vector<std::string>{"Could not open " + unwritable + " for writing \n"});
}

TEST_F(BmpFallback, WritesTheSystemCutsShortFailAndLeaveNoFile) {
    if (!vt_test::resource_limits_available()) GTEST_SKIP() << vt_test::kNoResourceLimits;
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    const std::string truncated = dir + "/truncated.bmp";
    vt_test::with_file_size_limit(
        40, [&] { EXPECT_EQ(image_writer(truncated.c_str(), 1, &bitmap.record), -1); });
    EXPECT_FALSE(fs::exists(truncated));

    // Over an earlier image of the same name, a failed save leaves that image as it was.
    const std::string kept = dir + "/kept.bmp";
    ASSERT_EQ(image_writer(kept.c_str(), 1, &bitmap.record), 0);
    const std::vector<uint8_t> earlier = file_bytes(kept);
    vt_test::with_file_size_limit(
        40, [&] { EXPECT_EQ(image_writer(kept.c_str(), 1, &bitmap.record), -1); });
    EXPECT_EQ(file_bytes(kept), earlier);
    EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"kept.bmp"});

    EXPECT_EQ(alerts(), (std::vector<std::string>{"Could not write " + truncated + " \n",
                                                  "Could not write " + kept + " \n"}));
}

// The stand-in core saves a screen through the writer the window installed, as the tracker
// core does; an application surface handed over with sdl_bitmap_save takes the same path.
TEST(CoreScreenSave, SavesTheRegionThroughTheInstalledWriter) {
    vt_test::ensure_window();
    standin_reset();
    ASSERT_EQ(standin_image_writer(), &image_writer);
    const std::string dir = vt_test::temp_dir();
    const Bitmap bitmap = make_bitmap(kWidth, kHeight);
    // The right half of the middle block row.
    ASSERT_EQ(core_bitmap_save(&bitmap.record, 32, 16, 32, 16, "region.png", dir.c_str(), 1), 0);
    const GdPtr image = decode(dir + "/region.png", gdImageCreateFromPng);
    ASSERT_TRUE(image);
    ASSERT_EQ(gdImageSX(image.get()), 32);
    ASSERT_EQ(gdImageSY(image.get()), 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(gd_pixel(image.get(), x, y), pattern(32 + x, 16 + y)) << x << "," << y;

    standin_set_bitmap_result(7);
    EXPECT_EQ(core_bitmap_save(&bitmap.record, 0, 0, 0, 0, "x.png", "/no/such/folder", 1), -1);
    EXPECT_EQ(core_bitmap_save(&bitmap.record, 0, 0, 0, 0, "whole.png", dir.c_str(), 1), 7);
}

TEST(CoreScreenSave, ApplicationSurfaceReachesTheFileUnchanged) {
    vt_test::ensure_window();
    standin_reset();
    const std::string dir = vt_test::temp_dir();
    SurfacePtr surface(
        SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 24, SDL_PIXELFORMAT_RGB24));
    ASSERT_TRUE(surface);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            auto *p = static_cast<uint8_t *>(surface->pixels) + y * surface->pitch + x * 3;
            const Rgb c = pattern(x, y);
            p[0] = uint8_t(c.r);
            p[1] = uint8_t(c.g);
            p[2] = uint8_t(c.b);
        }
    // Format code 2^16 + 1 arrives as 1: PNG.
    ASSERT_EQ(sdl_bitmap_save(surface.get(), 0, 0, 0, 0, "app", dir.c_str(), 65536 + 1), 0);
    const GdPtr image = decode(dir + "/app", gdImageCreateFromPng);
    ASSERT_TRUE(image);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(gd_pixel(image.get(), x, y), pattern(x, y)) << x << "," << y;
}

}  // namespace
