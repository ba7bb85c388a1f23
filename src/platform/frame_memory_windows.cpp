// Frame memory on Windows: address space reserved with VirtualAlloc and committed frame by
// frame, so that the commit charge grows only with the frames taken; discarded pages are reset
// (MEM_RESET), so the system drops rather than pages out what they hold.
#include <windows.h>

#include "platform/frame_memory.h"
#include "platform/frame_memory_system.h"

namespace platform {

uint8_t *reserve_address_space(size_t &size) {
    return static_cast<uint8_t *>(VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS));
}

bool commit_address_space(uint8_t *address, size_t bytes) {
    return VirtualAlloc(address, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void discard_address_space(uint8_t *base, size_t bytes) {
    // Only advice: pages that are not reset keep what they hold.
    if (bytes) VirtualAlloc(base, bytes, MEM_RESET, PAGE_READWRITE);
}

void release_address_space(uint8_t *base, size_t) { VirtualFree(base, 0, MEM_RELEASE); }

uint64_t physical_memory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

}  // namespace platform
