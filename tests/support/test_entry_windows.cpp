// The test programs link the library's objects into themselves, where no DllMain runs: the
// library's load and unload steps run as the program starts and ends instead, as the DLL's
// entry point runs them at process attach and detach.
#include "platform/library_entry.h"

namespace {

struct LibraryEntry {
    LibraryEntry() { library_loaded(); }
    ~LibraryEntry() { library_unloaded(); }
} entry;

}  // namespace
