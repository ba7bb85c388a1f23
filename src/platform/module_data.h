// Raw data built into the library's own module (the resources of a Windows module), found by
// their numeric id.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// The library's two fonts: the regular and the bold Open Sans face.
constexpr int kOpenSansRegularId = 103;
constexpr int kOpenSansBoldId = 104;

struct ModuleData {
    const uint8_t *bytes = nullptr;
    size_t size = 0;
};

// Finds the data stored under id; false when the module holds none under that id.
bool find_module_data(int id, ModuleData &data);

}  // namespace platform
