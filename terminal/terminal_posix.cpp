// The console on POSIX systems: file descriptors 0 and 1.
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "terminal/terminal.h"

void open_console() { signal(SIGPIPE, SIG_IGN); }

std::size_t read_standard_input(char* buffer, std::size_t size, int& error) {
  for (;;) {
    const ssize_t got = read(0, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) {
      error = errno;
      return 0;
    }
  }
}

bool write_standard_output(std::string_view bytes, int& error) {
  while (!bytes.empty()) {
    const ssize_t put = write(1, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = put < 0 ? errno : EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// A terminal's window belongs to the shell or terminal that runs the program.
void close_console() {}

bool standard_output_is_terminal() { return isatty(1) == 1; }
