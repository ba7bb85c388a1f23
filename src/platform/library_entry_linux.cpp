// The shared object's entry points on Linux: the dynamic loader runs the constructor when the
// library is loaded and the destructor when it is unloaded or the process exits.
#include "platform/library_entry.h"

namespace {

__attribute__((constructor)) void on_load() { library_loaded(); }

__attribute__((destructor)) void on_unload() { library_unloaded(); }

}  // namespace
