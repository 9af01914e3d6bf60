// Up and Down through the lines of this run.
#include "terminal/line_history.h"

void start_new_line(line_history& history) {
  history.shown = history.lines.size();
  history.typed.clear();
}

void remember_line(line_history& history, std::string_view line) {
  if (line.empty()) return;
  if (!history.lines.empty() && history.lines.back() == line) return;
  history.lines.emplace_back(line);
}

const std::string* recall_previous(line_history& history,
                                   const std::string& current) {
  if (history.shown == 0) return nullptr;
  if (history.shown == history.lines.size()) history.typed = current;
  return &history.lines[--history.shown];
}

const std::string* recall_next(line_history& history) {
  if (history.shown == history.lines.size()) return nullptr;
  ++history.shown;
  return history.shown == history.lines.size() ? &history.typed
                                               : &history.lines[history.shown];
}
