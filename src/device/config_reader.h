// A reader for INI-style text held in memory: the keys of one section, converted into the
// caller's storage by a table of typed descriptors. It never touches a file.
#pragma once

#include <cstdint>

constexpr int32_t kConfigLineSize = 128;  // a line is handled 127 characters at a time
constexpr int32_t kConfigFieldSize = 130;  // header, key and value buffers

// A read cursor over the caller's NUL-terminated text, which must outlive it.
struct ConfigSource {
    const char *text = nullptr;
    int32_t position = 0;  // next unread character
    int32_t length = 0;    // taken once when the source is opened
};

enum ConfigValueType : int32_t {
    CONFIG_TEXT = 0,     // text, outer quotes dropped; capacity = bytes at target
    CONFIG_BYTE = 1,     // low 8 bits of a decimal integer
    CONFIG_INT = 2,
    CONFIG_INT_ALT = 3,  // same as CONFIG_INT
    CONFIG_LONG = 4,     // same conversion, 32-bit
    CONFIG_LONG_ALT = 5,
    CONFIG_DOUBLE = 6,
    CONFIG_BOOL = 7,     // 1 when the value starts with y or t (any case), else 0
    CONFIG_INT_LIST = 8  // integers separated by blanks, commas, tabs; capacity = integers
};

// One key descriptor; a table ends with an entry whose name is null. capacity is the room at
// target for CONFIG_TEXT (bytes, terminator included) and CONFIG_INT_LIST (integers); a value
// is cut to fit and never written past it. The other types store one fixed-size value.
struct ConfigKey {
    const char *name;
    void *target;
    int32_t type;
    int32_t capacity;
};

enum LineKind : int32_t {
    LINE_BLANK = 0,
    LINE_COMMENT = 1,
    LINE_KEY_WANTED = 2,     // key line inside the wanted section
    LINE_KEY_OTHER = 3,      // key line in any other section
    LINE_HEADER_OTHER = 4,   // another section's header, outside the wanted section
    LINE_HEADER_WANTED = 5,  // the wanted section's header
    LINE_HEADER_ENDS = 6     // another section's header right after the wanted section
};

ConfigSource config_open(const char *text);
// Detaches the source from its text.
void config_close(ConfigSource &source);

// Reads the next line without its trailing CR and LF characters; a line longer than 127
// characters comes in pieces of 127. Returns its length, or -1 (empty line) at the end.
int32_t config_read_line(ConfigSource &source, char (&line)[kConfigLineSize]);

// wanted_header is "[name]"; current_header holds the last header seen and is updated.
LineKind config_classify_line(const char *line, const char *wanted_header,
                              char (&current_header)[kConfigFieldSize]);

// Splits a key line into its key and value (a trailing ; comment removed).
void config_split_key_value(const char *line, char (&key)[kConfigFieldSize],
                            char (&value)[kConfigFieldSize]);

// Sequential reader: the table's keys in table order; each store moves on to the next entry,
// so a table of N same-named entries takes the first N occurrences. Returns the number of
// values stored, or -1 for a type outside 0..8.
int32_t config_read_keys(const char *text, const char *section, const ConfigKey *table);

// Any-order reader: every key line of the section fills every entry of that name; the last
// occurrence wins. Returns the number of values stored, or -1 for a type outside 0..8.
int32_t config_read_all(const char *text, const char *section, const ConfigKey *table);

// config_read_all with a one-entry table.
int32_t config_read_key(const char *text, const char *section, const char *name, void *target,
                        int32_t type, int32_t capacity);
