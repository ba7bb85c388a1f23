// Installed fonts on Linux through fontconfig. Its configuration binds metric-compatible
// faces to a family with "same" binding and generic fallbacks (DejaVu Sans for anything)
// with weak binding; only the first kind stands in for the requested family.
#include "platform/font_lookup.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/file_paths.h"

namespace platform {

namespace {

struct PatternDeleter {
    void operator()(FcPattern *pattern) const { FcPatternDestroy(pattern); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

const FcChar8 *fc_text(const char *text) { return reinterpret_cast<const FcChar8 *>(text); }

// The requested family and the families configured to stand in for it.
std::vector<std::string> accepted_families(FcPattern *pattern) {
    std::vector<std::string> families;
    FcValue value;
    FcValueBinding binding;
    for (int i = 0; FcPatternGetWithBinding(pattern, FC_FAMILY, i, &value, &binding) ==
                    FcResultMatch;
         ++i) {
        if (value.type == FcTypeString && binding != FcValueBindingWeak)
            families.emplace_back(reinterpret_cast<const char *>(value.u.s));
    }
    return families;
}

bool has_accepted_family(FcPattern *font, const std::vector<std::string> &accepted) {
    FcChar8 *family = nullptr;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
        for (const std::string &name : accepted)
            if (strcasecmp(name.c_str(), reinterpret_cast<const char *>(family)) == 0)
                return true;
    }
    return false;
}

}  // namespace

// The Windows file name is of no use here: Linux installs faces under their own names.
std::string installed_font_file(const char *, const char *family, const char *style) {
    if (!family || !style || !FcInit()) return {};
    const bool bold = std::strstr(style, "Bold") != nullptr;
    const bool italic = std::strstr(style, "Italic") != nullptr;

    Pattern pattern(FcPatternCreate());
    if (!pattern) return {};
    FcPatternAddString(pattern.get(), FC_FAMILY, fc_text(family));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) return {};
    FcDefaultSubstitute(pattern.get());

    FcResult result = FcResultNoMatch;
    Pattern font(FcFontMatch(nullptr, pattern.get(), &result));
    if (!font || result != FcResultMatch) return {};
    if (!has_accepted_family(font.get(), accepted_families(pattern.get()))) return {};

    // A family without the requested style matches its nearest face; that is not the face.
    int weight = 0, slant = 0;
    if (FcPatternGetInteger(font.get(), FC_WEIGHT, 0, &weight) != FcResultMatch ||
        FcPatternGetInteger(font.get(), FC_SLANT, 0, &slant) != FcResultMatch)
        return {};
    if ((weight >= FC_WEIGHT_DEMIBOLD) != bold || (slant != FC_SLANT_ROMAN) != italic) return {};

    FcChar8 *file = nullptr;
    if (FcPatternGetString(font.get(), FC_FILE, 0, &file) != FcResultMatch) return {};
    return reinterpret_cast<const char *>(file);
}

// A Windows folder named in the environment serves as it does on Windows.
std::string windows_folder() { return environment_variable("windir"); }

}  // namespace platform
