// Frame memory taken from a reservation in order, the last one kept for the next video (see
// frame_memory.h); the system's part is in frame_memory_linux.cpp and frame_memory_windows.cpp.
#include "platform/frame_memory.h"

#include <algorithm>
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

struct Reservation {
    uint8_t *base = nullptr;
    size_t size = 0;
};

// The reservation kept after its video was released. The application's thread and the hooks'
// thread may both release a video.
std::mutex kept_mutex;
Reservation kept;

// Puts next in the place of the kept reservation, which is returned.
Reservation exchange_kept(Reservation next) {
    const std::lock_guard<std::mutex> lock(kept_mutex);
    const Reservation previous = kept;
    kept = next;
    return previous;
}

void release(Reservation reservation) {
    if (reservation.base) release_address_space(reservation.base, reservation.size);
}

// Bytes rounded up to the 64 bytes that every frame is aligned to (0 when they overflow).
size_t aligned(size_t bytes) {
    constexpr size_t kAlignment = 64;
    return (bytes + kAlignment - 1) & ~(kAlignment - 1);
}

}  // namespace

FrameMemory *frame_memory_reserve(size_t bytes) {
    auto *memory = new (std::nothrow) FrameMemory;
    if (!memory) return nullptr;
    const Reservation taken = exchange_kept({});
    if (taken.base && taken.size >= bytes) {
        memory->base = taken.base;
        memory->size = taken.size;
        return memory;
    }
    release(taken);  // too small: not kept beside the new one
    memory->size = bytes;
    memory->base = reserve_address_space(memory->size);
    if (!memory->base) {
        delete memory;
        return nullptr;
    }
    return memory;
}

uint8_t *frame_memory_take(FrameMemory *memory, size_t bytes) {
    const size_t rounded = aligned(bytes);
    if (!memory || rounded < bytes || rounded > memory->size - memory->used) return nullptr;
    uint8_t *taken = memory->base + memory->used;
    if (!commit_address_space(taken, rounded)) return nullptr;
    memory->used += rounded;
    return taken;
}

void frame_memory_release(FrameMemory *memory) {
    if (!memory) return;
    discard_address_space(memory->base, memory->used);
    release(exchange_kept({memory->base, memory->size}));
    delete memory;
}

void frame_memory_give_back() { release(exchange_kept({})); }

}  // namespace platform
