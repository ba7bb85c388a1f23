// libFuzzer harness for the setup-script parser: any text parses to a result within the
// table's bounds, and every record it leaves is well formed.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/setup_script.h"
#include "fuzz_check.h"
#include "vistrak_core64.h"

// The parser's log lines are formatted and dropped: their arguments are checked all the same.
extern "C" void core_log(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const int32_t result = parse_setup_script(text.c_str());
    check((result >= -23 && result <= -1) || (result >= 4 && result <= kSetupModeCapacity));
    check(setup_mode_count >= 0 && setup_mode_count <= kSetupModeCapacity);
    if (result > 0) check(result == setup_mode_count);
    for (int32_t index = 0; index < setup_mode_count; ++index) {
        const SetupMode &mode = setup_modes[size_t(index)];
        check(std::memchr(mode.text, '\0', sizeof mode.text) != nullptr);
        check(mode.display_image == 0 || mode.display_image == 1);
        check(mode.button_count >= 0 && mode.button_count <= kModeButtons);
        for (int32_t i = 0; i < mode.button_count; ++i)
            check(mode.buttons[i].action >= NO_ACTION && mode.buttons[i].action <= REDO_LAST_TARGE);
    }
    clear_setup_modes();
    return 0;
}
