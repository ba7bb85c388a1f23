// Font selection: the family table, reuse of the current font, bold style, paths, the
// Windows font folder, installed faces found through fontconfig, the limits of names and
// paths, and set_cal_font.
#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "camera/status_text.h"
#include "frame/embedded_fonts.h"
#include "test_support.h"
#include "test_system.h"
#include "text/fonts.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

const std::string kSystemOpenSans = "/usr/share/fonts/truetype/open-sans/";

class FontTest : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        vt_test::unset_env("windir");
        close_current_font();
        standin_reset();
    }
    void TearDown() override { vt_test::unset_env("windir"); }

    static size_t logged(const std::string &text) { return standin_log_matches(text.c_str()); }
    static std::string family_name() {
        const char *name = current_font() ? TTF_FontFaceFamilyName(current_font()) : nullptr;
        return name ? name : "";
    }
    // The ink of a rendered sample (sum of its alphas): emboldening adds ink.
    static long sample_ink(TTF_Font *font) {
        SDL_Surface *surface = TTF_RenderText_Blended(font, "Sample Ink", SDL_Color{0, 0, 0, 255});
        if (!surface) return -1;
        long ink = 0;
        for (int y = 0; y < surface->h; ++y) {
            const auto *row = static_cast<const uint32_t *>(surface->pixels) + y * surface->pitch / 4;
            for (int x = 0; x < surface->w; ++x) ink += row[x] >> 24;  // ARGB8888
        }
        SDL_FreeSurface(surface);
        return ink;
    }
    // The same in the file opened without any style.
    static long plain_ink(const std::string &path, int size) {
        TTF_Font *font = TTF_OpenFont(path.c_str(), size);
        const long ink = sample_ink(font);
        TTF_CloseFont(font);
        return ink;
    }
    static std::string style_name() {
        const char *name = current_font() ? TTF_FontFaceStyleName(current_font()) : nullptr;
        return name ? name : "";
    }
};

TEST_F(FontTest, FamilyTableLookUp) {
    EXPECT_STREQ(find_font_file("ARIAL", 1), "arialbd.ttf");
    EXPECT_STREQ(find_font_file("arial", 0), "Arial.ttf");
    EXPECT_STREQ(find_font_file("Arial Unicode", 0), "Arial Unicode.ttf");
    EXPECT_STREQ(find_font_file("sans", 0), "OpenSans-Regular.ttf");
    EXPECT_STREQ(find_font_file("SANS", 1), "OpenSans-Bold.ttf");
    EXPECT_STREQ(find_font_file("tahoma", 0), "tahoma.ttf");
    EXPECT_STREQ(find_font_file("Verdana", 1), "verdanab.ttf");
    EXPECT_STREQ(find_font_file("Wingdings", 0), "wingding.ttf");
    // Not in the table, or no bold row: the not-found name.
    EXPECT_STREQ(find_font_file("Times Roman", 0), "sans");
    EXPECT_STREQ(find_font_file("Impact", 1), "sans");
    EXPECT_STREQ(find_font_file(nullptr, 0), "sans");
    EXPECT_STREQ(find_font_row("Palatino Linotype", 1)->style, "Bold");
}

TEST_F(FontTest, FontDirectoryByFile) {
    ASSERT_NE(embedded_font_folder(), nullptr);
    EXPECT_EQ(font_directory("OpenSans-Bold.ttf"), embedded_font_folder());
    EXPECT_EQ(font_directory("arialbd.ttf"), "");
    vt_test::set_env("windir", "/win");
    EXPECT_EQ(font_directory("arialbd.ttf"), "/win");
    EXPECT_EQ(font_directory("OpenSans-Regular.ttf"), embedded_font_folder());
}

TEST_F(FontTest, SameRequestReusesTheOpenFont) {
    ASSERT_EQ(get_new_font("sans", 20, 0), 0);
    TTF_Font *first = current_font();
    ASSERT_EQ(get_new_font("sans", 20, 0), 0);
    EXPECT_EQ(current_font(), first);
    EXPECT_EQ(logged("get_new_font Loading the fontname =sans font size 20 bold 0\n"), 2u);
    EXPECT_EQ(logged("Loaded font " + std::string(embedded_font_folder()) +
                     "/OpenSans-Regular.ttf \n"),
              1u);

    // Another size, another bold value, or the name in other letter case opens again.
    ASSERT_EQ(get_new_font("sans", 21, 0), 0);
    ASSERT_EQ(get_new_font("sans", 21, 1), 0);
    ASSERT_EQ(get_new_font("SANS", 21, 1), 0);
    EXPECT_EQ(logged("Loaded font "), 4u);
    EXPECT_EQ(TTF_FontHeight(current_font()) > 0, true);
}

TEST_F(FontTest, BoldFaceFileGetsNoExtraBoldStyle) {
    ASSERT_EQ(get_new_font("sans", 20, 1), 0);
    EXPECT_EQ(style_name(), "Bold");
    EXPECT_EQ(sample_ink(current_font()),
              plain_ink(std::string(embedded_font_folder()) + "/OpenSans-Bold.ttf", 20));
}

TEST_F(FontTest, NameWithSlashIsAPathInBoldStyleWhenAsked) {
    const std::string path = kSystemOpenSans + "OpenSans-Italic.ttf";
    ASSERT_EQ(get_new_font(path.c_str(), 17, 1), 0);
    EXPECT_EQ(logged("Loaded font " + path + " \n"), 1u);
    EXPECT_EQ(style_name(), "Italic");
    EXPECT_GT(sample_ink(current_font()), plain_ink(path, 17) * 11 / 10);  // emboldened
    ASSERT_EQ(get_new_font(path.c_str(), 17, 0), 0);
    EXPECT_EQ(sample_ink(current_font()), plain_ink(path, 17));

    EXPECT_EQ(get_new_font("fonts\\none.ttf", 17, 0), -1);
    EXPECT_EQ(logged("coregraphics: could not load font from 'fonts\\none.ttf' size 17 error: '"),
              1u);
}

TEST_F(FontTest, FamilyMissingFromTheTableFailsWithTheWindowsPath) {
    vt_test::set_env("windir", "/nowhere/win");
    EXPECT_EQ(get_new_font("Times Roman", 20, 1), -1);
    EXPECT_EQ(logged("coregraphics: could not load font from '/nowhere/win/fonts/sans' size 20 "
                     "error: '"),
              1u);
    EXPECT_EQ(current_font(), nullptr);
    vt_test::unset_env("windir");
    EXPECT_EQ(get_new_font("Times Roman", 20, 1), -1);
    EXPECT_EQ(logged("coregraphics: could not load font from 'sans' size 20 error: '"), 1u);
}

TEST_F(FontTest, WindowsFontFolderServesTheTableFiles) {
    const std::string windir = vt_test::temp_dir();
    std::filesystem::create_directory(windir + "/fonts");
    std::filesystem::copy_file(kSystemOpenSans + "OpenSans-Semibold.ttf",
                               windir + "/fonts/arialbd.ttf");
    vt_test::set_env("windir", windir);
    ASSERT_EQ(get_new_font("ARIAL", 18, 1), 0);
    EXPECT_EQ(logged("Loaded font " + windir + "/fonts/arialbd.ttf \n"), 1u);
    EXPECT_EQ(style_name(), "Semibold");
    // The Windows folder is used as it stands: no installed face replaces a missing file.
    EXPECT_EQ(get_new_font("Arial", 18, 0), -1);
    EXPECT_EQ(logged("could not load font from '" + windir + "/fonts/Arial.ttf' size 18"), 1u);
}

TEST_F(FontTest, InstalledFacesStandInWithoutAWindowsFolder) {
    ASSERT_EQ(get_new_font("Arial", 18, 1), 0);
    EXPECT_EQ(family_name(), "Liberation Sans");
    EXPECT_EQ(style_name(), "Bold");
    ASSERT_EQ(get_new_font("times new roman", 18, 0), 0);
    EXPECT_EQ(family_name(), "Liberation Serif");
    EXPECT_EQ(style_name(), "Regular");
    ASSERT_EQ(get_new_font("Courier New", 18, 0), 0);
    EXPECT_EQ(family_name(), "Liberation Mono");
    // No metric-compatible face is installed for Impact: it fails rather than take a fallback.
    EXPECT_EQ(get_new_font("Impact", 18, 0), -1);
    EXPECT_EQ(logged("impact.ttf' size 18 error: '"), 1u);
}

TEST_F(FontTest, SizeZeroOrBelowIsRefusedAndKeepsTheFont) {
    ASSERT_EQ(get_new_font("sans", 20, 0), 0);
    TTF_Font *font = current_font();
    EXPECT_EQ(get_new_font("sans", 0, 0), -1);
    EXPECT_EQ(get_new_font("sans", -3, 0), -1);
    EXPECT_EQ(logged("coregraphics: could not load font from '' with size 0'\n"), 1u);
    EXPECT_EQ(logged("coregraphics: could not load font from '' with size -3'\n"), 1u);
    EXPECT_EQ(current_font(), font);
}

TEST_F(FontTest, AfterAFailedOpenTheLastRequestOpensAgain) {
    ASSERT_EQ(get_new_font("sans", 20, 0), 0);
    EXPECT_EQ(get_new_font("/nonexistent/font.ttf", 20, 0), -1);
    EXPECT_EQ(current_font(), nullptr);
    ASSERT_EQ(get_new_font("sans", 20, 0), 0);
    EXPECT_NE(current_font(), nullptr);
    EXPECT_EQ(logged("Loaded font "), 2u);
}

TEST_F(FontTest, OverlongNamesAndPathsAreRefusedWhole) {
    ASSERT_EQ(get_new_font("sans", 20, 0), 0);
    TTF_Font *font = current_font();
    const std::string name = "/" + std::string(kFontNameSize - 1, 'n');
    EXPECT_EQ(get_new_font(name.c_str(), 20, 0), -1);
    EXPECT_EQ(logged("get_new_font: font name longer than 511 bytes refused\n"), 1u);
    EXPECT_EQ(current_font(), font);

    // 511 bytes fit: the name is tried as it stands.
    const std::string longest = name.substr(0, kFontNameSize - 1);
    EXPECT_EQ(get_new_font(longest.c_str(), 20, 0), -1);
    EXPECT_EQ(logged("could not load font from '" + longest + "' size 20"), 1u);

    ASSERT_EQ(get_new_font("sans", 20, 0), 0);
    font = current_font();
    vt_test::set_env("windir", "/" + std::string(500, 'w'));
    EXPECT_EQ(get_new_font("Arial", 20, 0), -1);
    EXPECT_EQ(logged("get_new_font: font path for 'Arial' longer than 511 bytes refused\n"), 1u);
    EXPECT_EQ(current_font(), font);
    EXPECT_EQ(get_new_font(nullptr, 20, 0), -1);
    EXPECT_EQ(current_font(), font);
}

TEST_F(FontTest, SetCalFontIsBoldAndMarksTheStatusFont) {
    statusFontLoaded = 0;
    EXPECT_EQ(set_cal_font("Times Roman", 25), -1);
    EXPECT_EQ(statusFontLoaded, 0);
    EXPECT_EQ(set_cal_font("sans", 25), 0);
    EXPECT_EQ(statusFontLoaded, 1);
    EXPECT_EQ(logged("get_new_font Loading the fontname =sans font size 25 bold 1\n"), 1u);
    EXPECT_EQ(style_name(), "Bold");
    EXPECT_EQ(set_cal_font(nullptr, 25), -1);
    EXPECT_EQ(set_cal_font("sans", -1), -1);
    EXPECT_EQ(statusFontLoaded, 1);
}

}  // namespace
