// Loading and parsing setup-menu scripts into setup_modes: MODE C, V and D (required), MODE A
// (made up from MODE C when absent) and the unbroken run MODE 1, MODE 2, ...
#include "device/setup_script.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "device/config_reader.h"
#include "platform/file_paths.h"
#include "vistrak_core64.h"

std::array<SetupMode, kSetupModeCapacity> setup_modes{};
int32_t setup_mode_count = 0;

namespace {

// A script larger than this is not a setup script.
constexpr uintmax_t kLargestScriptFile = 1 << 20;

constexpr std::string_view kActionNames[kButtonActionCount] = {
    "NO_ACTION",         "AUTO_THRESH",      "PUPIL_THRESH_UP",     "PUPIL_THRESH_DOWN",
    "CR_THRESH_UP",      "CR_THRESH_DOWN",   "START_CALIBRATION",   "START_VALIDATION",
    "START_DRIFT_CORRECT", "GOTO_MODE",      "EXIT",                "NEXT_IMAGE",
    "PREV_IMAGE",        "ACCEPT_TARGET",    "REDO_LAST_TARGE"};

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Reads the next white-space-delimited word from text into word (cut to fit) and returns
// where reading stopped; the whole word is consumed even when it is cut.
template <size_t N>
const char *next_word(const char *text, char (&word)[N]) {
    while (*text && is_blank(*text)) ++text;
    size_t length = 0;
    for (; *text && !is_blank(*text); ++text)
        if (length < N - 1) word[length++] = *text;
    word[length] = '\0';
    return text;
}

// A BUTTON value: a decimal number, an action name and an optional argument word.
SetupButton parse_button(const char *value) {
    SetupButton button{};
    char *after_number = nullptr;
    const long long number = std::strtoll(value, &after_number, 10);
    if (after_number == value) {
        button.number = 255;  // no number: -1, as the device byte holds it
        return button;
    }
    button.number = static_cast<uint8_t>(number & 0xFF);
    char action[32];
    char argument[16];
    next_word(next_word(after_number, action), argument);
    for (int32_t code = 0; code < kButtonActionCount; ++code)
        if (kActionNames[code] == action) button.action = static_cast<ButtonAction>(code);
    if (argument[0] >= '0' && argument[0] <= '9')
        button.argument = static_cast<uint8_t>(argument[0] - '0');
    else
        button.argument = static_cast<uint8_t>(argument[0]);
    return button;
}

// Reads the first kModeButtons occurrences of one key of a section into targets, in file
// order; returns how many were found.
template <typename Target>
int32_t read_occurrences(const char *text, const char *section, const char *name, int32_t type,
                         Target (&targets)[kModeButtons], int32_t capacity) {
    ConfigKey table[kModeButtons + 1];
    for (int32_t i = 0; i < kModeButtons; ++i) table[i] = {name, &targets[i], type, capacity};
    table[kModeButtons] = {nullptr, nullptr, 0, 0};
    const int32_t found = config_read_keys(text, section, table);
    return found > 0 ? found : 0;
}

// Appends line and a newline to the mode's text, cut at its buffer. False when cut.
bool append_text_line(SetupMode &mode, const char *line) {
    const size_t used = std::strlen(mode.text);
    const int written = std::snprintf(mode.text + used, sizeof mode.text - used, "%s\n", line);
    return written >= 0 && size_t(written) < sizeof mode.text - used;
}

// MODE A when the script has none: one ACCEPT_TARGET button, on the button that accepts a
// target in MODE C (number 0 when MODE C has no such button).
void make_up_mode_a() {
    SetupMode &mode = setup_modes[kModeA];
    mode = SetupMode{};
    const SetupMode &calibration = setup_modes[kModeC];
    for (int32_t i = 0; i < calibration.button_count; ++i) {
        if (calibration.buttons[i].action == ACCEPT_TARGET) {
            mode.buttons[0].number = calibration.buttons[i].number;
            break;
        }
    }
    mode.buttons[0].action = ACCEPT_TARGET;
    mode.button_count = 1;
    setup_mode_count = kModeA + 1;
}

int32_t parse_setup_file(const char *path) {
    const std::string file_path = platform::utf8_path(path);
    std::error_code failed;
    const uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(file_path), failed);
    if (failed) {
        core_log("load_setup_script: %s: %s\n", path, failed.message().c_str());
        return 0;
    }
    if (size == 0 || size > kLargestScriptFile) {
        core_log("load_setup_script: %s: size %llu is not that of a script\n", path,
                 static_cast<unsigned long long>(size));
        return 0;
    }
    std::vector<char> text(size_t(size) + 10, '\0');
    FILE *file = platform::open_file(file_path, "r");
    if (!file) {
        core_log("load_setup_script: cannot open %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    const size_t read = std::fread(text.data(), 1, size_t(size), file);
    std::fclose(file);
    return read > 0 ? parse_setup_script(text.data()) : 0;
}

}  // namespace

void clear_setup_modes() {
    setup_modes.fill(SetupMode{});
    setup_mode_count = 0;
}

int32_t parse_setup_mode(const char *text, const char *section) {
    if (setup_mode_count < 0 || setup_mode_count >= kSetupModeCapacity) {
        core_log("parse_setup_mode: no room for [%s]\n", section);
        return 0;
    }
    SetupMode &mode = setup_modes[size_t(setup_mode_count)];
    mode = SetupMode{};

    int32_t display[kModeButtons] = {};
    char buttons[kModeButtons][kConfigLineSize];
    char lines[kModeButtons][kConfigLineSize];
    const int32_t displays =
        read_occurrences(text, section, "DISPLAY_IMAGE", CONFIG_BOOL, display, 0);
    const int32_t button_count =
        read_occurrences(text, section, "BUTTON", CONFIG_TEXT, buttons, kConfigLineSize);
    const int32_t line_count =
        read_occurrences(text, section, "TEXT_LINE", CONFIG_TEXT, lines, kConfigLineSize);

    for (int32_t i = 0; i < displays; ++i) mode.display_image = display[i];
    for (int32_t i = 0; i < button_count; ++i)
        mode.buttons[mode.button_count++] = parse_button(buttons[i]);
    bool cut = false;
    for (int32_t i = 0; i < line_count && !cut; ++i) cut = !append_text_line(mode, lines[i]);
    if (cut)
        core_log("parse_setup_mode: the menu text of [%s] is cut at %d characters\n", section,
                 kModeTextSize - 1);

    if (displays == 0 && button_count == 0 && line_count == 0) return 0;
    ++setup_mode_count;
    return 1;
}

int32_t parse_setup_script(const char *text) {
    setup_mode_count = 0;
    if (!parse_setup_mode(text, "MODE C")) return -1;
    if (!parse_setup_mode(text, "MODE V")) return -2;
    if (!parse_setup_mode(text, "MODE D")) return -3;
    if (!parse_setup_mode(text, "MODE A")) make_up_mode_a();
    constexpr int32_t kLastNumberedMode = 20;
    for (int32_t n = 1; n <= kLastNumberedMode; ++n) {
        char section[16];
        std::snprintf(section, sizeof section, "MODE %" PRId32, n);
        char probe[kConfigLineSize];
        if (config_read_key(text, section, "BUTTON", probe, CONFIG_TEXT, sizeof probe) <= 0) break;
        if (setup_mode_count >= kSetupModeCapacity) {
            core_log("parse_setup_script: [%s] and later modes are ignored: the table holds "
                     "MODE 1 to MODE %d\n",
                     section, kSetupModeCapacity - kFirstNumberedMode);
            break;
        }
        if (!parse_setup_mode(text, section)) return -(n + 3);
    }
    return setup_mode_count;
}

int32_t load_setup_script(const char *path_or_text, uintptr_t device_type) {
    if (!path_or_text || !*path_or_text)
        return parse_setup_script(device_type == 2 ? kKeypadScript : kButtonBoxScript);
    if (std::strchr(path_or_text, '\n')) return parse_setup_script(path_or_text);
    return parse_setup_file(path_or_text);
}
