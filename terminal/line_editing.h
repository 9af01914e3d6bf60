// The editing commands of the line editor and the keys bound to them: pure
// functions over a line of UTF-8 text and a cursor in it, moving and deleting
// whole grapheme clusters (a letter with its accents, an emoji sequence, a
// flag) as text/unicode.h finds them. No terminal is involved: the session
// reads the keys and draws the result.
#ifndef CARDSTOW_TERMINAL_LINE_EDITING_H_
#define CARDSTOW_TERMINAL_LINE_EDITING_H_

#include <cstddef>
#include <string>
#include <string_view>

// A line being edited: its text, and the cursor as a byte offset into it,
// always at the start of a cluster or at the end.
struct edited_line {
  std::string text;
  std::size_t cursor = 0;
};

// Inserts `text` (well-formed UTF-8) at the cursor and moves the cursor past
// it. With `most_bytes` > 0 the line is held to that many bytes: only the
// whole characters that fit go in. Returns false when some did not fit.
bool insert_text(edited_line& line, std::string_view text,
                 std::size_t most_bytes);

// Replaces the line with `text`, held as insert_text holds it, the cursor at
// its end.
void replace_text(edited_line& line, std::string_view text,
                  std::size_t most_bytes);

// Each of these returns false, changing nothing, when there is nothing to
// move over or delete.

bool move_left(edited_line& line);   // one cluster back
bool move_right(edited_line& line);  // one cluster on
bool move_home(edited_line& line);   // to the start
bool move_end(edited_line& line);    // to the end
// Back to the start of the word before the cursor, or on to the end of the
// word after it; words are runs of letters and digits.
bool move_word_left(edited_line& line);
bool move_word_right(edited_line& line);

bool delete_before(edited_line& line);  // the cluster before the cursor
bool delete_after(edited_line& line);   // the cluster under the cursor
bool kill_to_start(edited_line& line);  // all before the cursor (Ctrl-U)
bool kill_to_end(edited_line& line);    // all from the cursor on (Ctrl-K)
// Back to the start of the word before the cursor, as readline's
// backward-kill-word (Alt-Backspace): "saves/hero.TXT" loses "TXT".
bool kill_word_before(edited_line& line);
// On to the end of the word after the cursor (Alt-D).
bool kill_word_after(edited_line& line);
// Back to the previous space, as readline's unix-word-rubout (Ctrl-W):
// "saves/hero.TXT" loses all of it.
bool kill_to_space_before(edited_line& line);

// What a key asks of the editor.
enum class edit_command {
  none,  // nothing: a key the editor does not know (text is no command)
  enter,
  delete_or_end,  // Ctrl-D: delete_after, or the end of input on an empty line
  redraw,         // draw the prompt and the line again
  previous_line,  // the history's line before the one shown
  next_line,      // and after it
  move_left,
  move_right,
  move_home,
  move_end,
  move_word_left,
  move_word_right,
  delete_before,
  delete_after,
  kill_to_start,
  kill_to_end,
  kill_word_before,
  kill_word_after,
  kill_to_space_before,
};

// The command bound to `key`, a control key (one byte) or an escape sequence
// (from ESC on) as terminal/key_decoding.h gives them: the Emacs keys of
// shells (Ctrl-A, -E, -B, -F, -D, -H, -U, -K, -W, -P, -N, -L, Alt-B, -F, -D,
// Alt-Backspace, Enter) and the arrow, Home, End and Delete keys, in both
// their cursor-key modes.
edit_command command_of_key(std::string_view key);

// Carries out `command` on `line` when it is one of the commands named as a
// function above (delete_or_end as delete_after); false, changing nothing, for
// the others or when there is nothing to move over or delete.
bool apply_command(edited_line& line, edit_command command);

#endif  // CARDSTOW_TERMINAL_LINE_EDITING_H_
