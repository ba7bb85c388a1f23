// Setup-menu scripts: the built-in scripts parse completely, the made-up MODE A, button lines
// of every shape, the numbered-mode run and its bounds, and loading from files and texts.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "device/setup_script.h"
#include "test_support.h"
#include "vistrak_core64_control.h"

namespace {

struct Expected {
    uint8_t number;
    ButtonAction action;
    uint8_t argument;
};

void expect_buttons(int32_t index, const std::vector<Expected> &expected) {
    const SetupMode &mode = setup_modes[size_t(index)];
    ASSERT_EQ(mode.button_count, int32_t(expected.size())) << "mode " << index;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(mode.buttons[i].number, expected[i].number) << "mode " << index << " #" << i;
        EXPECT_EQ(mode.buttons[i].action, expected[i].action) << "mode " << index << " #" << i;
        EXPECT_EQ(mode.buttons[i].argument, expected[i].argument) << "mode " << index << " #" << i;
    }
}

std::string write_file(const std::string &name, const std::string &contents) {
    const std::string path = vt_test::temp_dir() + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

TEST(SetupScript, ButtonBoxScriptParsesCompletely) {
    ASSERT_EQ(load_setup_script(nullptr, 1), 8);
    ASSERT_EQ(setup_mode_count, 8);
    expect_buttons(kModeC, {{1, ACCEPT_TARGET, 0}, {2, REDO_LAST_TARGE, 0}, {4, EXIT, 0}});
    expect_buttons(kModeV, {{1, ACCEPT_TARGET, 0}, {2, REDO_LAST_TARGE, 0}, {4, EXIT, 0}});
    expect_buttons(kModeD, {{1, ACCEPT_TARGET, 0}, {4, EXIT, 0}});
    expect_buttons(kModeA, {{1, ACCEPT_TARGET, 0}});
    expect_buttons(4, {{1, GOTO_MODE, 2}, {2, GOTO_MODE, 'C'}, {3, GOTO_MODE, 'V'}, {4, EXIT, 0}});
    expect_buttons(5, {{1, NEXT_IMAGE, 0}, {2, PREV_IMAGE, 0}, {3, GOTO_MODE, 3}, {4, EXIT, 0}});
    expect_buttons(6, {{1, PUPIL_THRESH_DOWN, 0}, {2, PUPIL_THRESH_UP, 0}, {3, AUTO_THRESH, 0},
                       {4, GOTO_MODE, 4}});
    expect_buttons(7, {{1, CR_THRESH_DOWN, 0}, {2, CR_THRESH_UP, 0}, {3, AUTO_THRESH, 0},
                       {4, GOTO_MODE, 1}});
    EXPECT_STREQ(setup_modes[4].text,
                 "Vistrak Setup:\n1 -> View Camera Images\n2 -> Start Calibration\n"
                 "3 -> Start Validation\n4 -> Exit Vistrak Setup\n");
    EXPECT_STREQ(setup_modes[7].text,
                 "CR Threshold Adjustment:\n1 -> Decrease Threshold\n2 -> Increase Threshold\n"
                 "3 -> Auto Threshold\n4 -> Go To Vistrak Setup Mode\n");
    for (int32_t index : {0, 1, 2, 3}) EXPECT_STREQ(setup_modes[size_t(index)].text, "");
    const int32_t images[] = {0, 0, 0, 0, 0, 1, 1, 1};
    for (int32_t index = 0; index < 8; ++index)
        EXPECT_EQ(setup_modes[size_t(index)].display_image, images[index]) << index;
    EXPECT_EQ(load_setup_script("", 7), 8) << "an empty text is the button box's script";
    EXPECT_EQ(setup_modes[4].buttons[0].number, 1);
}

TEST(SetupScript, KeypadScriptParsesCompletely) {
    ASSERT_EQ(load_setup_script(nullptr, 2), 8);
    expect_buttons(kModeC, {{71, ACCEPT_TARGET, 0}, {75, REDO_LAST_TARGE, 0}, {82, EXIT, 0}});
    expect_buttons(kModeV, {{71, ACCEPT_TARGET, 0}, {75, REDO_LAST_TARGE, 0}, {82, EXIT, 0}});
    expect_buttons(kModeD, {{71, ACCEPT_TARGET, 0}, {82, EXIT, 0}});
    expect_buttons(kModeA, {{71, ACCEPT_TARGET, 0}});
    expect_buttons(4, {{71, GOTO_MODE, 2}, {75, GOTO_MODE, 'C'}, {79, GOTO_MODE, 'V'},
                       {82, EXIT, 0}});
    expect_buttons(5, {{71, NEXT_IMAGE, 0}, {75, PREV_IMAGE, 0}, {79, GOTO_MODE, 3},
                       {82, EXIT, 0}});
    expect_buttons(6, {{75, PUPIL_THRESH_DOWN, 0}, {71, PUPIL_THRESH_UP, 0},
                       {79, AUTO_THRESH, 0}, {82, GOTO_MODE, 4}});
    expect_buttons(7, {{75, CR_THRESH_DOWN, 0}, {71, CR_THRESH_UP, 0}, {79, AUTO_THRESH, 0},
                       {82, GOTO_MODE, 1}});
    EXPECT_STREQ(setup_modes[6].text,
                 "Pupil Threshold Adjustment:\nNUM 7 -> Increase Threshold\n"
                 "NUM 4 -> Decrease Threshold\nNUM 1 -> Auto Threshold\n"
                 "NUM 0 -> Go To CR Threshold Adjustment Mode\n");
}

TEST(SetupScript, MadeUpModeATakesModeCsAcceptButton) {
    const char *script =
        "[MODE D]\nBUTTON 9 EXIT\n"
        "[MODE V]\nBUTTON 8 EXIT\n"
        "[MODE C]\nBUTTON 5 ACCEPT_TARGET\n"
        "[MODE 1]\nBUTTON 1 EXIT\n";
    EXPECT_EQ(parse_setup_script(script), 5);
    expect_buttons(kModeA, {{5, ACCEPT_TARGET, 0}});
    expect_buttons(kModeD, {{9, EXIT, 0}});

    EXPECT_EQ(parse_setup_script("[MODE C]\nBUTTON 6 EXIT\nBUTTON 7 ACCEPT_TARGET\n"
                                 "[MODE V]\nTEXT_LINE v\n[MODE D]\nDISPLAY_IMAGE no\n"),
              4);
    expect_buttons(kModeA, {{7, ACCEPT_TARGET, 0}});
    EXPECT_EQ(parse_setup_script("[MODE C]\nBUTTON 6 EXIT\n[MODE V]\nTEXT_LINE v\n"
                                 "[MODE D]\nTEXT_LINE d\n"),
              4);
    expect_buttons(kModeA, {{0, ACCEPT_TARGET, 0}});

    EXPECT_EQ(parse_setup_script("[MODE C]\nTEXT_LINE c\n[MODE V]\nTEXT_LINE v\n[MODE D]\n"
                                 "TEXT_LINE d\n[MODE A]\nTEXT_LINE \"accept?\"\nBUTTON 3 "
                                 "ACCEPT_TARGET\n"),
              4);
    EXPECT_STREQ(setup_modes[kModeA].text, "accept?\n");
    expect_buttons(kModeA, {{3, ACCEPT_TARGET, 0}});
}

TEST(SetupScript, ButtonLinesOfEveryShape) {
    const std::string action40(40, 'G');
    const std::string script =
        "[MODE C]\n"
        "BUTTON 2 GOTO_MODE C\n"
        "BUTTON 3 GOTO_MODE 12\n"
        "BUTTON 300 EXIT\n"
        "BUTTON -1 EXIT\n"
        "BUTTON EXIT\n"
        "BUTTON 4 exit\n"
        "BUTTON 5\n"
        "BUTTON 6 " + action40 + " V\n"
        "BUTTON 7 GOTO_MODE " + std::string(30, 'a') + "\n"
        "BUTTON 8 ACCEPT_TARGET\n"
        "[MODE V]\nBUTTON 1 EXIT\n[MODE D]\nBUTTON 1 EXIT\n";
    ASSERT_EQ(parse_setup_script(script.c_str()), 4);
    expect_buttons(kModeC, {{2, GOTO_MODE, 'C'},
                            {3, GOTO_MODE, 1},
                            {44, EXIT, 0},
                            {255, EXIT, 0},
                            {255, NO_ACTION, 0},
                            {4, NO_ACTION, 0},
                            {5, NO_ACTION, 0},
                            {6, NO_ACTION, 'V'},
                            {7, GOTO_MODE, 'a'},
                            {8, ACCEPT_TARGET, 0}});
}

TEST(SetupScript, NumberedModesRunUnbrokenFromModeOne) {
    const char *base = "[MODE C]\nBUTTON 1 EXIT\n[MODE V]\nBUTTON 1 EXIT\n[MODE D]\nBUTTON 1 EXIT\n";
    std::string gap = std::string(base) + "[MODE 1]\nBUTTON 1 EXIT\n[MODE 3]\nBUTTON 3 EXIT\n";
    EXPECT_EQ(parse_setup_script(gap.c_str()), 5);

    // A numbered mode without a BUTTON line ends the run, even with text.
    std::string textual = std::string(base) + "[MODE 1]\nBUTTON 1 EXIT\n[MODE 2]\nTEXT_LINE x\n"
                                              "[MODE 3]\nBUTTON 3 EXIT\n";
    EXPECT_EQ(parse_setup_script(textual.c_str()), 5);

    // 18 numbered modes: the table holds MODE 1 to MODE 16.
    standin_reset();
    std::string many = base;
    for (int n = 1; n <= 18; ++n)
        many += "[MODE " + std::to_string(n) + "]\nBUTTON " + std::to_string(n) + " EXIT\n";
    EXPECT_EQ(parse_setup_script(many.c_str()), kSetupModeCapacity);
    EXPECT_EQ(setup_modes[kSetupModeCapacity - 1].buttons[0].number, 16);
    EXPECT_EQ(standin_log_matches("[MODE 17] and later modes are ignored"), 1u);
}

TEST(SetupScript, MissingRequiredModesGiveTheirCodes) {
    EXPECT_EQ(parse_setup_script("[MODE V]\nBUTTON 1 EXIT\n[MODE D]\nBUTTON 1 EXIT\n"), -1);
    EXPECT_EQ(setup_mode_count, 0);
    EXPECT_EQ(parse_setup_script("[MODE C]\nBUTTON 1 EXIT\n[MODE D]\nBUTTON 1 EXIT\n"), -2);
    EXPECT_EQ(setup_mode_count, 1) << "records parsed so far stay";
    EXPECT_EQ(parse_setup_script("[MODE C]\nBUTTON 1 EXIT\n[MODE V]\nBUTTON 1 EXIT\n"
                                 "[MODE D]\n; nothing\n"),
              -3);
    EXPECT_EQ(parse_setup_script(nullptr), -1);
}

TEST(SetupScript, ModeRecordsKeepTheirBounds) {
    std::string script = "[MODE C]\n";
    const std::string line(115, 'm');
    for (int i = 0; i < 22; ++i) script += "TEXT_LINE \"" + line + "\"\n";
    for (int i = 0; i < 25; ++i) script += "BUTTON " + std::to_string(i) + " EXIT\n";
    script += "DISPLAY_IMAGE yes\nDISPLAY_IMAGE false\n";
    script += "[MODE V]\nDISPLAY_IMAGE true\n[MODE D]\nTEXT_LINE d\n";
    standin_reset();
    ASSERT_EQ(parse_setup_script(script.c_str()), 4);
    const SetupMode &mode = setup_modes[kModeC];
    EXPECT_EQ(std::strlen(mode.text), size_t(kModeTextSize - 1));
    EXPECT_EQ(std::string(mode.text, 116), line + "\n");
    EXPECT_EQ(mode.button_count, kModeButtons);
    EXPECT_EQ(mode.buttons[kModeButtons - 1].number, kModeButtons - 1);
    EXPECT_EQ(mode.display_image, 0) << "the last DISPLAY_IMAGE wins";
    EXPECT_EQ(setup_modes[kModeV].display_image, 1);
    EXPECT_EQ(standin_log_matches("menu text of [MODE C] is cut"), 1u);
}

TEST(SetupScript, LoadsFilesAndTellsTextsFromPaths) {
    const std::string script =
        "[MODE C]\r\nBUTTON 1 ACCEPT_TARGET\r\n[MODE V]\r\nBUTTON 1 EXIT\r\n"
        "[MODE D]\r\nBUTTON 1 EXIT\r\n[MODE 1]\r\nTEXT_LINE \"Menu\"\r\nBUTTON 2 EXIT\r\n";
    const std::string path = write_file("script.ini", script);
    EXPECT_EQ(load_setup_script(path.c_str(), 1), 5);
    EXPECT_STREQ(setup_modes[4].text, "Menu\n");
    EXPECT_EQ(load_setup_script(script.c_str(), 1), 5) << "a text with newlines is the script";

    // A path with a newline in it is script text, even when such a file exists.
    const std::string dir = vt_test::temp_dir();
    const std::string odd = dir + "/odd\nname";
    std::ofstream(odd) << script;
    EXPECT_EQ(load_setup_script(odd.c_str(), 1), -1);

    standin_reset();
    EXPECT_EQ(load_setup_script((dir + "/missing.ini").c_str(), 1), 0);
    EXPECT_EQ(load_setup_script(write_file("empty.ini", "").c_str(), 1), 0);
    EXPECT_EQ(load_setup_script(dir.c_str(), 1), 0) << "a folder is no script";
    EXPECT_EQ(load_setup_script(write_file("big.ini", std::string(2 << 20, ' ')).c_str(), 1), 0);
    EXPECT_EQ(standin_log_count(), 4u) << "each unusable file is logged with its reason";
}

}  // namespace
