// Reads of a terminal in its own line mode.
#include "terminal/plain_lines_posix.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "terminal/terminal.h"

namespace {

// Reads what the terminal has into `buffer`: the count, 0 at its end, or -1
// with errno set.
ssize_t read_terminal(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(0, buffer, size);
    if (got >= 0 || (errno != EINTR && errno != EAGAIN)) return got;
    if (errno == EAGAIN) {
      pollfd input{0, POLLIN, 0};
      poll(&input, 1, -1);
    }
  }
}

}  // namespace

bool read_plain_line(plain_lines& plain, std::string_view prompt,
                     std::string& line, int& error) {
  int ignored = 0;
  write_standard_output(prompt, ignored);
  const std::size_t start = line.size();
  char buffer[4096];
  while (line.size() == start) {
    const ssize_t got = read_terminal(buffer, sizeof buffer);
    if (got < 0) error = errno;
    if (got <= 0) return false;
    line += without_escape_sequences(
        plain.keys, std::string_view(buffer, static_cast<std::size_t>(got)));
  }
  return true;
}
