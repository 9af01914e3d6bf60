// The console on POSIX systems: file descriptors 0 and 1.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "terminal/terminal.h"

namespace {

// Which of descriptors 0, 1 and 2 were closed when the program started.
bool closed_at_start[3] = {};

// Holds each closed standard descriptor on /dev/null, so that no file the
// program opens (the record) becomes standard input, output or error.
void hold_closed_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closed_at_start[fd] = true;
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

}  // namespace

void open_console() {
  hold_closed_streams();
  signal(SIGPIPE, SIG_IGN);
}

std::size_t read_standard_input(char* buffer, std::size_t size, int& error) {
  if (closed_at_start[0]) {
    error = EBADF;
    return 0;
  }
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
  if (closed_at_start[1]) {
    error = EBADF;
    return false;
  }
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
