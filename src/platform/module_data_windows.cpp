// Module data on Windows: RCDATA resources of the library's own module (the resource script
// resources/vistrak_fonts.rc.in), found with FindResource, LoadResource and LockResource.
#include "platform/module_data.h"

#include <windows.h>

#include "platform/own_module_windows.h"

namespace platform {

bool find_module_data(int id, ModuleData &data) {
    const HMODULE module = own_module();
    if (!module) return false;
    const HRSRC resource = FindResource(module, MAKEINTRESOURCE(id), RT_RCDATA);
    if (!resource) return false;
    const HGLOBAL loaded = LoadResource(module, resource);
    const void *bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    // Resources stay mapped while the module is loaded; nothing is released.
    data.bytes = static_cast<const uint8_t *>(bytes);
    data.size = SizeofResource(module, resource);
    return true;
}

}  // namespace platform
