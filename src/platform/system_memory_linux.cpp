// The machine's memory on Linux.
#include <unistd.h>

#include "platform/system_memory.h"

namespace platform {

uint64_t physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    return pages > 0 && page_size > 0 ? uint64_t(pages) * uint64_t(page_size) : 0;
}

}  // namespace platform
