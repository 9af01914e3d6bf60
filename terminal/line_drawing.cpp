// Drawing the edited line with cursor motion relative to where it stands.
#include "terminal/line_drawing.h"

#include <algorithm>

#include "text/unicode.h"

namespace {

std::string csi(std::size_t count, char command) {
  return "\x1b[" + std::to_string(count) + command;
}

// Moves the cursor to `place`, on its row or one above.
void move_up_to(drawn_line& drawn, screen_place place) {
  if (drawn.cursor.row > place.row) {
    drawn.output += csi(drawn.cursor.row - place.row, 'A');
  }
  drawn.output += '\r';
  if (place.column > 0) {
    drawn.output += csi(static_cast<std::size_t>(place.column), 'C');
  }
  drawn.cursor = place;
}

// Where a row just filled leaves the cursor: at the start of the next.
void wrap_full_row(drawn_line& drawn, screen_place& place) {
  if (place.column < drawn.columns) return;
  drawn.output += "\n";
  place = {place.row + 1, 0};
}

// Draws the line from `place` on, then puts the cursor where the line has
// it.
void draw_from(drawn_line& drawn, const edited_line& line, screen_place place) {
  screen_place at_cursor;
  lay_out(line.text, drawn.columns, drawn.output, place, line.cursor,
          &at_cursor);
  wrap_full_row(drawn, place);
  drawn.cursor = place;
  if (at_cursor.row != place.row || at_cursor.column != place.column) {
    move_up_to(drawn, at_cursor);
  }
}

// The cells from the start of the prompt's first row to the cursor.
std::size_t cells_to_cursor(const drawn_line& drawn) {
  return drawn.cursor.row * static_cast<std::size_t>(drawn.columns) +
         static_cast<std::size_t>(drawn.cursor.column);
}

}  // namespace

void draw_prompt_and_line(drawn_line& drawn, std::string_view prompt,
                          const edited_line& line, bool fresh) {
  if (!fresh) {
    move_up_to(drawn, {});
    drawn.output += "\x1b[J";
  }
  screen_place place;
  lay_out(prompt, drawn.columns, drawn.output, place);
  wrap_full_row(drawn, place);
  drawn.prompt_end = place;
  draw_from(drawn, line, place);
}

void draw_line(drawn_line& drawn, const edited_line& line) {
  move_up_to(drawn, drawn.prompt_end);
  drawn.output += "\x1b[J";
  draw_from(drawn, line, drawn.prompt_end);
}

void draw_edit(drawn_line& drawn, const edited_line& line,
               std::size_t end_before, bool at_end) {
  const std::string& text = line.text;
  const std::string_view added =
      std::string_view(text).substr(std::min(end_before, text.size()));
  const bool alone =
      at_end && line.cursor == text.size() && !added.empty() && added != "\t" &&
      cluster_end(text, end_before) == text.size() &&
      (end_before == 0 || cluster_start(text, text.size()) == end_before);
  const int width = alone ? text_width(added) : 0;
  if (!alone || width == 0 || drawn.cursor.column + width >= drawn.columns) {
    draw_line(drawn, line);
    return;
  }
  drawn.output += added;
  drawn.cursor.column += width;
}

void end_drawn_line(drawn_line& drawn) {
  if (drawn.cursor.row == 0 || drawn.cursor.column > 0) drawn.output += "\n";
  drawn.cursor = {};
}

bool resize_needs_cursor_column(const drawn_line& drawn, int columns) {
  return cells_to_cursor(drawn) / static_cast<std::size_t>(columns) !=
         drawn.cursor.row;
}

void resize_drawn_line(drawn_line& drawn, int columns, int reported_column) {
  const std::size_t cells = cells_to_cursor(drawn);
  const auto width = static_cast<std::size_t>(columns);
  const int kept_column = std::min(drawn.cursor.column, columns - 1);
  const bool rewraps = reported_column == static_cast<int>(cells % width) &&
                       reported_column != kept_column;
  if (rewraps) drawn.cursor.row = cells / width;
  drawn.columns = columns;
}
