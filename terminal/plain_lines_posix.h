// Lines typed at a terminal where the line editor does not run (POSIX:
// TERM dumb or unknown, or output not to the terminal): each key is echoed
// as typed, only at the end of the line, with the plainest of controls, so
// that no escape sequence a key sends, nor what is left of one, reaches an
// answer.
#ifndef CARDSTOW_TERMINAL_PLAIN_LINES_POSIX_H_
#define CARDSTOW_TERMINAL_PLAIN_LINES_POSIX_H_

#include <string>
#include <string_view>

#include "terminal/key_input_posix.h"

struct plain_lines {
  key_input input;  // input.utf8 false: any byte but a control is text
  int echo = -1;    // where keys are echoed: the terminal, as fd 0 or fd 1
};

// Where keys typed without the editor are echoed: the terminal, written
// through standard input when it is open for writing (as a terminal usually
// is), else standard output when that is the terminal; -1 when neither.
int plain_echo_descriptor();

// Writes `prompt` to standard output (a failed write shows again at the next
// write of console output), then reads keys from the terminal, which must be
// in raw mode (no echo, no lines collected, CR kept), until a line end or
// Ctrl-D, and appends the line to `line`: text and Tab as typed and echoed;
// Backspace deletes the last character, Ctrl-U the line, Ctrl-W back to the
// previous space, each erased from the screen with backspaces; escape
// sequences and other control keys are dropped. Enter (CR or LF, the LF of a
// CR LF once) appends "\n"; Ctrl-D appends the line without one, or ends
// input on an empty line. Returns false at end of input or on a read error,
// which sets `error` to its errno.
bool read_plain_line(plain_lines& plain, std::string_view prompt,
                     std::string& line, int& error);

#endif  // CARDSTOW_TERMINAL_PLAIN_LINES_POSIX_H_
