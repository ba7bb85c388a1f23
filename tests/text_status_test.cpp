// Status text: the font size chosen from the window width and text scale, the family order,
// the menu text inside its margins, the title under the image, literal percent signs, the
// redraw entry, and the lines' textures kept from frame to frame.
#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "calibration/cal_data.h"
#include "camera/image_state.h"
#include "camera/status_text.h"
#include "device/device_state.h"
#include "frame/embedded_fonts.h"
#include "frame/expt_window.h"
#include "test_support.h"
#include "text/fonts.h"
#include "text/message_renderer.h"
#include "text/text_cache.h"
#include "frame/display_hooks.h"
#include "frame/window_background.h"
#include "text_reference.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using text_test::reference;

class StatusTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        saved_rect = exptGraphics.window_rect;
        saved_colour = windowLook.foregroundColor;
        windowLook.foregroundColor = text_test::kInk;
        imageState.textScale = 1.0f;
        imageState.imageTitle[0] = '\0';
        statusFontLoaded = 0;
        close_current_font();
        standin_reset();
    }
    void TearDown() override {
        exptGraphics.window_rect = saved_rect;
        windowLook.foregroundColor = saved_colour;
        standin_set_display_flags(0);
    }

    static size_t logged(const std::string &text) { return standin_log_matches(text.c_str()); }

    static vt_test::Pixels drawn(const char *menu) {
        text_test::clear_window();
        draw_status_text_with_menu(menu);
        return vt_test::read_window_pixels();
    }

    static void set_title(const std::string &title) {
        std::snprintf(imageState.imageTitle, kImageTitleSize, "%s", title.c_str());
    }

    SDL_Rect saved_rect{};
    SDL_Color saved_colour{};
};

TEST_F(StatusTextTest, FontSizeFollowsWindowWidthAndTextScale) {
    struct Case {
        int width;
        float text_scale;
        int size;
    };
    for (const Case c : {Case{1920, 2.0f, 21}, Case{3840, 2.0f, 42}, Case{1280, 1.5f, 15},
                         Case{1024, 1.0f, 15}}) {
        exptGraphics.window_rect.w = c.width;
        imageState.textScale = c.text_scale;
        statusFontLoaded = 0;
        standin_reset();
        draw_status_text_with_menu("");
        EXPECT_EQ(logged("get_new_font Loading the fontname =sans font size " +
                         std::to_string(c.size) + " bold 1\n"),
                  1u)
            << c.width << " x " << c.text_scale;
        EXPECT_EQ(statusFontLoaded, 1);
    }
}

TEST_F(StatusTextTest, ScaledFontSizesAndReuse) {
    select_scaled_font(6.6f);
    EXPECT_EQ(logged("font size 99 bold 1"), 1u);
    EXPECT_FLOAT_EQ(statusFontScale, 6.6f);
    statusFontLoaded = 0;
    select_scaled_font(7.0f);  // over 100 points: the default size
    EXPECT_EQ(logged("font size 15 bold 1"), 1u);

    // A scale less than 0.1 away keeps the font without asking for one.
    standin_reset();
    select_scaled_font(7.09f);
    EXPECT_EQ(standin_log_count(), 0u);
    select_scaled_font(6.0f);
    EXPECT_EQ(logged("get_new_font Loading the fontname =sans font size 90 bold 1\n"), 1u);

    // Scales below 1.0 count as 1.0, in the comparison too: no request on every frame.
    standin_reset();
    select_scaled_font(0.9f);
    select_scaled_font(0.5f);
    select_scaled_font(1.05f);
    EXPECT_FLOAT_EQ(statusFontScale, 1.0f);
    EXPECT_EQ(logged("get_new_font Loading the fontname =sans font size 15 bold 1\n"), 1u);
    EXPECT_EQ(logged("Loaded font "), 1u);
}

TEST_F(StatusTextTest, TheApplicationsFontStaysWhileTheScaleHolds) {
    exptGraphics.window_rect.w = 1280;
    imageState.textScale = 1.5f;  // scale 0.7
    draw_status_text_with_menu("");
    ASSERT_EQ(set_cal_font("Courier New", 20), 0);
    TTF_Font *chosen = current_font();
    standin_reset();
    draw_status_text_with_menu("");
    draw_status_text_with_menu("");
    EXPECT_EQ(current_font(), chosen);
    EXPECT_EQ(standin_log_count(), 0u);
    // Another scale chooses again.
    imageState.textScale = 3.0f;  // scale 1.4
    draw_status_text_with_menu("");
    EXPECT_EQ(logged("get_new_font Loading the fontname =sans font size 21 bold 1\n"), 1u);
}

TEST_F(StatusTextTest, WithoutTheBuiltInFontsTimesRomanFailsAndArialServes) {
    const std::string bold = std::string(embedded_font_folder()) + "/OpenSans-Bold.ttf";
    std::filesystem::rename(bold, bold + ".away");
    select_scaled_font(1.4f);
    std::filesystem::rename(bold + ".away", bold);
    EXPECT_EQ(logged("could not load font from '" + bold + "' size 21"), 1u);
    EXPECT_EQ(logged("could not load font from 'sans' size 21"), 1u);  // "Times Roman"
    EXPECT_EQ(logged("get_new_font Loading the fontname =Arial font size 21 bold 1\n"), 1u);
    EXPECT_STREQ(TTF_FontFaceFamilyName(current_font()), "Liberation Sans");
    EXPECT_STREQ(TTF_FontFaceStyleName(current_font()), "Bold");
    EXPECT_EQ(logged("fontname =Arial Unicode"), 0u);
    EXPECT_EQ(statusFontLoaded, 1);
}

TEST_F(StatusTextTest, NothingIsDrawnWithoutMenuOrShownImage) {
    set_title("A title");
    EXPECT_EQ(text_test::ink_pixels(drawn("")), 0u);
    standin_set_display_flags(0x2);
    set_title("");
    EXPECT_EQ(text_test::ink_pixels(drawn("")), 0u);
}

TEST_F(StatusTextTest, MenuTextStartsAt15x15AndIsNotAFormat) {
    const vt_test::Pixels actual = drawn("Menu %d %s 100%");
    EXPECT_EQ(text_test::differing_pixels(actual, reference({{"Menu %d %s 100%", 15, 15}})), 0u);
}

TEST_F(StatusTextTest, TitleIsTenPixelsUnderTheImageAndNotAFormat) {
    imageState.imageRect = SDL_Rect{100, 120, 384, 320};
    set_title("Camera %d view");
    standin_set_display_flags(0x2);
    const vt_test::Pixels actual = drawn("");
    EXPECT_EQ(text_test::differing_pixels(actual, reference({{"Camera %d view", 100, 450}})), 0u);

    // With a menu as well, the title is unaffected by the menu's margins.
    const vt_test::Pixels both = drawn("Menu");
    EXPECT_EQ(text_test::differing_pixels(
                  both, reference({{"Menu", 15, 15}, {"Camera %d view", 100, 450}})),
              0u);
}

TEST_F(StatusTextTest, ATitleTooWideForTheWindowShowsOneLine) {
    imageState.imageRect = SDL_Rect{0, 100, 384, 320};
    std::string title;
    while (title.size() < kImageTitleSize - 10) title += "wide title ";
    set_title(title);
    standin_set_display_flags(0x2);
    const vt_test::Pixels actual = drawn("");
    const int top = 430;
    const int bottom = top + TTF_FontHeight(current_font());
    size_t inside = 0, outside = 0;
    const uint32_t paper = vt_test::rgba(text_test::kPaper.r, text_test::kPaper.g,
                                         text_test::kPaper.b);
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x)
            (y >= top && y < bottom ? inside : outside) += actual.at(x, y) != paper;
    EXPECT_GT(inside, 0u);
    EXPECT_EQ(outside, 0u);
}

// A frame's lines are kept for the next: a changed menu line or title shows on the very next
// frame, a kept line draws exactly what a new one does, and a new font is never served with a
// texture of the old one, though it may be opened at the old one's address.
TEST_F(StatusTextTest, KeptLinesDrawAsNewOnesAndChangesShowOnTheNextFrame) {
    imageState.imageRect = SDL_Rect{100, 120, 384, 320};
    standin_set_display_flags(0x2);
    auto frame = [](const char *menu, const char *title) {
        set_title(title);
        return drawn(menu);
    };
    auto expected = [](const std::vector<std::string> &menu, const std::string &title) {
        std::vector<text_test::RefLine> lines;
        const int step = static_cast<int>(text_test::text_height(menu[0]) * kLineSpacing);
        for (size_t i = 0; i < menu.size(); ++i)
            lines.push_back({menu[i], 15, 15 + static_cast<int>(i) * step});
        lines.push_back({title, 100, 450});
        return reference(lines);
    };

    const vt_test::Pixels first = frame("Camera Views:\nNUM 7 -> Next\nNUM 4 -> Previous", "Eye");
    TTF_Font *font = current_font();
    EXPECT_EQ(text_test::differing_pixels(
                  first, expected({"Camera Views:", "NUM 7 -> Next", "NUM 4 -> Previous"}, "Eye")),
              0u);
    SDL_Texture *kept = find_line_texture(font, "NUM 7 -> Next", text_test::kInk);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(text_test::differing_pixels(
                  frame("Camera Views:\nNUM 7 -> Next\nNUM 4 -> Previous", "Eye"), first),
              0u);
    EXPECT_EQ(find_line_texture(font, "NUM 7 -> Next", text_test::kInk), kept);

    // The next frame shows the changed line and title.
    EXPECT_EQ(text_test::differing_pixels(
                  frame("Camera Views:\nNUM 8 -> Next\nNUM 4 -> Previous", "Ear"),
                  expected({"Camera Views:", "NUM 8 -> Next", "NUM 4 -> Previous"}, "Ear")),
              0u);
    EXPECT_EQ(text_test::differing_pixels(
                  frame("Camera Views:\nNUM 7 -> Next\nNUM 4 -> Previous", "Eye"), first),
              0u);

    // A line not drawn for a frame gives up its texture.
    frame("Camera Views:", "Eye");
    frame("Camera Views:", "Eye");
    EXPECT_EQ(find_line_texture(font, "NUM 7 -> Next", text_test::kInk), nullptr);

    // Another size: the font is replaced and the next frame is drawn with the new one.
    const int height = TTF_FontHeight(font);
    imageState.textScale = 4.0f;
    const vt_test::Pixels larger = frame("Camera Views:\nNUM 7 -> Next", "Eye");
    ASSERT_NE(current_font(), nullptr);
    EXPECT_GT(TTF_FontHeight(current_font()), height);
    EXPECT_EQ(text_test::differing_pixels(
                  larger, expected({"Camera Views:", "NUM 7 -> Next"}, "Eye")),
              0u);
}

// The device marks its menu changed where it may not draw (a query, a key poll): the key poll
// that follows draws it, at once.
TEST_F(StatusTextTest, AChangedMenuIsDrawnByTheNextKeyPoll) {
    imageState.imageRect = SDL_Rect{50, 60, 384, 320};
    set_title("Refreshed");
    standin_set_display_flags(0x2);
    KeyInput key{};
    text_test::clear_window();
    read_key_hook(&key);
    EXPECT_EQ(text_test::ink_pixels(vt_test::read_window_pixels()), 0u) << "nothing changed";
    mark_menu_changed();
    EXPECT_EQ(text_test::ink_pixels(vt_test::read_window_pixels()), 0u) << "marked, not drawn";
    read_key_hook(&key);
    const vt_test::Pixels actual = vt_test::read_window_pixels();
    EXPECT_EQ(text_test::differing_pixels(actual, reference({{"Refreshed", 50, 390}})), 0u);
    text_test::clear_window();
    read_key_hook(&key);
    EXPECT_EQ(text_test::ink_pixels(vt_test::read_window_pixels()), 0u) << "drawn once";
}

}  // namespace
