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
#include <termios.h>
#include <unistd.h>

#include <deque>
#include <string>
#include <string_view>

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

// Asks the terminal where its cursor is: the column, or -1 when it does not
// answer within a fifth of a second. Keys read meanwhile are queued.
int ask_cursor_column(typed_lines& typed) {
  write_out("\x1b[6n");
  std::string key;
  while (wait_for_key(200)) {
    int ignored = 0;
    if (read_key(typed.input, key, ignored) != key_read::key) break;
    const int column = reported_cursor_column(key);
    if (column >= 0) return column;
    typed.queued.push_back(key);
  }
  return -1;
}

// Draws the line again after a resize or a resumption, where it starts.
void redraw(typed_lines& typed) {
  const int columns = window_columns();
  if (columns != typed.drawn.columns) {
    int column = -1;
    if (resize_needs_cursor_column(typed.drawn, columns)) {
      show(typed);
      column = ask_cursor_column(typed);
    }
    resize_drawn_line(typed.drawn, columns, column);
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
  const bool many = matches.size() > most_names_listed_unasked;
  if (!many || wants_all(typed, matches.size())) {
    if (many) write_out("\n");
    write_out(in_columns(matches, typed.drawn.columns));
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

// Carries out the command of a control key or an escape sequence.
outcome command(typed_lines& typed, edit_command command) {
  switch (command) {
    case edit_command::enter:
      return outcome::entered;
    case edit_command::previous_line:
      return show_recalled(typed,
                           recall_previous(typed.history, typed.line.text));
    case edit_command::next_line:
      return show_recalled(typed, recall_next(typed.history));
    case edit_command::redraw:
      draw_prompt_and_line(typed.drawn, typed.prompt, typed.line, false);
      return outcome::unchanged;
    default:
      break;
  }
  if (command == edit_command::delete_or_end && typed.line.text.empty()) {
    return outcome::ended;
  }
  return apply_command(typed.line, command) ? outcome::edited
                                            : outcome::unchanged;
}

// What `key` does: text goes into the line, Tab completes a file name, other
// keys are commands.
outcome act(typed_lines& typed, const std::string& key) {
  if (key != "\t") typed.tabbed = false;
  const bool control = key.size() == 1 && (key[0] < 0x20 || key[0] == 0x7f);
  const bool text = key == "\t" || (!control && key[0] != '\x1b');
  if (key == "\t" && typed.answer.kind == answer_kind::file_name) {
    typed.refusing = false;
    return complete(typed);
  }
  if (text) return take_character(typed, key);
  typed.refusing = false;
  return command(typed, command_of_key(key));
}

// The next key: one queued while waiting for a reply, else one read.
key_read next_key(typed_lines& typed, std::string& key) {
  if (typed.queued.empty()) return read_key(typed.input, key, typed.error);
  key = std::move(typed.queued.front());
  typed.queued.pop_front();
  return key_read::key;
}

// Takes one key: acts on it and draws what it changed.
outcome take_key(typed_lines& typed, const std::string& key) {
  const std::size_t end_before = typed.line.text.size();
  const bool at_end = typed.line.cursor == end_before;
  const outcome done = act(typed, key);
  if (done == outcome::edited && typed.after_listing) {
    typed.after_listing = false;
    draw_prompt_and_line(typed.drawn, typed.prompt, typed.line, true);
  } else if (done == outcome::edited) {
    draw_edit(typed.drawn, typed.line, end_before, at_end);
  }
  // Keys that come together, as a paste, are written out together once the
  // line is long enough for that to matter.
  const bool long_line = typed.line.text.size() > 64;
  if (typed.queued.empty() && (!long_line || !key_waiting())) show(typed);
  return done;
}

// Edits one line until Enter (true) or the end of input (false).
bool edit_line(typed_lines& typed) {
  std::string key;
  for (;;) {
    const key_read got = next_key(typed, key);
    if (got == key_read::redraw) redraw(typed);
    if (got == key_read::ended || got == key_read::failed) return false;
    if (got != key_read::key) continue;
    const outcome done = take_key(typed, key);
    if (done == outcome::entered || done == outcome::ended) {
      return done == outcome::entered;
    }
  }
}

// Starts a new line, empty, after `prompt`, and draws them.
void start_line(typed_lines& typed, std::string_view prompt,
                const typed_answer& answer) {
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
}

}  // namespace

typed_lines* open_typed_lines() {
  if (!isatty(0) || tcgetattr(0, &found_modes) != 0) return nullptr;
  auto* typed = new typed_lines;
  const bool utf8 = locale_allows_utf8();
  typed->editing = isatty(1) && terminal_is_known() && utf8;
  typed->plain.input.utf8 = utf8;
  typed->plain.echo = plain_echo_descriptor();
  install_terminal_signal_handlers(found_modes);
  block_redraw_signals();
  const termios modes = raw_key_modes(found_modes);
  tcsetattr(0, TCSADRAIN, &modes);
  return typed;
}

bool read_typed_line(typed_lines& typed, std::string_view prompt,
                     const typed_answer& answer, std::string& line,
                     int& error) {
  if (!typed.editing) return read_plain_line(typed.plain, prompt, line, error);
  start_line(typed, prompt, answer);
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
