// Memory for a video's decoded frames: one reservation of address space that frames are taken
// from in order and that is released whole. Pages come into use only as frames are written,
// so a reservation sized for the longest video costs what the frames take.
//
// A released reservation is kept, its contents discarded, for the next video that fits in it:
// every calibration screen reads its video again, and pages already in use cost no page fault
// and no clearing by the system. The system may take the discarded pages back whenever it is
// short of memory; frame_memory_give_back returns them at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct FrameMemory;

// Reserves bytes of address space (or takes the kept reservation when it is large enough);
// null when it cannot.
FrameMemory *frame_memory_reserve(size_t bytes);
// The next bytes of the reservation, ready to be written (aligned to 64 bytes; what they hold
// is undefined); null when the reservation is used up or the system cannot provide the memory.
uint8_t *frame_memory_take(FrameMemory *memory, size_t bytes);
// Ends the use of the reservation: it is kept for the next one, in place of any kept before.
// Nothing without one.
void frame_memory_release(FrameMemory *memory);
// Gives the kept reservation back to the system. Nothing when none is kept.
void frame_memory_give_back();

// The machine's physical memory in bytes; 0 when the system does not say.
uint64_t physical_memory();

}  // namespace platform
