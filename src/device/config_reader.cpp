// The INI-style text reader: line cursor, line classification relative to a wanted section,
// key/value splitting and the two table readers with their typed conversions.
#include "device/config_reader.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Whole-string comparison without regard to ASCII letter case.
bool same_text(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b)
        if (lower(*a) != lower(*b)) return false;
    return *a == *b;
}

// Copies at most size - 1 characters of [from, from + count) and terminates.
template <size_t N>
void copy_field(char (&to)[N], const char *from, size_t count) {
    count = std::min(count, N - 1);
    std::memcpy(to, from, count);
    to[count] = '\0';
}

template <size_t N>
void trim_end(char (&text)[N]) {
    size_t length = std::strlen(text);
    while (length > 0 && is_blank(text[length - 1])) text[--length] = '\0';
}

// The leading decimal integer of text, as atoi reads it, saturated to the 32-bit range
// instead of overflowing.
int32_t leading_int(const char *text) {
    const long long value = std::strtoll(text, nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

void store_text(const ConfigKey &entry, const char *value) {
    if (entry.capacity <= 0) return;
    size_t length = std::strlen(value);
    if (value[0] == '"') {
        // The first and the last character go; a lone quote leaves an empty text.
        value += length >= 2 ? 1 : 0;
        length = length >= 2 ? length - 2 : 0;
    }
    length = std::min(length, size_t(entry.capacity) - 1);
    char *target = static_cast<char *>(entry.target);
    std::memcpy(target, value, length);
    target[length] = '\0';
}

void store_int_list(const ConfigKey &entry, const char *value) {
    int32_t *target = static_cast<int32_t *>(entry.target);
    int32_t stored = 0;
    const char *separators = " ,\t";
    for (const char *token = value + std::strspn(value, separators);
         *token && stored < entry.capacity;
         token += std::strcspn(token, separators), token += std::strspn(token, separators))
        target[stored++] = leading_int(token);
}

// Stores value at the entry's target by its type; false for an unknown type.
bool store_value(const ConfigKey &entry, const char *value) {
    if (entry.type < CONFIG_TEXT || entry.type > CONFIG_INT_LIST) return false;
    if (!entry.target) return true;
    switch (entry.type) {
    case CONFIG_TEXT:
        store_text(entry, value);
        break;
    case CONFIG_BYTE:
        *static_cast<uint8_t *>(entry.target) = static_cast<uint8_t>(leading_int(value) & 0xFF);
        break;
    case CONFIG_INT:
    case CONFIG_INT_ALT:
    case CONFIG_LONG:
    case CONFIG_LONG_ALT:
        *static_cast<int32_t *>(entry.target) = leading_int(value);
        break;
    case CONFIG_DOUBLE:
        *static_cast<double *>(entry.target) = std::strtod(value, nullptr);
        break;
    case CONFIG_BOOL: {
        const char first = lower(value[0]);
        *static_cast<int32_t *>(entry.target) = (first == 'y' || first == 't') ? 1 : 0;
        break;
    }
    case CONFIG_INT_LIST:
        store_int_list(entry, value);
        break;
    }
    return true;
}

// One reading pass over the lines of a section: calls on_key(key, value) for every key line
// of the wanted section until it returns false or the text ends.
template <typename OnKey>
void for_each_key(const char *text, const char *section, OnKey on_key) {
    char wanted[kConfigFieldSize];
    std::snprintf(wanted, sizeof wanted, "[%s]", section ? section : "");
    char current[kConfigFieldSize] = "[]";
    ConfigSource source = config_open(text);
    char line[kConfigLineSize];
    while (config_read_line(source, line) >= 0) {
        if (config_classify_line(line, wanted, current) != LINE_KEY_WANTED) continue;
        char key[kConfigFieldSize];
        char value[kConfigFieldSize];
        config_split_key_value(line, key, value);
        if (!on_key(key, value)) break;
    }
    config_close(source);
}

}  // namespace

ConfigSource config_open(const char *text) {
    ConfigSource source;
    source.text = text ? text : "";
    source.length = static_cast<int32_t>(std::min<size_t>(std::strlen(source.text), INT32_MAX));
    return source;
}

void config_close(ConfigSource &source) { source = ConfigSource{}; }

int32_t config_read_line(ConfigSource &source, char (&line)[kConfigLineSize]) {
    std::memset(line, 0, sizeof line);
    if (!source.text || source.position >= source.length) return -1;
    const char *start = source.text + source.position;
    const size_t remaining = size_t(source.length - source.position);
    size_t count = std::min<size_t>(remaining, kConfigLineSize - 1);
    // A line that fits, newline included, is taken whole; a longer one in 127-character pieces.
    if (const void *newline = std::memchr(start, '\n', count))
        count = size_t(static_cast<const char *>(newline) - start) + 1;
    std::memcpy(line, start, count);
    source.position += static_cast<int32_t>(count);
    while (count > 0 && (line[count - 1] == '\n' || line[count - 1] == '\r')) line[--count] = '\0';
    return static_cast<int32_t>(count);
}

LineKind config_classify_line(const char *line, const char *wanted_header,
                              char (&current_header)[kConfigFieldSize]) {
    while (*line && is_blank(*line)) ++line;
    if (!*line) return LINE_BLANK;
    if (*line == ';' || *line == '%' || *line == '#') return LINE_COMMENT;
    const bool was_wanted = same_text(current_header, wanted_header);
    if (*line != '[') return was_wanted ? LINE_KEY_WANTED : LINE_KEY_OTHER;
    copy_field(current_header, line, std::strlen(line));
    if (same_text(current_header, wanted_header)) return LINE_HEADER_WANTED;
    return was_wanted ? LINE_HEADER_ENDS : LINE_HEADER_OTHER;
}

void config_split_key_value(const char *line, char (&key)[kConfigFieldSize],
                            char (&value)[kConfigFieldSize]) {
    while (*line && is_blank(*line)) ++line;
    const char *end = line;
    while (*end && !is_blank(*end) && *end != '=') ++end;
    copy_field(key, line, size_t(end - line));
    const char *rest = end;
    while (*rest && (is_blank(*rest) || *rest == '=')) ++rest;
    size_t length = std::strlen(rest);
    // A trailing comment starts at the last ';', unless a quote stands after it.
    if (const char *semicolon = std::strrchr(rest, ';'); semicolon && !std::strchr(semicolon, '"'))
        length = size_t(semicolon - rest);
    copy_field(value, rest, length);
    trim_end(key);
    trim_end(value);
}

int32_t config_read_keys(const char *text, const char *section, const ConfigKey *table) {
    if (!table) return 0;
    int32_t count = 0;
    const ConfigKey *cursor = table;
    for_each_key(text, section, [&](const char *key, const char *value) {
        if (!cursor->name) return false;
        const ConfigKey *entry = cursor;
        while (entry->name && !same_text(entry->name, key)) ++entry;
        if (!entry->name) return true;
        if (!store_value(*entry, value)) {
            count = -1;
            return false;
        }
        ++count;
        ++cursor;
        return cursor->name != nullptr;
    });
    return count;
}

int32_t config_read_all(const char *text, const char *section, const ConfigKey *table) {
    if (!table) return 0;
    int32_t count = 0;
    for_each_key(text, section, [&](const char *key, const char *value) {
        for (const ConfigKey *entry = table; entry->name; ++entry) {
            if (!same_text(entry->name, key)) continue;
            if (!store_value(*entry, value)) {
                count = -1;
                return false;
            }
            ++count;
        }
        return true;
    });
    return count;
}

int32_t config_read_key(const char *text, const char *section, const char *name, void *target,
                        int32_t type, int32_t capacity) {
    const ConfigKey table[2] = {{name, target, type, capacity}, {nullptr, nullptr, 0, 0}};
    return config_read_all(text, section, table);
}
