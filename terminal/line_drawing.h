// How the line editor draws a prompt and the line being edited on a
// terminal: the bytes to write (ECMA-48 cursor motion and erasure), kept
// apart from writing them. Rows are counted from the prompt's first row.
#ifndef CARDSTOW_TERMINAL_LINE_DRAWING_H_
#define CARDSTOW_TERMINAL_LINE_DRAWING_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "terminal/line_editing.h"
#include "terminal/screen_layout.h"

// What is on the screen, as drawn, and what is drawn but not yet written.
struct drawn_line {
  int columns = 80;         // the width it was drawn at
  screen_place cursor;      // where the terminal's cursor stands
  screen_place prompt_end;  // where the line starts
  std::string output;       // the bytes that draw it, to be written out
};

// Draws `prompt` and `line`, the cursor where the line has it: from where
// the cursor stands when `fresh` (the start of a row), else from the
// prompt's first row, erasing all below it first.
void draw_prompt_and_line(drawn_line& drawn, std::string_view prompt,
                          const edited_line& line, bool fresh);

// Draws `line` again after the prompt, erasing what was there.
void draw_line(drawn_line& drawn, const edited_line& line);

// Draws an edit of `line`, which held `end_before` bytes with the cursor at
// its end when `at_end`: a character added at the end that fits on the
// cursor's row as a cluster of its own is written alone; any other edit
// draws the line again.
void draw_edit(drawn_line& drawn, const edited_line& line,
               std::size_t end_before, bool at_end);

// Ends the line drawn: the cursor goes to the start of the next row, unless
// it is already at the start of a row below the prompt's. `line`'s cursor
// must be at its end and drawn there.
void end_drawn_line(drawn_line& drawn);

// Whether the row the cursor stands on, once the window changed to
// `columns`, depends on how the terminal takes the change: one that rewraps
// its rows (tmux, most graphical ones) moves the cursor with the text, one
// that does not (xterm) leaves it on its row. Then the terminal must be asked
// where its cursor is (ESC [ 6 n) for resize_drawn_line.
bool resize_needs_cursor_column(const drawn_line& drawn, int columns);

// Takes the window's change to `columns`: drawn.columns and the row of
// drawn.cursor become what they are now, whether the terminal rewraps its
// rows or not, as told by `reported_column`, the column the terminal gave
// for its cursor (from 0). With -1 (not asked, or no answer) it is taken not
// to rewrap, which never erases a line above the answer.
void resize_drawn_line(drawn_line& drawn, int columns, int reported_column);

#endif  // CARDSTOW_TERMINAL_LINE_DRAWING_H_
