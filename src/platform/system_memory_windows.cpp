// The machine's memory on Windows.
#include <windows.h>

#include "platform/system_memory.h"

namespace platform {

uint64_t physical_memory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

}  // namespace platform
