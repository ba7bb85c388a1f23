// The camera palette and the conversion of a line of palette indices into 0x00RRGGBB pixels.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// 256 entries, so that every index byte of a line is safe.
struct CameraPalette {
    std::array<uint32_t, 256> pixels{};  // 0x00RRGGBB

    void set(int index, uint8_t red, uint8_t green, uint8_t blue);
    void clear();
};

// Writes pixels[indices[x]] to row[x] for x below count.
void convert_palette_line(const CameraPalette &palette, const uint8_t *indices, int count,
                          uint32_t *row);
