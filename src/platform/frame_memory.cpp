// Frame memory taken from a reservation in order (see frame_memory.h); the system's part is in
// frame_memory_linux.cpp and frame_memory_windows.cpp.
#include "platform/frame_memory.h"

#include <new>

#include "platform/frame_memory_system.h"

namespace platform {

struct FrameMemory {
    uint8_t *base = nullptr;
    size_t size = 0;
    size_t used = 0;
};

FrameMemory *frame_memory_reserve(size_t bytes) {
    auto *memory = new (std::nothrow) FrameMemory;
    if (!memory) return nullptr;
    memory->size = bytes;
    memory->base = reserve_address_space(memory->size);
    if (!memory->base) {
        delete memory;
        return nullptr;
    }
    return memory;
}

uint8_t *frame_memory_take(FrameMemory *memory, size_t bytes) {
    constexpr size_t kAlignment = 64;
    const size_t rounded = (bytes + kAlignment - 1) & ~(kAlignment - 1);
    if (!memory || rounded < bytes || rounded > memory->size - memory->used) return nullptr;
    uint8_t *taken = memory->base + memory->used;
    if (!commit_address_space(taken, rounded)) return nullptr;
    memory->used += rounded;
    return taken;
}

void frame_memory_release(FrameMemory *memory) {
    if (!memory) return;
    release_address_space(memory->base, memory->size);
    delete memory;
}

}  // namespace platform
