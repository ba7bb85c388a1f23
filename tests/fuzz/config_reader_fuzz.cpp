// libFuzzer harness for the configuration reader. The input's first line names the section,
// the rest is the text. Every value type is read into a target of exactly its capacity, so
// the address sanitizer sees any write past it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "device/config_reader.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t newline = input.find('\n');
    const std::string section = input.substr(0, newline);
    const std::string text = newline == std::string::npos ? "" : input.substr(newline + 1);

    constexpr int32_t kTextRoom = 9;
    constexpr int32_t kListRoom = 3;
    auto text_target = std::make_unique<char[]>(kTextRoom);
    auto list_target = std::make_unique<int32_t[]>(kListRoom);
    auto byte_target = std::make_unique<uint8_t>();
    auto int_target = std::make_unique<int32_t>();
    auto double_target = std::make_unique<double>();
    auto bool_target = std::make_unique<int32_t>(5);
    const ConfigKey table[] = {{"text", text_target.get(), CONFIG_TEXT, kTextRoom},
                               {"byte", byte_target.get(), CONFIG_BYTE, 0},
                               {"int", int_target.get(), CONFIG_INT, 0},
                               {"long", int_target.get(), CONFIG_LONG_ALT, 0},
                               {"real", double_target.get(), CONFIG_DOUBLE, 0},
                               {"flag", bool_target.get(), CONFIG_BOOL, 0},
                               {"list", list_target.get(), CONFIG_INT_LIST, kListRoom},
                               {"text", text_target.get(), CONFIG_TEXT, kTextRoom},
                               {nullptr, nullptr, 0, 0}};
    const int32_t all = config_read_all(text.c_str(), section.c_str(), table);
    const int32_t sequential = config_read_keys(text.c_str(), section.c_str(), table);
    check(all >= 0 && sequential >= 0 && sequential <= 8);
    check(std::strlen(text_target.get()) < size_t(kTextRoom));
    check(*bool_target == 0 || *bool_target == 1 || *bool_target == 5);

    const ConfigKey bad[] = {{"list", list_target.get(), 9, 0}, {nullptr, nullptr, 0, 0}};
    const int32_t refused = config_read_all(text.c_str(), section.c_str(), bad);
    check(refused == 0 || refused == -1);

    // Every line, classified and split, stays within its buffers.
    ConfigSource source = config_open(input.c_str());
    char line[kConfigLineSize];
    char current[kConfigFieldSize] = "[]";
    int32_t length;
    while ((length = config_read_line(source, line)) >= 0) {
        check(length < kConfigLineSize && size_t(length) == std::strlen(line));
        const LineKind kind = config_classify_line(line, "[S]", current);
        check(kind >= LINE_BLANK && kind <= LINE_HEADER_ENDS);
        check(std::strlen(current) < size_t(kConfigFieldSize));
        char key[kConfigFieldSize];
        char value[kConfigFieldSize];
        config_split_key_value(line, key, value);
        check(std::strlen(key) <= size_t(length) && std::strlen(value) <= size_t(length));
    }
    config_close(source);
    return 0;
}
