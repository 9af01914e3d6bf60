// Editing commands over grapheme clusters.
#include "terminal/line_editing.h"

#include "text/unicode.h"
#include "text/utf8.h"

namespace {

// Whether the cluster that starts at `at` holds a letter or a digit first.
bool is_word_at(std::string_view text, std::size_t at) {
  char32_t code = 0;
  return utf8_decode(text.substr(at), code) != 0 && is_word_character(code);
}

// The start of the word before `at`: back over what is no word, then over
// the word.
std::size_t word_start_before(std::string_view text, std::size_t at) {
  while (at > 0 && !is_word_at(text, cluster_start(text, at))) {
    at = cluster_start(text, at);
  }
  while (at > 0 && is_word_at(text, cluster_start(text, at))) {
    at = cluster_start(text, at);
  }
  return at;
}

// The end of the word after `at`: on over what is no word, then the word.
std::size_t word_end_after(std::string_view text, std::size_t at) {
  while (at < text.size() && !is_word_at(text, at)) at = cluster_end(text, at);
  while (at < text.size() && is_word_at(text, at)) at = cluster_end(text, at);
  return at;
}

// Deletes the bytes from `from` to `to` (from < to) and leaves the cursor at
// `from`.
bool erase(edited_line& line, std::size_t from, std::size_t to) {
  if (from >= to) return false;
  line.text.erase(from, to - from);
  line.cursor = from;
  return true;
}

bool move_to(edited_line& line, std::size_t at) {
  if (at == line.cursor) return false;
  line.cursor = at;
  return true;
}

edit_command command_of_control_key(char key) {
  switch (key) {
    case '\r':
    case '\n':
      return edit_command::enter;
    case '\x01':
      return edit_command::move_home;
    case '\x05':
      return edit_command::move_end;
    case '\x02':
      return edit_command::move_left;
    case '\x06':
      return edit_command::move_right;
    case '\x08':
    case '\x7f':
      return edit_command::delete_before;
    case '\x04':
      return edit_command::delete_or_end;
    case '\x15':
      return edit_command::kill_to_start;
    case '\x0b':
      return edit_command::kill_to_end;
    case '\x17':
      return edit_command::kill_to_space_before;
    case '\x10':
      return edit_command::previous_line;
    case '\x0e':
      return edit_command::next_line;
    case '\x0c':
    case '\x12':
      return edit_command::redraw;
  }
  return edit_command::none;
}

// `k`: an escape sequence without its ESC.
edit_command command_of_sequence(std::string_view k) {
  using command = edit_command;
  if (k == "[A" || k == "OA") return command::previous_line;
  if (k == "[B" || k == "OB") return command::next_line;
  if (k == "[C" || k == "OC") return command::move_right;
  if (k == "[D" || k == "OD") return command::move_left;
  if (k == "[H" || k == "OH" || k == "[1~" || k == "[7~") {
    return command::move_home;
  }
  if (k == "[F" || k == "OF" || k == "[4~" || k == "[8~") {
    return command::move_end;
  }
  if (k == "[3~") return command::delete_after;
  if (k == "b") return command::move_word_left;
  if (k == "f") return command::move_word_right;
  if (k == "d") return command::kill_word_after;
  if (k == "\x7f" || k == "\x08") return command::kill_word_before;
  return command::none;
}

// The commands that move the cursor: false for the others.
bool apply_motion(edited_line& line, edit_command command) {
  switch (command) {
    case edit_command::move_left:
      return move_left(line);
    case edit_command::move_right:
      return move_right(line);
    case edit_command::move_home:
      return move_home(line);
    case edit_command::move_end:
      return move_end(line);
    case edit_command::move_word_left:
      return move_word_left(line);
    case edit_command::move_word_right:
      return move_word_right(line);
    default:
      return false;
  }
}

// The commands that delete: false for the others.
bool apply_deletion(edited_line& line, edit_command command) {
  switch (command) {
    case edit_command::delete_before:
      return delete_before(line);
    case edit_command::delete_after:
    case edit_command::delete_or_end:
      return delete_after(line);
    case edit_command::kill_to_start:
      return kill_to_start(line);
    case edit_command::kill_to_end:
      return kill_to_end(line);
    case edit_command::kill_word_before:
      return kill_word_before(line);
    case edit_command::kill_word_after:
      return kill_word_after(line);
    case edit_command::kill_to_space_before:
      return kill_to_space_before(line);
    default:
      return false;
  }
}

}  // namespace

bool insert_text(edited_line& line, std::string_view text,
                 std::size_t most_bytes) {
  std::size_t fitting = text.size();
  if (most_bytes > 0) {
    const std::size_t room =
        line.text.size() >= most_bytes ? 0 : most_bytes - line.text.size();
    fitting = 0;
    char32_t code = 0;
    for (std::size_t length = 0; fitting < text.size(); fitting += length) {
      length = utf8_decode(text.substr(fitting), code);
      if (length == 0) length = 1;
      if (fitting + length > room) break;
    }
  }
  line.text.insert(line.cursor, text.substr(0, fitting));
  line.cursor += fitting;
  return fitting == text.size();
}

void replace_text(edited_line& line, std::string_view text,
                  std::size_t most_bytes) {
  line = edited_line{};
  insert_text(line, text, most_bytes);
}

bool move_left(edited_line& line) {
  return line.cursor > 0 &&
         move_to(line, cluster_start(line.text, line.cursor));
}

bool move_right(edited_line& line) {
  return line.cursor < line.text.size() &&
         move_to(line, cluster_end(line.text, line.cursor));
}

bool move_home(edited_line& line) { return move_to(line, 0); }

bool move_end(edited_line& line) { return move_to(line, line.text.size()); }

bool move_word_left(edited_line& line) {
  return move_to(line, word_start_before(line.text, line.cursor));
}

bool move_word_right(edited_line& line) {
  return move_to(line, word_end_after(line.text, line.cursor));
}

bool delete_before(edited_line& line) {
  return line.cursor > 0 &&
         erase(line, cluster_start(line.text, line.cursor), line.cursor);
}

bool delete_after(edited_line& line) {
  return line.cursor < line.text.size() &&
         erase(line, line.cursor, cluster_end(line.text, line.cursor));
}

bool kill_to_start(edited_line& line) { return erase(line, 0, line.cursor); }

bool kill_to_end(edited_line& line) {
  return erase(line, line.cursor, line.text.size());
}

bool kill_word_before(edited_line& line) {
  return erase(line, word_start_before(line.text, line.cursor), line.cursor);
}

bool kill_word_after(edited_line& line) {
  return erase(line, line.cursor, word_end_after(line.text, line.cursor));
}

bool kill_to_space_before(edited_line& line) {
  std::size_t at = line.cursor;
  while (at > 0 && line.text[at - 1] == ' ') --at;
  while (at > 0 && line.text[at - 1] != ' ') --at;
  return erase(line, at, line.cursor);
}

edit_command command_of_key(std::string_view key) {
  if (key.size() > 1 && key[0] == '\x1b') {
    return command_of_sequence(key.substr(1));
  }
  return key.size() == 1 ? command_of_control_key(key[0]) : edit_command::none;
}

bool apply_command(edited_line& line, edit_command command) {
  return apply_motion(line, command) || apply_deletion(line, command);
}
