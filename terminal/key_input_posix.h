// Raw key input from a terminal the line editor has in raw mode (POSIX): the
// bytes of standard input read one at a time and decoded into keys.
#ifndef CARDSTOW_TERMINAL_KEY_INPUT_POSIX_H_
#define CARDSTOW_TERMINAL_KEY_INPUT_POSIX_H_

#include <termios.h>

#include <string>

#include "terminal/key_decoding.h"

// Where the decoding of the keys typed stands, between reads.
struct key_input {
  bool utf8 = true;  // false: each byte of text is a key of its own
  key_decoder decoder;
  std::string character;  // the bytes of a UTF-8 character not yet whole
};

// What read_key gave.
enum class key_read {
  key,     // a key, in `key`
  redraw,  // the window was resized or the program resumed: draw anew
  ended,   // the end of input
  failed,  // a read error; `error` holds its errno
};

// Waits for and reads the next key into `key`: one whole, well-formed UTF-8
// character (text or a control key; one byte when not input.utf8), or an
// escape sequence (starting with ESC), as key_decoding.h tells them apart.
// Bytes that are no UTF-8, mouse
// reports and terminal replies are dropped; a cursor position report
// (ESC [ row ; column R) is given like a key. One byte is read at a time, so
// that what is typed after the last line stays unread for whatever reads the
// terminal next. While it waits, SIGWINCH and SIGCONT (which must be blocked
// otherwise) are let through: either makes it return key_read::redraw once
// terminal_redraw_due is set. EINTR and EAGAIN are waited out.
key_read read_key(key_input& input, std::string& key, int& error);

// Whether a byte waits to be read at once: keys that come together, as a
// paste does.
bool key_waiting();

// Waits up to `milliseconds` for a byte to read; false when none came.
bool wait_for_key(int milliseconds);

// The terminal's modes for reading keys, from `found`: no echo, no lines
// collected, CR kept as CR (so that CR LF is one line end), a line feed
// written as CR LF; the signal keys still signal.
termios raw_key_modes(const termios& found);

// Blocks SIGWINCH and SIGCONT, which read_key alone lets through.
void block_redraw_signals();

// Unblocks them again.
void unblock_redraw_signals();

#endif  // CARDSTOW_TERMINAL_KEY_INPUT_POSIX_H_
