// Printf-style messages drawn with the current font into a window's renderer: at a position,
// flush right or centred, and wrapped at blanks and newlines inside the message margins.
// Nothing is presented. Texts are Latin-1.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>

typedef struct _TTF_Font TTF_Font;

// Flags of draw_message and draw_message_line.
constexpr uint32_t kTextFlushRight = 0x1;  // each line flush with the window's right edge
constexpr uint32_t kTextCentred = 0x10;    // each line centred in the window; wins over 0x1
// The left and top margins are added to the start, and text cut by wrapping continues on the
// following lines.
constexpr uint32_t kTextContinue = 0x100;

// A formatted message holds at most kMessageSize - 1 characters; the rest is cut off.
constexpr size_t kMessageSize = 4096;
// A drawn line holds at most kLineSize - 1 characters.
constexpr size_t kLineSize = 1024;
// A continuation line starts trunc(kLineSpacing x text height) pixels below the one before.
constexpr double kLineSpacing = 0.9;

// Margins in pixels: left and top are added to the start with kTextContinue; right and bottom
// are kept free at the window's edges when fitting and wrapping.
void set_text_margins(int left, int right, int top, int bottom);

// Formats the message and draws it from (x, y), its top-left corner in window pixels.
void draw_message(SDL_Window *window, SDL_Color colour, uint32_t flags, int x, int y,
                  const char *format, ...) __attribute__((format(printf, 6, 7)));

// Draws as much of text as fits on the line at (x, y); with kTextContinue the rest follows
// on the lines below, each starting at x.
void draw_message_line(SDL_Window *window, const char *text, uint32_t flags, int x, int y,
                       SDL_Color colour);

// Where a line too wide for room pixels breaks: the last blank (' ' or tab) that leaves the
// line up to and including it narrower than room, or an earlier newline ('\n' or '\r' after
// the first character); 0 when it cannot break. line holds length characters and a NUL.
// blank_break tells whether the break is a blank.
size_t find_line_break(TTF_Font *font, char *line, size_t length, int room, bool &blank_break);

// Moves rect horizontally as kTextFlushRight and kTextCentred in flags ask.
void align_text_rect(SDL_Rect &rect, int window_width, uint32_t flags);
