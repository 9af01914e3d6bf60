// Lines read whole from a terminal in its own line mode, where no line
// editor runs (POSIX): the escape sequences keys send are left out.
#ifndef CARDSTOW_TERMINAL_PLAIN_LINES_POSIX_H_
#define CARDSTOW_TERMINAL_PLAIN_LINES_POSIX_H_

#include <string>
#include <string_view>

#include "terminal/key_decoding.h"

struct plain_lines {
  key_decoder keys;  // a sequence cut between two reads
};

// Writes `prompt` to standard output (a failed write shows again at the next
// write of console output), then reads what the terminal gives next (a line,
// or what was typed before Ctrl-D) and appends it to `line` without its
// escape sequences. Waits out EINTR and EAGAIN. Returns false at end of
// input or on a read error, which sets `error` to its errno.
bool read_plain_line(plain_lines& plain, std::string_view prompt,
                     std::string& line, int& error);

#endif  // CARDSTOW_TERMINAL_PLAIN_LINES_POSIX_H_
