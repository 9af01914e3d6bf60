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

// The row the cursor stands on after the window changed to `columns`, on a
// terminal that rewraps its rows (tmux) and so moves the cursor with the
// text, and the column it then shows.
std::size_t rewrapped_row(const drawn_line& drawn, int columns);
int rewrapped_column(const drawn_line& drawn, int columns);

#endif  // CARDSTOW_TERMINAL_LINE_DRAWING_H_
