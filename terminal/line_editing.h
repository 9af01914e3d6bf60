// The editing commands of the line editor: pure functions over a line of
// UTF-8 text and a cursor in it, moving and deleting whole grapheme clusters
// (a letter with its accents, an emoji sequence, a flag) as text/unicode.h
// finds them. No terminal is involved: the session draws the result.
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

#endif  // CARDSTOW_TERMINAL_LINE_EDITING_H_
