// The system's part of frame memory (frame_memory.cpp): address space reserved, made usable,
// its contents discarded, and given back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Reserves at least size bytes of address space, aligned to 64 bytes or more, and may round
// size up; null when it cannot.
uint8_t *reserve_address_space(size_t &size);
// Makes bytes at address (inside a reservation) ready to be written.
bool commit_address_space(uint8_t *address, size_t bytes);
// Tells the system that the first bytes of a reservation hold nothing of value: it may take
// their pages back until they are written again, and need not save them anywhere.
void discard_address_space(uint8_t *base, size_t bytes);
void release_address_space(uint8_t *base, size_t size);

}  // namespace platform
