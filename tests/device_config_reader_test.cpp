// The INI-style reader: line pieces, line kinds, key/value splitting, every value type with
// its bounds, and the sequential and any-order readers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/config_reader.h"

namespace {

std::vector<std::string> all_lines(const std::string &text) {
    ConfigSource source = config_open(text.c_str());
    std::vector<std::string> lines;
    char line[kConfigLineSize];
    int32_t length;
    while ((length = config_read_line(source, line)) >= 0) {
        EXPECT_EQ(size_t(length), std::strlen(line));
        lines.emplace_back(line);
    }
    EXPECT_EQ(line[0], '\0') << "the buffer is left empty at the end";
    config_close(source);
    return lines;
}

TEST(ConfigReader, LinesLoseTheirLineEndsAndLongLinesComeInPieces) {
    EXPECT_EQ(all_lines("a\r\nb\r\r\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));

    const std::string line126(126, 'x');
    EXPECT_EQ(all_lines(line126 + "\nnext\n"), (std::vector<std::string>{line126, "next"}));
    const std::string line127(127, 'y');
    EXPECT_EQ(all_lines(line127 + "\nnext"), (std::vector<std::string>{line127, "", "next"}));
    const std::string line300 = std::string(127, 'a') + std::string(127, 'b') + "tail";
    EXPECT_EQ(all_lines(line300), (std::vector<std::string>{std::string(127, 'a'),
                                                            std::string(127, 'b'), "tail"}));
    EXPECT_TRUE(all_lines("").empty());
}

TEST(ConfigReader, ClassifiesLinesAgainstTheWantedSection) {
    char current[kConfigFieldSize] = "[]";
    const char *wanted = "[MODE A]";
    const std::vector<std::pair<const char *, LineKind>> lines = {
        {"key before any header", LINE_KEY_OTHER},
        {"   \t ", LINE_BLANK},
        {"  ; note", LINE_COMMENT},
        {"% note", LINE_COMMENT},
        {"# note", LINE_COMMENT},
        {"[Other]", LINE_HEADER_OTHER},
        {"[Mode a]", LINE_HEADER_WANTED},
        {"  BUTTON 1 EXIT", LINE_KEY_WANTED},
        {"[MODE A] ", LINE_HEADER_ENDS},  // trailing blank: not the same header
        {"BUTTON 2 EXIT", LINE_KEY_OTHER},
        {"[MODE A]", LINE_HEADER_WANTED},
        {"[MODE A] ; comment", LINE_HEADER_ENDS},
    };
    for (const auto &[line, kind] : lines) EXPECT_EQ(config_classify_line(line, wanted, current), kind) << line;
    EXPECT_STREQ(current, "[MODE A] ; comment");

    // Key lines before the first header belong to the section with the empty name.
    int32_t value = 0;
    EXPECT_EQ(config_read_key("top = 7\n[S]\ntop = 8\n", "", "top", &value, CONFIG_INT, 0), 1);
    EXPECT_EQ(value, 7);
}

TEST(ConfigReader, SplitsKeysFromValuesAndTrailingComments) {
    const std::vector<std::tuple<const char *, const char *, const char *>> cases = {
        {"TEXT_LINE \"1 -> Decrease Threshold\" ", "TEXT_LINE", "\"1 -> Decrease Threshold\""},
        {"rate = = 5 ; fast", "rate", "5"},
        {"name=\"a;b\"", "name", "\"a;b\""},
        {"list = x;y;z", "list", "x;y"},  // only the last ';' starts a comment
        {"quote = \"a\" ; \"b\"", "quote", "\"a\" ; \"b\""},
        {"  lonely", "lonely", ""},
        {"empty =  = ", "empty", ""},
        {"tabbed\t\tvalue with  blanks \t", "tabbed", "value with  blanks"},
    };
    for (const auto &[line, key, value] : cases) {
        char k[kConfigFieldSize];
        char v[kConfigFieldSize];
        config_split_key_value(line, k, v);
        EXPECT_STREQ(k, key) << line;
        EXPECT_STREQ(v, value) << line;
    }
}

TEST(ConfigReader, ConvertsEveryValueType) {
    const char *text =
        "[Values]\r\n"
        "quoted = \"1 -> Decrease Threshold\" \r\n"
        "plain = some text ; comment\r\n"
        "lone = \"\r\n"
        "byte = 300\r\n"
        "int = -42abc\r\n"
        "int3 = junk\r\n"
        "long = 99999999999\r\n"
        "long5 = -99999999999\r\n"
        "real = 2.5e1\r\n"
        "list = 1, 2,3\t4\r\n";
    char quoted[64], plain[64], lone[8] = "xxxxxxx";
    uint8_t byte = 0;
    int32_t i2 = 0, i3 = 7, i4 = 0, i5 = 0;
    double real = 0;
    int32_t list[6] = {-1, -1, -1, -1, -1, -1};
    const ConfigKey table[] = {{"QUOTED", quoted, CONFIG_TEXT, sizeof quoted},
                               {"plain", plain, CONFIG_TEXT, sizeof plain},
                               {"lone", lone, CONFIG_TEXT, sizeof lone},
                               {"byte", &byte, CONFIG_BYTE, 0},
                               {"int", &i2, CONFIG_INT, 0},
                               {"int3", &i3, CONFIG_INT_ALT, 0},
                               {"long", &i4, CONFIG_LONG, 0},
                               {"long5", &i5, CONFIG_LONG_ALT, 0},
                               {"real", &real, CONFIG_DOUBLE, 0},
                               {"list", list, CONFIG_INT_LIST, 6},
                               {nullptr, nullptr, 0, 0}};
    EXPECT_EQ(config_read_all(text, "values", table), 10);
    EXPECT_STREQ(quoted, "1 -> Decrease Threshold");
    EXPECT_STREQ(plain, "some text");
    EXPECT_STREQ(lone, "");
    EXPECT_EQ(byte, 44);
    EXPECT_EQ(i2, -42);
    EXPECT_EQ(i3, 0);
    EXPECT_EQ(i4, INT32_MAX) << "out-of-range numbers saturate";
    EXPECT_EQ(i5, INT32_MIN);
    EXPECT_DOUBLE_EQ(real, 25.0);
    EXPECT_EQ(std::vector<int32_t>(list, list + 6), (std::vector<int32_t>{1, 2, 3, 4, -1, -1}));

    const std::vector<std::pair<const char *, int32_t>> booleans = {
        {"TRUE", 1}, {"true", 1}, {"yes", 1}, {"Y", 1}, {"FALSE", 0}, {"no", 0}, {"1", 0}, {"", 0}};
    for (const auto &[word, expected] : booleans) {
        const std::string script = std::string("[B]\nflag = ") + word + "\n";
        int32_t flag = 5;
        EXPECT_EQ(config_read_key(script.c_str(), "B", "flag", &flag, CONFIG_BOOL, 0), 1);
        EXPECT_EQ(flag, expected) << word;
    }
}

TEST(ConfigReader, NeverWritesPastTheTargetsCapacity) {
    const char *text = "[S]\nlist = 9 8 7 6 5 4 3 2 1\ntext = \"abcdefgh\"\n";
    int32_t list[4] = {0, 0, 0, -7};
    EXPECT_EQ(config_read_key(text, "S", "list", list, CONFIG_INT_LIST, 3), 1);
    EXPECT_EQ(std::vector<int32_t>(list, list + 4), (std::vector<int32_t>{9, 8, 7, -7}));

    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(config_read_key(text, "S", "text", small, CONFIG_TEXT, 4), 1);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(small[4], '#');
}

TEST(ConfigReader, SequentialReaderTakesKeysInTableOrder) {
    int32_t first = 0, second = 0, third = 0;
    const ConfigKey table[] = {{"first", &first, CONFIG_INT, 0},
                               {"second", &second, CONFIG_INT, 0},
                               {"third", &third, CONFIG_INT, 0},
                               {nullptr, nullptr, 0, 0}};
    EXPECT_EQ(config_read_keys("[S]\nfirst = 1\nsecond = 2\nthird = 3\n", "S", table), 3);
    EXPECT_EQ(first + second * 10 + third * 100, 321);

    // Each store moves the cursor one entry on, whichever entry matched: "second" first
    // moves it to "second", so "first" now stands before it and is ignored.
    first = second = third = 0;
    const char *text =
        "[S]\n"
        "second = 2\n"
        "first = 1\n"
        "second = 22\n"
        "third = 3\n"
        "third = 33\n";  // the table is used up
    EXPECT_EQ(config_read_keys(text, "S", table), 3);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 22);
    EXPECT_EQ(third, 3);
}

TEST(ConfigReader, SequentialReaderTakesTheFirstTwentyOfTwentyFive) {
    std::string text = "[Other]\nBUTTON = 999\n[MODE 1]\n";
    for (int i = 0; i < 25; ++i) text += "BUTTON = " + std::to_string(100 + i) + "\n";
    text += "[Next]\nBUTTON = 998\n";
    int32_t values[21] = {};
    values[20] = -5;
    std::vector<ConfigKey> table;
    for (int i = 0; i < 20; ++i) table.push_back({"button", &values[i], CONFIG_INT, 0});
    table.push_back({nullptr, nullptr, 0, 0});
    EXPECT_EQ(config_read_keys(text.c_str(), "MODE 1", table.data()), 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(values[i], 100 + i);
    EXPECT_EQ(values[20], -5);
}

TEST(ConfigReader, AnyOrderReaderLetsTheLastOccurrenceWin) {
    const char *text =
        "[S]\n"
        "b = 1\n"
        "a = 2\n"
        "b = 3\n"
        "[T]\n"
        "a = 9\n";
    int32_t a = 0, b = 0, b_again = 0;
    const ConfigKey table[] = {{"a", &a, CONFIG_INT, 0},
                               {"B", &b, CONFIG_INT, 0},
                               {"b", &b_again, CONFIG_INT, 0},
                               {nullptr, nullptr, 0, 0}};
    EXPECT_EQ(config_read_all(text, "s", table), 5) << "one line fills both b entries";
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(b_again, 3);
}

TEST(ConfigReader, MissingSectionsEmptyTextsAndBadTypes) {
    int32_t value = -1;
    EXPECT_EQ(config_read_key("[S]\na = 1\n", "T", "a", &value, CONFIG_INT, 0), 0);
    EXPECT_EQ(config_read_key("", "S", "a", &value, CONFIG_INT, 0), 0);
    EXPECT_EQ(config_read_key(nullptr, "S", "a", &value, CONFIG_INT, 0), 0);
    EXPECT_EQ(value, -1);

    int32_t first = 0, bad = 0;
    const ConfigKey table[] = {{"a", &first, CONFIG_INT, 0},
                               {"b", &bad, 9, 0},
                               {nullptr, nullptr, 0, 0}};
    const char *text = "[S]\na = 4\nb = 5\n";
    EXPECT_EQ(config_read_keys(text, "S", table), -1);
    EXPECT_EQ(first, 4) << "values stored before the bad type stay";
    first = 0;
    EXPECT_EQ(config_read_all(text, "S", table), -1);
    EXPECT_EQ(first, 4);
    EXPECT_EQ(bad, 0);
}

}  // namespace
