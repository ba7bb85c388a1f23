// Frame memory taken from a reservation in order, the last one kept for the next video (see
// frame_memory.h); the system's part is in frame_memory_linux.cpp and frame_memory_windows.cpp.
#include "platform/frame_memory.h"

#include <mutex>
#include <new>

#include "platform/frame_memory_system.h"

namespace platform {

struct FrameMemory {
    uint8_t *base = nullptr;
    size_t size = 0;
    size_t used = 0;
};

namespace {

// The reservation kept after its video was released. The application's thread and the hooks'
// thread may both release a video.
struct KeptReservation {
    std::mutex mutex;
    uint8_t *base = nullptr;
    size_t size = 0;
};
KeptReservation kept;

}  // namespace

FrameMemory *frame_memory_reserve(size_t bytes) {
    auto *memory = new (std::nothrow) FrameMemory;
    if (!memory) return nullptr;
    {
        const std::lock_guard<std::mutex> lock(kept.mutex);
        if (kept.base && kept.size >= bytes) {
            memory->base = kept.base;
            memory->size = kept.size;
            kept.base = nullptr;
            return memory;
        }
    }
    frame_memory_give_back();  // too small: not kept beside the new one
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
    discard_address_space(memory->base, memory->used);
    uint8_t *replaced = nullptr;
    size_t replaced_size = 0;
    {
        const std::lock_guard<std::mutex> lock(kept.mutex);
        replaced = kept.base;
        replaced_size = kept.size;
        kept.base = memory->base;
        kept.size = memory->size;
    }
    if (replaced) release_address_space(replaced, replaced_size);
    delete memory;
}

void frame_memory_give_back() {
    uint8_t *base = nullptr;
    size_t size = 0;
    {
        const std::lock_guard<std::mutex> lock(kept.mutex);
        base = kept.base;
        size = kept.size;
        kept.base = nullptr;
    }
    if (base) release_address_space(base, size);
}

}  // namespace platform
