// Message rendering: placement at the margins, alignment, fitting and wrapping at blanks,
// tabs and newlines, the bottom margin, line spacing, the message buffer's length, and the
// messages for a missing font or renderer. Pictures are compared pixel for pixel with lines
// rendered straight through SDL2_ttf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "frame/embedded_fonts.h"
#include "frame/expt_window.h"
#include "test_support.h"
#include "text/fonts.h"
#include "text/message_renderer.h"
#include "text/text_cache.h"
#include "text_reference.h"

namespace {

using text_test::kInk;
using text_test::reference;
using text_test::text_height;
using text_test::text_width;

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        ASSERT_EQ(get_new_font("sans", 24, 0), 0);
        set_text_margins(0, 0, 0, 0);
        width = exptGraphics.window_rect.w;
        height = exptGraphics.window_rect.h;
    }

    static vt_test::Pixels drawn(const std::function<void()> &draw) {
        text_test::clear_window();
        draw();
        return vt_test::read_window_pixels();
    }

    // Draws text twice with draw_message (its lines made, then kept) and expects exactly the
    // reference lines each time.
    void expect_lines(const std::string &text, uint32_t flags, int x, int y,
                      const std::vector<text_test::RefLine> &lines) {
        const vt_test::Pixels expected = reference(lines);
        EXPECT_GT(text_test::ink_pixels(expected), 0u);
        for (const char *way : {"made", "kept"}) {
            const vt_test::Pixels actual = drawn(
                [&] { draw_message(exptGraphics.window, kInk, flags, x, y, "%s", text.c_str()); });
            EXPECT_EQ(text_test::differing_pixels(actual, expected), 0u)
                << '"' << text << "\" " << way;
        }
    }

    // The right margin that leaves room, from x, for exactly prefix and one pixel more.
    int margin_fitting(const std::string &prefix, int x) const {
        return width - x - text_width(prefix) - 1;
    }

    int width = 0;
    int height = 0;
};

TEST_F(MessageTest, FirstLineStartsInsideTheMarginsOnlyWithContinuationFlag) {
    set_text_margins(10, 10, 10, 10);
    expect_lines("Margins Qg", kTextContinue, 5, 5, {{"Margins Qg", 15, 15}});
    expect_lines("Margins Qg", 0, 5, 5, {{"Margins Qg", 5, 5}});
}

TEST_F(MessageTest, FormatsItsArguments) {
    const vt_test::Pixels actual = drawn(
        [&] { draw_message(exptGraphics.window, kInk, 0, 40, 60, "%d-%s|%c", -42, "ok", 'Z'); });
    EXPECT_EQ(text_test::differing_pixels(actual, reference({{"-42-ok|Z", 40, 60}})), 0u);
}

TEST_F(MessageTest, LineFeedsEndLinesOfTextThatFits) {
    set_text_margins(10, 10, 10, 10);
    const int step = static_cast<int>(text_height("one\ntwo three") * 0.9);
    expect_lines("one\ntwo three", kTextContinue, 0, 0,
                 {{"one", 10, 10}, {"two three", 10, 10 + step}});
    expect_lines("one\ntwo three", 0, 0, 0, {{"one", 0, 0}});
    // A menu: CR-LF and a final line feed end lines too; no line is drawn for the end.
    const std::string menu = "Menu:\r\n1 -> Go\n";
    const int menu_step = static_cast<int>(text_height(menu) * 0.9);
    expect_lines(menu, kTextContinue, 0, 0, {{"Menu:", 10, 10}, {"1 -> Go", 10, 10 + menu_step}});
    // Descenders reach into the next line's box, which must not cover them.
    expect_lines("gjpqy\ngjpqy", kTextContinue, 0, 0, {{"gjpqy", 10, 10}, {"gjpqy", 10, 10 + menu_step}});
}

TEST_F(MessageTest, FlushRightAndCentredLines) {
    const std::string text = "Right edge";
    const int w = text_width(text);
    expect_lines(text, kTextFlushRight, 7, 30, {{text, width - w, 30}});
    expect_lines(text, kTextFlushRight | kTextCentred, 7, 30, {{text, (width - w) / 2, 30}});
    expect_lines(text, kTextCentred, 7, 30, {{text, (width - w) / 2, 30}});
}

TEST_F(MessageTest, WrapsAtTheLastBlankThatFits) {
    const std::string text = "alpha beta   gamma";
    set_text_margins(0, margin_fitting("alpha beta ", 20), 0, 0);
    const int step = static_cast<int>(text_height(text) * 0.9);
    // Blanks after the break are dropped with it.
    expect_lines(text, kTextContinue, 20, 40, {{"alpha beta", 20, 40}, {"gamma", 20, 40 + step}});
    expect_lines(text, 0, 20, 40, {{"alpha beta", 20, 40}});
    // The line up to the blank must leave room strictly.
    set_text_margins(0, width - 20 - text_width("alpha beta "), 0, 0);
    expect_lines(text, 0, 20, 40, {{"alpha", 20, 40}});
}

TEST_F(MessageTest, TextEndingExactlyAtTheRightMarginFits) {
    const std::string text = "exact fit";
    set_text_margins(0, width - 30 - text_width(text), 0, 0);
    expect_lines(text, kTextContinue, 30, 0, {{text, 30, 0}});
    set_text_margins(0, width - 30 - text_width(text) + 1, 0, 0);
    expect_lines(text, kTextContinue, 30, 0,
                 {{"exact", 30, 0}, {"fit", 30, static_cast<int>(text_height(text) * 0.9)}});
}

TEST_F(MessageTest, ATabIsABreakToo) {
    const std::string text = "alphabet\tbeta gamma";
    set_text_margins(0, margin_fitting("alphabet\t", 0), 0, 0);
    const int step = static_cast<int>(text_height(text) * 0.9);
    expect_lines(text, kTextContinue, 0, 0,
                 {{"alphabet", 0, 0}, {"beta", 0, step}, {"gamma", 0, 2 * step}});
}

TEST_F(MessageTest, BreaksAtANewlineBeforeTheLastFittingBlank) {
    const std::string text = "wonderful\nab cd efgh";
    set_text_margins(0, margin_fitting("wonderful\nab cd ", 0), 0, 0);
    const int step = static_cast<int>(text_height(text) * 0.9);
    expect_lines(text, kTextContinue, 0, 100, {{"wonderful", 0, 100}, {"ab cd efgh", 0, 100 + step}});
    expect_lines(text, 0, 0, 100, {{"wonderful", 0, 100}});
}

// The break as the plain rule states it: every blank measured, from the end.
size_t break_from_the_end(const std::string &line, int room, bool &blank_break) {
    size_t newline = 0;
    for (size_t i = 1; i < line.size() && newline == 0; ++i)
        if (line[i] == '\n' || line[i] == '\r') newline = i;
    size_t blank = 0;
    for (size_t i = line.size(); i-- > 0;) {
        if ((line[i] == ' ' || line[i] == '\t') && text_width(line.substr(0, i + 1)) < room) {
            blank = i;
            break;
        }
    }
    blank_break = blank != 0 && (newline == 0 || blank < newline);
    if (blank != 0 && newline != 0) return std::min(blank, newline);
    return blank != 0 ? blank : newline;
}

TEST_F(MessageTest, BreakSearchAgreesWithMeasuringEveryBlankFromTheEnd) {
    std::mt19937 random(5);
    const char *pieces[] = {"a", "Wide", "ij", "mm", "text", " ", " ", "  ", "\t", "\n", ",", "AV"};
    for (int round = 0; round < 300; ++round) {
        std::string line;
        const size_t length = round % 50 == 0 ? kLineSize - 1 : 1 + random() % 120;
        while (line.size() < length) line += pieces[random() % std::size(pieces)];
        line.resize(length);
        const int room = static_cast<int>(random() % (text_width(line) + 20));
        bool expected_blank = false, blank = false;
        const size_t expected = break_from_the_end(line, room, expected_blank);
        std::string buffer = line;
        EXPECT_EQ(find_line_break(current_font(), buffer.data(), line.size(), room, blank), expected)
            << '"' << line << "\" room " << room;
        EXPECT_EQ(blank, expected_blank);
        EXPECT_EQ(buffer, line);
    }
}

TEST_F(MessageTest, ATooWideFirstWordDrawsNothing) {
    set_text_margins(0, width - 40, 0, 0);
    const vt_test::Pixels actual = drawn(
        [&] { draw_message(exptGraphics.window, kInk, kTextContinue, 0, 0, "Supercalifragilistic x"); });
    EXPECT_EQ(text_test::ink_pixels(actual), 0u);
}

TEST_F(MessageTest, NothingIsDrawnBelowTheBottomMargin) {
    const int h = text_height("Bottom");
    set_text_margins(0, 0, 0, 50);
    // The line would end one pixel inside the bottom margin.
    vt_test::Pixels actual = drawn(
        [&] { draw_message(exptGraphics.window, kInk, 0, 0, height - 50 - h + 1, "Bottom"); });
    EXPECT_EQ(text_test::ink_pixels(actual), 0u);
    expect_lines("Bottom", 0, 0, height - 50 - h, {{"Bottom", 0, height - 50 - h}});

    // Continuation lines stop where the room ends.
    const std::string text = "one two three";
    set_text_margins(0, margin_fitting("one ", 0), 0, 0);
    const int step = static_cast<int>(h * 0.9);
    const int y = height - h - step;  // room for two lines
    expect_lines(text, kTextContinue, 0, y, {{"one", 0, y}, {"two", 0, y + step}});
}

TEST_F(MessageTest, ContinuationLinesAreNineTenthsOfTheTextHeightApart) {
    // Open Sans is 30 pixels high at one of these sizes.
    int size = 0;
    for (int s = 15; s <= 30 && size == 0; ++s) {
        ASSERT_EQ(get_new_font("sans", s, 0), 0);
        if (text_height("Ag") == 30) size = s;
    }
    ASSERT_NE(size, 0);
    set_text_margins(0, margin_fitting("second ", 0), 0, 0);
    expect_lines("second first", kTextContinue, 0, 0, {{"second", 0, 0}, {"first", 0, 27}});
}

TEST_F(MessageTest, AFormattedMessageIsCutAfter4095Characters) {
    ASSERT_EQ(get_new_font("sans", 8, 0), 0);
    // About 25 lines of short words; the 4095th character is the last one drawn.
    std::string text;
    while (text.size() < 4094) text += "ab ";
    text.resize(4094);
    text += 'Z';
    const std::string longer = text + std::string(900, 'Q');
    set_text_margins(0, 200, 0, 0);
    auto draw = [&](const std::string &message) {
        return drawn([&] {
            draw_message(exptGraphics.window, kInk, kTextContinue, 0, 0, "%s", message.c_str());
        });
    };
    const vt_test::Pixels cut = draw(text);
    EXPECT_EQ(text_test::differing_pixels(draw(longer), cut), 0u);
    EXPECT_GT(text_test::differing_pixels(draw(text.substr(0, 4094)), cut), 0u);
}

TEST_F(MessageTest, ReportsAWindowWithoutRenderer) {
    SDL_Window *bare = SDL_CreateWindow("bare", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
    ASSERT_NE(bare, nullptr);
    const std::string out =
        vt_test::capture_stdout([&] { draw_message(bare, kInk, 0, 0, 0, "text"); });
    EXPECT_EQ(out, "Invalid window handle\n");
    SDL_DestroyWindow(bare);
    EXPECT_EQ(vt_test::capture_stdout([&] { draw_message(nullptr, kInk, 0, 0, 0, "text"); }),
              "Invalid window handle\n");
}

TEST_F(MessageTest, AnotherWindowsMessageIsDrawnLineByLineInItsOwnRenderer) {
    SDL_Window *other = SDL_CreateWindow("other", 0, 0, 200, 60, SDL_WINDOW_HIDDEN);
    SDL_Renderer *renderer = other ? SDL_CreateRenderer(other, -1, SDL_RENDERER_SOFTWARE) : nullptr;
    ASSERT_NE(renderer, nullptr);
    const auto drawn_in_other = [&] {
        const SDL_Color paper = text_test::kPaper;
        SDL_SetRenderDrawColor(renderer, paper.r, paper.g, paper.b, 255);
        SDL_RenderClear(renderer);
        draw_message(other, kInk, 0, 5, 5, "Other");
        std::vector<uint32_t> pixels(200 * 60);
        SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), 800);
        return pixels;
    };
    const std::vector<uint32_t> expected = drawn_in_other();
    EXPECT_NE(std::count(expected.begin(), expected.end(), expected.front()),
              std::ptrdiff_t(expected.size()));
    EXPECT_TRUE(drawn_in_other() == expected);
    EXPECT_EQ(find_line_texture(current_font(), "Other", kInk), nullptr) << "kept for the window";
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(other);
}

TEST_F(MessageTest, LoadsSansAt30WhenNoFontIsCurrent) {
    close_current_font();
    const vt_test::Pixels actual =
        drawn([&] { draw_message(exptGraphics.window, kInk, 0, 3, 4, "Default"); });
    ASSERT_NE(current_font(), nullptr);
    EXPECT_EQ(TTF_FontHeight(current_font()), [] {
        TTF_Font *font = TTF_OpenFont(
            (std::string(embedded_font_folder()) + "/OpenSans-Regular.ttf").c_str(), 30);
        const int h = TTF_FontHeight(font);
        TTF_CloseFont(font);
        return h;
    }());
    EXPECT_EQ(text_test::differing_pixels(actual, reference({{"Default", 3, 4}})), 0u);

    // Without the built-in fonts there is nothing to draw with.
    close_current_font();
    const std::string file = std::string(embedded_font_folder()) + "/OpenSans-Regular.ttf";
    std::filesystem::rename(file, file + ".away");
    const std::string out = vt_test::capture_stdout(
        [&] { draw_message(exptGraphics.window, kInk, 0, 0, 0, "text"); });
    std::filesystem::rename(file + ".away", file);
    EXPECT_EQ(out, "Font cannot be loaded\n");
}

}  // namespace
