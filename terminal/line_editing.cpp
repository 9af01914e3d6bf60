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

struct key_binding {
  std::string_view key;
  edit_command command;
};

// The keys the editor knows, control keys and escape sequences, each cursor
// key in its two modes (CSI and SS3).
namespace keys {
using enum edit_command;
constexpr key_binding bindings[] = {
    {"\r", enter},
    {"\n", enter},
    {"\x01", move_home},             // Ctrl-A
    {"\x05", move_end},              // Ctrl-E
    {"\x02", move_left},             // Ctrl-B
    {"\x06", move_right},            // Ctrl-F
    {"\x08", delete_before},         // Ctrl-H
    {"\x7f", delete_before},         // Backspace
    {"\x04", delete_or_end},         // Ctrl-D
    {"\x15", kill_to_start},         // Ctrl-U
    {"\x0b", kill_to_end},           // Ctrl-K
    {"\x17", kill_to_space_before},  // Ctrl-W
    {"\x10", previous_line},         // Ctrl-P
    {"\x0e", next_line},             // Ctrl-N
    {"\x0c", redraw},                // Ctrl-L
    {"\x12", redraw},                // Ctrl-R
    {"\x1b[A", previous_line},       // Up
    {"\x1bOA", previous_line},
    {"\x1b[B", next_line},  // Down
    {"\x1bOB", next_line},
    {"\x1b[C", move_right},  // Right
    {"\x1bOC", move_right},
    {"\x1b[D", move_left},  // Left
    {"\x1bOD", move_left},
    {"\x1b[H", move_home},  // Home
    {"\x1bOH", move_home},
    {"\x1b[1~", move_home},
    {"\x1b[7~", move_home},
    {"\x1b[F", move_end},  // End
    {"\x1bOF", move_end},
    {"\x1b[4~", move_end},
    {"\x1b[8~", move_end},
    {"\x1b[3~", delete_after},       // Delete
    {"\033b", move_word_left},       // Alt-B
    {"\033f", move_word_right},      // Alt-F
    {"\033d", kill_word_after},      // Alt-D
    {"\x1b\x7f", kill_word_before},  // Alt-Backspace, as DEL or as BS
    {"\x1b\x08", kill_word_before},
};
}  // namespace keys

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
  for (const key_binding& binding : keys::bindings) {
    if (binding.key == key) return binding.command;
  }
  return edit_command::none;
}

bool apply_command(edited_line& line, edit_command command) {
  return apply_motion(line, command) || apply_deletion(line, command);
}
