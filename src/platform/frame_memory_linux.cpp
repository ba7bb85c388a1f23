// Frame memory on Linux: anonymous private mappings whose pages the kernel provides at first
// touch, in transparent huge pages where the system allows them (madvise).
#include <sys/mman.h>

#include "platform/frame_memory_system.h"

namespace platform {

uint8_t *reserve_address_space(size_t &size) {
    constexpr size_t kHugePage = size_t(2) << 20;
    size = (size + kHugePage - 1) & ~(kHugePage - 1);
    void *base = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    // Only advice: without huge pages the frames take ordinary ones.
    madvise(base, size, MADV_HUGEPAGE);
    return static_cast<uint8_t *>(base);
}

bool commit_address_space(uint8_t *, size_t) { return true; }

void release_address_space(uint8_t *base, size_t size) { munmap(base, size); }

}  // namespace platform
