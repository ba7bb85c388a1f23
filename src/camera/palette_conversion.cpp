// The camera palette: each index of a line is looked up on its own.
#include "camera/palette_conversion.h"

void CameraPalette::set(int index, uint8_t red, uint8_t green, uint8_t blue) {
    pixels[size_t(index)] = (uint32_t(red) << 16) | (uint32_t(green) << 8) | blue;
}

void CameraPalette::clear() { *this = CameraPalette{}; }

void convert_palette_line(const CameraPalette &palette, const uint8_t *indices, int count,
                          uint32_t *row) {
    for (int x = 0; x < count; ++x) row[x] = palette.pixels[indices[x]];
}
