// Module data on Linux: files the build embeds into the library as read-only data
// (vt_embed_file in the build), looked up by their resource id.
#include "platform/module_data.h"

extern "C" const unsigned char vt_open_sans_regular[];
extern "C" const unsigned char vt_open_sans_regular_end[];
extern "C" const unsigned char vt_open_sans_bold[];
extern "C" const unsigned char vt_open_sans_bold_end[];

namespace platform {

namespace {

struct EmbeddedData {
    int id;
    const unsigned char *begin;
    const unsigned char *end;
};

const EmbeddedData kEmbedded[] = {
    {kOpenSansRegularId, vt_open_sans_regular, vt_open_sans_regular_end},
    {kOpenSansBoldId, vt_open_sans_bold, vt_open_sans_bold_end},
};

}  // namespace

bool find_module_data(int id, ModuleData &data) {
    for (const EmbeddedData &entry : kEmbedded) {
        if (entry.id != id) continue;
        data.bytes = entry.begin;
        data.size = static_cast<size_t>(entry.end - entry.begin);
        return true;
    }
    return false;
}

}  // namespace platform
