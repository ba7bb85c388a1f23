// The camera palette and the conversion of a line of palette indices into 0x00RRGGBB pixels.
#pragma once

#include <array>
#include <cstdint>

// 256 entries, so that every index byte of a line is safe. Each colour is kept twice: as the
// pixel it becomes, and byte by byte in one table per channel, the form in which processors
// with 64-byte permutes look up 64 indices at a time.
struct CameraPalette {
    std::array<uint32_t, 256> pixels{};  // 0x00RRGGBB
    alignas(64) std::array<std::array<uint8_t, 256>, 3> channels{};  // blue, green, red

    void set(int index, uint8_t red, uint8_t green, uint8_t blue);
    void clear();
};

// Writes pixels[indices[x]] to row[x] for x below count.
void convert_palette_line(const CameraPalette &palette, const uint8_t *indices, int count,
                          uint32_t *row);
