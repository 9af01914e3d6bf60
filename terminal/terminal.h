// The process's console, the platform's side of it: the bytes of standard
// input and output. Each platform has its own implementation, chosen by the
// build; the dialogue sees only the stream buffers built on these calls.
#ifndef CARDSTOW_TERMINAL_TERMINAL_H_
#define CARDSTOW_TERMINAL_TERMINAL_H_

#include <cstddef>
#include <string_view>

// Readies the process's console for a run; call once, before the others.
// From then on a standard output that no one reads any more (a closed pipe)
// fails the write with EPIPE instead of ending the process.
void open_console();

// Reads up to `size` (> 0) bytes of standard input into `buffer`, waiting for
// at least one. Returns how many were read: 0 at end of input, and 0 on a
// read error, which sets `error` to the system's errno.
std::size_t read_standard_input(char* buffer, std::size_t size, int& error);

// Writes all of `bytes` to standard output. Returns false when a write fails,
// with `error` set to the system's errno.
bool write_standard_output(std::string_view bytes, int& error);

#endif  // CARDSTOW_TERMINAL_TERMINAL_H_
