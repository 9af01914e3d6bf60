// The lines typed in this run, recalled with Up and Down as shells do.
#ifndef CARDSTOW_TERMINAL_LINE_HISTORY_H_
#define CARDSTOW_TERMINAL_LINE_HISTORY_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct line_history {
  std::vector<std::string> lines;  // the lines typed, oldest first
  std::size_t shown = 0;           // the one shown; lines.size(): none
  std::string typed;               // the line being typed, while one is shown
};

// Starts a new line: none recalled.
void start_new_line(line_history& history);

// Adds `line` once it is entered; an empty line, or the one entered just
// before again, is left out.
void remember_line(line_history& history, std::string_view line);

// Up: the line entered before the one shown, keeping `current` as the line
// being typed when it is the one shown; nullptr when there is none.
const std::string* recall_previous(line_history& history,
                                   const std::string& current);

// Down: the line entered after the one shown, or the line being typed after
// the last of them; nullptr when the line being typed is shown.
const std::string* recall_next(line_history& history);

#endif  // CARDSTOW_TERMINAL_LINE_HISTORY_H_
