// The machine's memory, which bounds what a video target may hold.
#pragma once

#include <cstdint>

namespace platform {

// The machine's physical memory in bytes; 0 when the system does not say.
uint64_t physical_memory();

}  // namespace platform
