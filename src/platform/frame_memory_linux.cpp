// Frame memory on Linux: anonymous private mappings whose pages the kernel provides at first
// touch and takes back lazily once discarded (MADV_FREE).
#include <sys/mman.h>
#include <unistd.h>

#include "platform/frame_memory.h"
#include "platform/frame_memory_system.h"

namespace platform {

uint8_t *reserve_address_space(size_t &size) {
    void *base = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return base == MAP_FAILED ? nullptr : static_cast<uint8_t *>(base);
}

bool commit_address_space(uint8_t *, size_t) { return true; }

void discard_address_space(uint8_t *base, size_t bytes) {
    // Only advice: a kernel without MADV_FREE keeps the pages as they are.
    if (bytes) madvise(base, bytes, MADV_FREE);
}

void release_address_space(uint8_t *base, size_t size) { munmap(base, size); }

uint64_t physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    return pages > 0 && page_size > 0 ? uint64_t(pages) * uint64_t(page_size) : 0;
}

}  // namespace platform
