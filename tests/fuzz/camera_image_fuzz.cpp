// libFuzzer harness for the camera image hooks: the input is a sequence of core library calls
// with arbitrary values — begin and end, palettes of any count, lines of any width, number and
// total (the last line presents the frame), titles, image positions, zoom steps, display flags
// and the overlay the core draws through the context's callbacks — on an experiment window of
// SDL's dummy driver. Every array handed over has exactly the size the call announces.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "camera/image_state.h"
#include "frame/display_hooks.h"
#include "frame/embedded_fonts.h"
#include "platform/library_entry.h"
#include "fuzz_check.h"
#include "fuzz_support.h"
#include "headless.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

// A palette index array, line or title of exactly count bytes (none for a count below 1).
std::vector<uint8_t> bytes_of(FuzzedDataProvider &input, int count) {
    std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(size_t(count > 0 ? count : 0));
    bytes.resize(size_t(count > 0 ? count : 0));
    bytes.shrink_to_fit();
    return bytes;
}

// Mostly values near the buffer's size, sometimes any 16-bit value.
int16_t size_value(FuzzedDataProvider &input) {
    return input.ConsumeBool() ? input.ConsumeIntegral<int16_t>()
                               : input.ConsumeIntegralInRange<int16_t>(-2, 400);
}

void palette(FuzzedDataProvider &input) {
    const int16_t count = input.ConsumeBool() ? input.ConsumeIntegral<int16_t>()
                                              : input.ConsumeIntegralInRange<int16_t>(-1, 300);
    std::vector<uint8_t> red = bytes_of(input, count), green = bytes_of(input, count),
                         blue = bytes_of(input, count);
    const std::array<uint32_t, 256> before = imageState.palette.pixels;
    if (input.ConsumeIntegralInRange(0, 15) == 0) {
        palette_hook(count, nullptr, green.data(), blue.data());
        check(imageState.palette.pixels == before);
        return;
    }
    palette_hook(count, red.data(), green.data(), blue.data());
    // Entries from count on keep their values.
    for (size_t i = 0; i < before.size(); ++i) {
        const uint32_t sent = i < red.size() ? uint32_t(red[i]) << 16 | uint32_t(green[i]) << 8 |
                                                   blue[i]
                                             : before[i];
        check(imageState.palette.pixels[i] == sent);
    }
}

void line(FuzzedDataProvider &input) {
    const int16_t width = size_value(input), number = size_value(input);
    const int16_t total = input.ConsumeBool() ? number : size_value(input);
    const std::vector<uint8_t> indices = bytes_of(input, width);
    const bool none = input.ConsumeIntegralInRange(0, 15) == 0;
    image_line_hook(width, number, total, none ? nullptr : indices.data());
    // A line inside the buffer holds its pixels through the palette, as far as the buffer
    // reaches.
    if (none || !imageState.imagePixels || number < 1 || number > kImageBufferHeight) return;
    const auto *row = reinterpret_cast<const uint32_t *>(
        imageState.imagePixels + size_t(number - 1) * size_t(imageState.imagePitch));
    for (int x = 0; x < std::min<int>(width, kImageBufferWidth); ++x)
        check(row[x] == imageState.palette.pixels[indices[size_t(x)]]);
}

void title(FuzzedDataProvider &input) {
    if (input.ConsumeIntegralInRange(0, 15) == 0) {
        image_title_hook(0, nullptr);
        return;
    }
    const std::string text = input.ConsumeRandomLengthString(400);
    image_title_hook(input.ConsumeIntegral<int32_t>(), text.c_str());
}

void overlay(FuzzedDataProvider &input) {
    std::vector<StandinOverlayOp> ops(input.ConsumeIntegralInRange<size_t>(0, 6));
    for (StandinOverlayOp &op : ops) {
        op.kind = StandinOverlayKind(input.ConsumeIntegralInRange(1, 3));
        const bool near = input.ConsumeBool();
        for (int32_t *value : {&op.a, &op.b, &op.c, &op.d})
            *value = near ? input.ConsumeIntegralInRange(-50, 800) : input.ConsumeIntegral<int32_t>();
        op.colour = input.ConsumeIntegralInRange(-1, 9);
    }
    standin_set_overlay_script(ops.data(), ops.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_support::drop_standard_output();
    vt_test::use_headless_drivers_without_display();
    // The library's load step, which an archive of its objects does not run: the built-in fonts
    // serve the status text.
    library_loaded();
    std::atexit([] { remove_embedded_fonts(true); });
    DisplayInfo info{};
    check(init_expt_window(nullptr, &info) == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    // Every input starts from the state at load: no image shown, nothing recorded.
    standin_reset();
    imageState.palette.clear();
    set_camera_image_position(-1, -1, 0, 0);
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 8)) {
        case 0: check(begin_image_hook() <= 1); break;
        case 1: palette(input); break;
        case 2: line(input); break;
        case 3: title(input); break;
        case 4: {
            const bool near = input.ConsumeBool();
            int32_t v[4];
            for (int32_t &value : v)
                value = near ? input.ConsumeIntegralInRange(-2, 1200) : input.ConsumeIntegral<int32_t>();
            check(set_camera_image_position(v[0], v[1], v[2], v[3]) == 0);
            break;
        }
        case 5: imageState.zoomStep = input.ConsumeIntegralInRange(0, 4); break;  // the 'z' key
        case 6: standin_set_display_flags(input.ConsumeIntegral<uint16_t>()); break;
        case 7: overlay(input); break;
        case 8: end_image_hook(); break;
        }
        check(std::memchr(imageState.imageTitle, '\0', kImageTitleSize) != nullptr);
    }
    end_image_hook();
    check(imageState.imageSurface == nullptr && imageState.imageActive == 0);
    return 0;
}
