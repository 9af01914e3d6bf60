// Where the line editor's text falls on the screen: the columns each
// grapheme cluster takes and how rows wrap, as a terminal draws them.
#ifndef CARDSTOW_TERMINAL_SCREEN_LAYOUT_H_
#define CARDSTOW_TERMINAL_SCREEN_LAYOUT_H_

#include <cstddef>
#include <string>
#include <string_view>

// How a Tab in a line is shown: "^I" in reverse video, two columns.
inline constexpr std::string_view shown_tab = "\x1b[7m^I\x1b[27m";
inline constexpr int shown_tab_width = 2;

// A place on the screen, relative to the first row the text is drawn on.
struct screen_place {
  std::size_t row = 0;
  int column = 0;
};

// Appends to `out` the bytes that draw `text` (a prompt or a line, UTF-8)
// from `place` on a screen `columns` wide, and moves `place` past it. A
// cluster too wide for what is left of a row goes to the next, the rest of
// the row filled with spaces, so that every terminal wraps it alike. A Tab
// is drawn as shown_tab. `cursor`, when not npos, is a byte offset into
// `text`: `at_cursor` is set to where it is drawn.
void lay_out(std::string_view text, int columns, std::string& out,
             screen_place& place, std::size_t cursor = std::string_view::npos,
             screen_place* at_cursor = nullptr);

// The columns `text` takes on one row, as lay_out draws it.
int text_width(std::string_view text);

#endif  // CARDSTOW_TERMINAL_SCREEN_LAYOUT_H_
