// Setup-menu scripts: the table of setup modes an external calibration device steps through,
// parsed from a script file, a script text or one of the two built-in scripts.
#pragma once

#include <array>
#include <cstdint>

// Action codes; the script names them exactly like this, letter case included.
enum ButtonAction : int32_t {
    NO_ACTION = 0,
    AUTO_THRESH = 1,
    PUPIL_THRESH_UP = 2,
    PUPIL_THRESH_DOWN = 3,
    CR_THRESH_UP = 4,
    CR_THRESH_DOWN = 5,
    START_CALIBRATION = 6,
    START_VALIDATION = 7,
    START_DRIFT_CORRECT = 8,
    GOTO_MODE = 9,
    EXIT = 10,
    NEXT_IMAGE = 11,
    PREV_IMAGE = 12,
    ACCEPT_TARGET = 13,
    REDO_LAST_TARGE = 14
};
constexpr int32_t kButtonActionCount = 15;

struct SetupButton {
    uint8_t number;       // as the device reports it: low 8 bits of the script's number
    ButtonAction action;
    uint8_t argument;     // a leading digit's value, else the first character's code; 0 if none
};

constexpr int32_t kModeTextSize = 1024;
constexpr int32_t kModeButtons = 20;

struct SetupMode {
    char text[kModeTextSize];  // TEXT_LINE values, each followed by a newline
    int32_t display_image;
    int32_t button_count;
    SetupButton buttons[kModeButtons];
};

// Table positions: MODE C, V, D, A, then MODE 1 onward.
constexpr int32_t kModeC = 0;
constexpr int32_t kModeV = 1;
constexpr int32_t kModeD = 2;
constexpr int32_t kModeA = 3;
constexpr int32_t kFirstNumberedMode = 4;
constexpr int32_t kSetupModeCapacity = 20;  // so MODE 1 to MODE 16

extern std::array<SetupMode, kSetupModeCapacity> setup_modes;
extern int32_t setup_mode_count;

extern const char kButtonBoxScript[];
extern const char kKeypadScript[];

// Loads path_or_text: a file path (non-empty, no newline), a script text (has a newline), or
// null/empty for the built-in script (the keypad's for device_type 2, else the button box's).
// Returns setup_mode_count (4 or more), 0 when the file cannot be used, or the negative code
// of parse_setup_script.
int32_t load_setup_script(const char *path_or_text, uintptr_t device_type);

// Fills setup_modes from a script text. Returns setup_mode_count, or -1, -2, -3 for a missing
// MODE C, V, D and -(n + 3) for a MODE n that has a BUTTON key but cannot be parsed.
int32_t parse_setup_script(const char *text);

// Parses one section into record setup_mode_count. Returns 1 (and counts the record) when the
// section had a TEXT_LINE, BUTTON or DISPLAY_IMAGE key, else 0.
int32_t parse_setup_mode(const char *text, const char *section);

// Zero-fills every record; the count becomes 0.
void clear_setup_modes();
