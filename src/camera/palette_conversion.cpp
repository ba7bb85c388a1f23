// A camera frame is 320 lines of 384 indices, up to 250 times a second. Looked up one by one
// they cost about a cycle per pixel, a few per cent of the whole frame; where the processor
// permutes bytes across 64-byte registers (AVX-512 VBMI), 64 indices are looked up in each of
// the three channel tables at once, about four times faster. The choice is made once, from
// what the processor and the operating system support.
#include "camera/palette_conversion.h"

#include <immintrin.h>

void CameraPalette::set(int index, uint8_t red, uint8_t green, uint8_t blue) {
    pixels[size_t(index)] = (uint32_t(red) << 16) | (uint32_t(green) << 8) | blue;
    channels[0][size_t(index)] = blue;
    channels[1][size_t(index)] = green;
    channels[2][size_t(index)] = red;
}

void CameraPalette::clear() { *this = CameraPalette{}; }

namespace {

using Converter = void (*)(const CameraPalette &, const uint8_t *, int, uint32_t *);

void convert_each(const CameraPalette &palette, const uint8_t *indices, int count,
                  uint32_t *row) {
    for (int x = 0; x < count; ++x) row[x] = palette.pixels[indices[x]];
}

// One colour channel's 256-byte table, held in four registers while a line is converted.
struct ChannelTable {
    __m512i quarters[4];
};

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline ChannelTable table_of(
    const std::array<uint8_t, 256> &channel) {
    const uint8_t *bytes = channel.data();
    return {{_mm512_load_si512(bytes), _mm512_load_si512(bytes + 64),
             _mm512_load_si512(bytes + 128), _mm512_load_si512(bytes + 192)}};
}

// One channel of 64 indices: the low seven bits pick from the table's two halves, the top bit
// chooses between them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i channel_of(
    const ChannelTable &table, __m512i indices, __mmask64 upper_half) {
    const __m512i lower = _mm512_permutex2var_epi8(table.quarters[0], indices, table.quarters[1]);
    const __m512i upper = _mm512_permutex2var_epi8(table.quarters[2], indices, table.quarters[3]);
    return _mm512_mask_blend_epi8(upper_half, lower, upper);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void convert_by_permutes(
    const CameraPalette &palette, const uint8_t *indices, int count, uint32_t *row) {
    // The unpacks below interleave within each 16-byte lane: the indices are first put in the
    // order that leaves the 64 pixels of the four stores in line order.
    const __m512i lane_order = _mm512_set_epi32(
        0x3f3e3d3c, 0x2f2e2d2c, 0x1f1e1d1c, 0x0f0e0d0c, 0x3b3a3938, 0x2b2a2928, 0x1b1a1918,
        0x0b0a0908, 0x37363534, 0x27262524, 0x17161514, 0x07060504, 0x33323130, 0x23222120,
        0x13121110, 0x03020100);
    const __m512i zero = _mm512_setzero_si512();
    const ChannelTable blues = table_of(palette.channels[0]);
    const ChannelTable greens = table_of(palette.channels[1]);
    const ChannelTable reds = table_of(palette.channels[2]);
    int x = 0;
    for (; x + 64 <= count; x += 64) {
        // The zero-masked form: the plain one makes GCC 12 warn of an undefined input.
        const __m512i at = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, lane_order,
                                                         _mm512_loadu_si512(indices + x));
        const __mmask64 upper_half = _mm512_movepi8_mask(at);
        const __m512i blue = channel_of(blues, at, upper_half);
        const __m512i green = channel_of(greens, at, upper_half);
        const __m512i red = channel_of(reds, at, upper_half);
        const __m512i blue_green_low = _mm512_unpacklo_epi8(blue, green);
        const __m512i blue_green_high = _mm512_unpackhi_epi8(blue, green);
        const __m512i red_low = _mm512_unpacklo_epi8(red, zero);
        const __m512i red_high = _mm512_unpackhi_epi8(red, zero);
        _mm512_storeu_si512(row + x, _mm512_unpacklo_epi16(blue_green_low, red_low));
        _mm512_storeu_si512(row + x + 16, _mm512_unpackhi_epi16(blue_green_low, red_low));
        _mm512_storeu_si512(row + x + 32, _mm512_unpacklo_epi16(blue_green_high, red_high));
        _mm512_storeu_si512(row + x + 48, _mm512_unpackhi_epi16(blue_green_high, red_high));
    }
    convert_each(palette, indices + x, count - x, row + x);
}

Converter chosen_converter() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi"))
        return convert_by_permutes;
    return convert_each;
}

}  // namespace

void convert_palette_line(const CameraPalette &palette, const uint8_t *indices, int count,
                          uint32_t *row) {
    static const Converter convert = chosen_converter();
    convert(palette, indices, count, row);
}
