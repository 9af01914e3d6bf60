// Lines typed at a terminal, edited by the program's own line editor
// (POSIX): the session of one line and its drawing on the screen. Emacs
// keys as shells have them, whole grapheme clusters, the answers of this run
// recalled with Up and Down, file names completed with Tab, text answers
// held to the bytes they keep.
//
// From the first line to the last the terminal neither echoes nor collects
// lines, so that keys typed ahead of a prompt wait unseen until the editor
// shows them after it; terminal/terminal_signals_posix.h puts the terminal
// back when a signal ends or stops the program. Where the editor cannot run
// (a dumb or unknown terminal, output elsewhere, a character set other than
// UTF-8) keys are read the same way and echoed as typed (plain_lines_posix.h).
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>

#include "app/shown_name.h"
#include "terminal/completion_listing.h"
#include "terminal/file_name_completion_posix.h"
#include "terminal/key_input_posix.h"
#include "terminal/line_drawing.h"
#include "terminal/line_editing.h"
#include "terminal/line_history.h"
#include "terminal/plain_lines_posix.h"
#include "terminal/terminal.h"
#include "terminal/terminal_facts_posix.h"
#include "terminal/terminal_signals_posix.h"
#include "text/unicode.h"
#include "text/utf8.h"

struct typed_lines {
  bool editing = false;  // false: lines echoed as typed, `plain`
  plain_lines plain;
  key_input input;
  std::deque<std::string> queued;  // keys read while waiting for a reply
  line_history history;
  edited_line line;
  std::string prompt;
  typed_answer answer;
  drawn_line drawn;            // what the screen shows of the two
  bool refusing = false;       // a character did not fit; nor do those after
  bool tabbed = false;         // the last key was a Tab: the next one lists
  bool after_return = false;   // the last line ended with CR: an LF is its end
  bool after_listing = false;  // names were listed: draw all under them
  int error = 0;
};

namespace {

termios found_modes;

// What a key did to the line.
enum class outcome { edited, unchanged, entered, ended };

void write_out(std::string_view bytes) {
  int ignored = 0;
  write_standard_output(bytes, ignored);
}

// Writes out what was drawn.
void show(typed_lines& typed) {
  write_out(typed.drawn.output);
  typed.drawn.output.clear();
}

void ring_bell(typed_lines& typed) { typed.drawn.output += '\a'; }

// The answer to a cursor position report request (ESC [ 6 n), if `key` is
// one: the column, counted from 0; -1 otherwise.
int reported_column(const std::string& key) {
  if (key.size() < 6 || key.compare(0, 2, "\x1b[") != 0 || key.back() != 'R') {
    return -1;
  }
  const std::size_t semicolon = key.find(';');
  if (semicolon == std::string::npos) return -1;
  return std::atoi(key.c_str() + semicolon + 1) - 1;
}

// Asks the terminal where its cursor is: the column, or -1 when it does not
// answer within a fifth of a second. Keys read meanwhile are queued.
int ask_cursor_column(typed_lines& typed) {
  write_out("\x1b[6n");
  std::string key;
  while (wait_for_key(200)) {
    int ignored = 0;
    if (read_key(typed.input, key, ignored) != key_read::key) break;
    const int column = reported_column(key);
    if (column >= 0) return column;
    typed.queued.push_back(key);
  }
  return -1;
}

// Where the cursor's row is, from the prompt's first row, after the window
// changed to `columns`. A terminal that rewraps its rows (tmux, most
// graphical ones) moves the cursor with the text; one that does not (xterm)
// leaves it on its row. Where the two differ the terminal is asked where
// its cursor is; without an answer it is taken not to rewrap, which never
// erases a line above the answer.
std::size_t cursor_row_after_resize(typed_lines& typed, int columns) {
  const std::size_t kept_row = typed.drawn.cursor.row;
  const std::size_t rewrapped = rewrapped_row(typed.drawn, columns);
  if (rewrapped == kept_row) return rewrapped;
  show(typed);
  const int column = ask_cursor_column(typed);
  const int kept_column = std::min(typed.drawn.cursor.column, columns - 1);
  const bool rewraps =
      column == rewrapped_column(typed.drawn, columns) && column != kept_column;
  return rewraps ? rewrapped : kept_row;
}

// Draws the line again after a resize or a resumption, where it starts.
void redraw(typed_lines& typed) {
  const int columns = window_columns();
  if (columns != typed.drawn.columns) {
    typed.drawn.cursor.row = cursor_row_after_resize(typed, columns);
    typed.drawn.columns = columns;
  }
  draw_prompt_and_line(typed.drawn, typed.prompt, typed.line, false);
  show(typed);
}

// Ends the line on the screen: the cursor goes to the line's end, then to
// the start of the next row.
void leave_line(typed_lines& typed) {
  if (move_end(typed.line)) draw_line(typed.drawn, typed.line);
  end_drawn_line(typed.drawn);
  show(typed);
}

// Whether the person wants all `count` names listed: asked as bash asks.
bool wants_all(typed_lines& typed, std::size_t count) {
  write_out("Display all " + std::to_string(count) +
            " possibilities? (y or n)");
  std::string key;
  int ignored = 0;
  while (read_key(typed.input, key, ignored) == key_read::key) {
    if (key == "y" || key == "Y" || key == " ") return true;
    if (key == "n" || key == "N" || key == "\x7f" || key == "\x07") break;
  }
  write_out("\n");
  return false;
}

// Lists the names under the line, each escaped as messages show names, and
// draws the line again under them.
void list_names(typed_lines& typed, const std::vector<std::string>& matches) {
  leave_line(typed);
  std::vector<std::string> shown;
  for (const std::string& name : matches) shown.push_back(shown_name(name));
  const bool many = shown.size() > most_names_listed_unasked;
  if (!many || wants_all(typed, shown.size())) {
    if (many) write_out("\n");
    write_out(in_columns(shown, typed.drawn.columns));
  }
  typed.after_listing = true;
}

// Tab at the file-name prompt: completes the name before the cursor. Where
// it could go on to several names, or to one the line cannot take, the next
// Tab lists them under the line.
outcome complete(typed_lines& typed) {
  const file_name_completion completion = complete_file_name(
      std::string_view(typed.line.text).substr(0, typed.line.cursor));
  const bool listed_next = typed.tabbed;
  typed.tabbed = completion.matches.size() > 1 || completion.refused;
  if (!completion.added.empty()) {
    insert_text(typed.line, completion.added, 0);
    if (typed.tabbed) ring_bell(typed);  // more than one name goes on so
    return outcome::edited;
  }
  if (!typed.tabbed || !listed_next) {
    ring_bell(typed);
    return outcome::unchanged;
  }
  list_names(typed, completion.matches);
  return outcome::edited;
}

// A character typed or pasted, `key`: into the line when it is text the
// line takes and fits.
outcome take_character(typed_lines& typed, const std::string& key) {
  char32_t code = 0;
  utf8_decode(key, code);
  if (!is_taken_into_line(code) && key != "\t") {
    ring_bell(typed);
    return outcome::unchanged;
  }
  if (!typed.refusing &&
      insert_text(typed.line, key, typed.answer.most_bytes)) {
    return outcome::edited;
  }
  if (!typed.refusing) ring_bell(typed);  // once for a paste that does not fit
  typed.refusing = true;
  return outcome::unchanged;
}

// Shows `recalled`, a line from the history, if there is one.
outcome show_recalled(typed_lines& typed, const std::string* recalled) {
  if (recalled == nullptr) return outcome::unchanged;
  replace_text(typed.line, *recalled, typed.answer.most_bytes);
  return outcome::edited;
}

outcome as_outcome(bool changed) {
  return changed ? outcome::edited : outcome::unchanged;
}

outcome control_key(typed_lines& typed, char key) {
  edited_line& line = typed.line;
  switch (key) {
    case '\r':
    case '\n':
      return outcome::entered;
    case '\x01':
      return as_outcome(move_home(line));
    case '\x05':
      return as_outcome(move_end(line));
    case '\x02':
      return as_outcome(move_left(line));
    case '\x06':
      return as_outcome(move_right(line));
    case '\x08':
    case '\x7f':
      return as_outcome(delete_before(line));
    case '\x04':
      return line.text.empty() ? outcome::ended
                               : as_outcome(delete_after(line));
    case '\x15':
      return as_outcome(kill_to_start(line));
    case '\x0b':
      return as_outcome(kill_to_end(line));
    case '\x17':
      return as_outcome(kill_to_space_before(line));
    case '\x10':
      return show_recalled(typed, recall_previous(typed.history, line.text));
    case '\x0e':
      return show_recalled(typed, recall_next(typed.history));
    case '\x0c':
    case '\x12':
      draw_prompt_and_line(typed.drawn, typed.prompt, line, false);
      return outcome::unchanged;
  }
  return outcome::unchanged;
}

// The escape sequences of the keys the editor knows; the others do nothing.
outcome sequence_key(typed_lines& typed, const std::string& key) {
  edited_line& line = typed.line;
  const std::string_view k = std::string_view(key).substr(1);
  if (k == "[A" || k == "OA") return control_key(typed, '\x10');
  if (k == "[B" || k == "OB") return control_key(typed, '\x0e');
  if (k == "[C" || k == "OC") return as_outcome(move_right(line));
  if (k == "[D" || k == "OD") return as_outcome(move_left(line));
  if (k == "[H" || k == "OH" || k == "[1~" || k == "[7~") {
    return as_outcome(move_home(line));
  }
  if (k == "[F" || k == "OF" || k == "[4~" || k == "[8~") {
    return as_outcome(move_end(line));
  }
  if (k == "[3~") return as_outcome(delete_after(line));
  if (k == "b") return as_outcome(move_word_left(line));
  if (k == "f") return as_outcome(move_word_right(line));
  if (k == "d") return as_outcome(kill_word_after(line));
  if (k == "\x7f" || k == "\x08") return as_outcome(kill_word_before(line));
  return outcome::unchanged;
}

outcome act(typed_lines& typed, const std::string& key) {
  if (key != "\t") typed.tabbed = false;
  if (key[0] == '\x1b') {
    typed.refusing = false;
    return sequence_key(typed, key);
  }
  const bool control = key.size() == 1 && (key[0] < 0x20 || key[0] == 0x7f);
  if (key == "\t" && typed.answer.kind == answer_kind::file_name) {
    typed.refusing = false;
    return complete(typed);
  }
  if (!control || key == "\t") return take_character(typed, key);
  typed.refusing = false;
  return control_key(typed, key[0]);
}

// The next key: one queued, else one read. The LF of a CR LF line end whose
// CR ended the line before is dropped.
key_read next_key(typed_lines& typed, std::string& key) {
  for (;;) {
    key_read got = key_read::key;
    if (!typed.queued.empty()) {
      key = std::move(typed.queued.front());
      typed.queued.pop_front();
    } else {
      got = read_key(typed.input, key, typed.error);
    }
    if (got != key_read::key) return got;
    const bool line_feed_after_return = typed.after_return && key == "\n";
    typed.after_return = false;
    if (!line_feed_after_return) return got;
  }
}

// Edits one line until Enter (true) or the end of input (false).
bool edit_line(typed_lines& typed) {
  std::string key;
  for (;;) {
    const key_read got = next_key(typed, key);
    if (got == key_read::redraw) redraw(typed);
    if (got == key_read::ended || got == key_read::failed) return false;
    if (got != key_read::key) continue;
    const std::size_t end_before = typed.line.text.size();
    const bool at_end = typed.line.cursor == end_before;
    const outcome done = act(typed, key);
    // Keys that come together, as a paste, are written out together once
    // the line is long enough for that to matter.
    if (done == outcome::edited && typed.after_listing) {
      typed.after_listing = false;
      draw_prompt_and_line(typed.drawn, typed.prompt, typed.line, true);
    } else if (done == outcome::edited) {
      draw_edit(typed.drawn, typed.line, end_before, at_end);
    }
    const bool long_line = typed.line.text.size() > 64;
    if (typed.queued.empty() && (!long_line || !key_waiting())) show(typed);
    switch (done) {
      case outcome::entered:
        typed.after_return = key == "\r";
        return true;
      case outcome::ended:
        return false;
      case outcome::edited:
      case outcome::unchanged:
        break;
    }
  }
}

// The terminal's modes while the editor has it: no echo, no lines collected,
// CR kept as CR, a line feed written as CR LF; the signal keys still signal.
termios editing_modes(const termios& found) {
  termios modes = found;
  modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
  modes.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
  modes.c_oflag |= OPOST | ONLCR;  // a line feed starts the next row
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;
  return modes;
}

// Where keys typed without the editor are echoed: the terminal, written
// through standard input when it is open for writing (as a terminal
// usually is), else standard output when that is the terminal.
int echo_descriptor() {
  const int access = fcntl(0, F_GETFL) & O_ACCMODE;
  if (access == O_RDWR || access == O_WRONLY) return 0;
  return isatty(1) ? 1 : -1;
}

}  // namespace

typed_lines* open_typed_lines() {
  if (!isatty(0) || tcgetattr(0, &found_modes) != 0) return nullptr;
  auto* typed = new typed_lines;
  const bool utf8 = locale_allows_utf8();
  typed->editing = isatty(1) && terminal_is_known() && utf8;
  typed->plain.input.utf8 = utf8;
  typed->plain.echo = echo_descriptor();
  install_terminal_signal_handlers(found_modes);
  block_redraw_signals();
  const termios modes = editing_modes(found_modes);
  tcsetattr(0, TCSADRAIN, &modes);
  return typed;
}

bool read_typed_line(typed_lines& typed, std::string_view prompt,
                     const typed_answer& answer, std::string& line,
                     int& error) {
  if (!typed.editing) return read_plain_line(typed.plain, prompt, line, error);
  typed.prompt.assign(prompt);
  typed.answer = answer;
  typed.line = {};
  typed.refusing = typed.tabbed = false;
  typed.drawn = {};
  typed.drawn.columns = window_columns();
  start_new_line(typed.history);
  terminal_redraw_due = 0;  // the line is drawn anew, at the window's size
  draw_prompt_and_line(typed.drawn, typed.prompt, typed.line, true);
  show(typed);
  const bool entered = edit_line(typed);
  leave_line(typed);
  if (!entered) {
    if (typed.error != 0) error = typed.error;
    return false;
  }
  remember_line(typed.history, typed.line.text);
  line += typed.line.text;
  line += '\n';
  return true;
}

void close_typed_lines(typed_lines* typed) {
  if (typed == nullptr) return;
  tcsetattr(0, TCSADRAIN, &found_modes);
  remove_terminal_signal_handlers();
  unblock_redraw_signals();
  delete typed;
}
