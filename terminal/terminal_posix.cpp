// The console on POSIX systems: file descriptors 0 and 1.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "terminal/terminal.h"

void open_console() { signal(SIGPIPE, SIG_IGN); }

std::size_t read_standard_input(char* buffer, std::size_t size, int& error) {
  for (;;) {
    const ssize_t got = read(0, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Input that does not block has nothing yet: wait until it has.
      pollfd input{0, POLLIN, 0};
      if (poll(&input, 1, -1) >= 0 || errno == EINTR) continue;
    } else if (errno == EINTR) {
      continue;
    }
    error = errno;
    return 0;
  }
}

// A terminal that has hung up fails every request but a read with EIO.
bool standard_input_hung_up() {
  termios modes{};
  return tcgetattr(0, &modes) != 0 && errno == EIO;
}

std::size_t standard_input_end(std::string_view text) { return text.size(); }

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
