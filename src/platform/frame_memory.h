// Memory for a video's decoded frames: one reservation of address space that frames are taken
// from in order and that is given back whole. Pages come into use only as frames are written,
// so a reservation sized for the longest video costs what the frames take. On Linux the
// reservation asks for transparent huge pages: hundreds of megabytes of frames then come into
// use in a few hundred page faults instead of tens of thousands.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct FrameMemory;

// Reserves bytes of address space; null when it cannot.
FrameMemory *frame_memory_reserve(size_t bytes);
// The next bytes of the reservation, ready to be written (aligned to 64 bytes); null when the
// reservation is used up or the system cannot provide the memory.
uint8_t *frame_memory_take(FrameMemory *memory, size_t bytes);
// Gives the whole reservation back. Nothing without one.
void frame_memory_release(FrameMemory *memory);

}  // namespace platform
