// Starts a child process with piped console streams and drives it with poll,
// so a child that writes much while the test still feeds it never deadlocks.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>
#include <utility>

namespace {

using clock_type = std::chrono::steady_clock;

constexpr std::size_t read_size = 64u << 10;

void close_fd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

struct pipe_ends {
  int read = -1;
  int write = -1;
};

bool make_pipe(pipe_ends& ends) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  ends.read = fds[0];
  ends.write = fds[1];
  return true;
}

void close_pipe(pipe_ends& ends) {
  close_fd(ends.read);
  close_fd(ends.write);
}

// In the child between fork and exec: only async-signal-safe calls.
// A negative `in` leaves the child without standard input.
[[noreturn]] void become_program(int in, int out, int err, const char* dir,
                                 char* const argv[]) {
  if ((in < 0 ? close(0) : dup2(in, 0)) < 0 || dup2(out, 1) < 0 ||
      dup2(err, 2) < 0) {
    _exit(126);
  }
  if (chdir(dir) != 0) {
    const char message[] = "child_process: cannot enter the directory\n";
    [[maybe_unused]] const ssize_t n = write(2, message, sizeof message - 1);
    _exit(126);
  }
  // Nothing but the standard streams: what the test process inherited would
  // change what the program's descriptors are, and its limits.
  close_range(3, ~0U, 0);
  // The program's own handling of a closed pipe is under test: it must not
  // inherit the test's ignored SIGPIPE, nor a blocked signal.
  signal(SIGPIPE, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execv(argv[0], argv);
  const char message[] = "child_process: cannot start the program\n";
  [[maybe_unused]] const ssize_t n = write(2, message, sizeof message - 1);
  _exit(127);
}

// The parent's side of the child's standard input.
struct input_feed {
  int fd = -1;
  input_source source;
  std::string chunk;
  std::size_t sent = 0;
  bool waiting = false;  // the source has nothing yet
};

// Writes what the pipe takes now, pulling new chunks from the source as the
// old ones go out. Closes the pipe once the input is over or the child has
// stopped reading.
void feed(input_feed& input) {
  while (input.fd >= 0) {
    if (input.sent == input.chunk.size()) {
      input.chunk.clear();
      input.sent = 0;
      if (!input.source || !input.source(input.chunk)) {
        close_fd(input.fd);
        return;
      }
      input.waiting = input.chunk.empty();
      if (input.waiting) return;
      continue;
    }
    const ssize_t n = write(input.fd, input.chunk.data() + input.sent,
                            input.chunk.size() - input.sent);
    if (n > 0) {
      input.sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return;
    } else {
      close_fd(input.fd);  // EPIPE: the child no longer reads
    }
  }
}

// Reads what is ready on `fd` into `into`, keeping at most `limit` bytes.
// Closes `fd` at its end.
void drain(int& fd, std::string& into, std::size_t limit, bool& cut) {
  char buffer[read_size];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    close_fd(fd);
    return;
  }
  const auto got = static_cast<std::size_t>(n);
  const std::size_t room = limit - std::min(limit, into.size());
  into.append(buffer, std::min(got, room));
  if (got > room) cut = true;
}

int millis_until(clock_type::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - clock_type::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1000));
}

// Feeds and drains until the child has closed both output streams. Returns
// false, with the reason in `result`, when the deadline passed first or
// poll failed.
bool pump(input_feed& input, int& out, int& err, child_result& result,
          std::size_t limit, clock_type::time_point deadline) {
  while (out >= 0 || err >= 0) {
    if (clock_type::now() >= deadline) {
      result.timed_out = true;
      result.problem = "the time limit ran out";
      return false;
    }
    // A source with nothing yet is asked again every few milliseconds.
    pollfd fds[3] = {{input.waiting ? -1 : input.fd, POLLOUT, 0},
                     {out, POLLIN, 0},
                     {err, POLLIN, 0}};
    const int wait = input.waiting ? std::min(millis_until(deadline), 10)
                                   : millis_until(deadline);
    if (poll(fds, 3, wait) < 0 && errno != EINTR) {
      result.problem = "poll failed: " + std::string(strerror(errno));
      return false;
    }
    if (input.waiting ||
        (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      feed(input);
    }
    if (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) {
      drain(out, result.out, limit, result.output_cut);
    }
    if (fds[2].revents & (POLLIN | POLLERR | POLLHUP)) {
      drain(err, result.err, limit, result.output_cut);
    }
  }
  return true;
}

// Reaps the child, killing it first when the deadline passes.
void reap(pid_t pid, clock_type::time_point deadline, child_result& result) {
  int status = 0;
  rusage usage{};
  pid_t done = 0;
  while ((done = wait4(pid, &status, WNOHANG, &usage)) == 0 &&
         clock_type::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (done == 0) {
    result.timed_out = true;
    result.problem = "the time limit ran out";
    kill(pid, SIGKILL);
    done = wait4(pid, &status, 0, &usage);
  }
  if (done != pid) {
    result.problem =
        "cannot wait for the child: " + std::string(strerror(errno));
    return;
  }
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.peak_rss_kib = usage.ru_maxrss;
}

std::vector<char*> argv_of(const std::string& program,
                           std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

// A connected pair of sockets, `ends.read` for the child. The test's end
// holds a byte it never reads, so that closing it resets the connection.
bool make_reset_socket(pipe_ends& ends) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    return false;
  }
  ends.read = fds[1];
  ends.write = fds[0];
  return write(ends.read, "x", 1) == 1;
}

// The read end of the child's standard input: none, the named file, a
// socket or a pipe.
bool open_child_input(const child_run& run, pipe_ends& in) {
  if (run.close_input) return true;
  if (!run.input_file.empty()) {
    in.read = open(run.input_file.c_str(), O_RDONLY | O_CLOEXEC);
    return in.read >= 0;
  }
  if (run.reset_input) return make_reset_socket(in);
  if (!make_pipe(in)) return false;
  return !run.nonblocking_input || fcntl(in.read, F_SETFL, O_NONBLOCK) == 0;
}

// Where the child's standard output goes: the named file or a pipe, which
// no one reads when run.output_unread.
bool open_child_output(const child_run& run, pipe_ends& out) {
  if (run.output_file.empty()) {
    if (!make_pipe(out)) return false;
    if (run.output_unread) close_fd(out.read);
    return true;
  }
  out.write = open(run.output_file.c_str(), O_WRONLY | O_CLOEXEC);
  return out.write >= 0;
}

}  // namespace

input_source two_part_source(std::string first, std::string second,
                             std::chrono::milliseconds pause) {
  return
      [first = std::move(first), second = std::move(second), pause, parts = 0,
       given = clock_type::time_point()](std::string& chunk) mutable {
        if (parts == 0) {
          given = clock_type::now();
          chunk = first;
        } else if (parts == 1 && clock_type::now() - given < pause) {
          chunk.clear();  // nothing yet
          return true;
        } else if (parts == 1) {
          chunk = second;
        } else {
          return false;
        }
        ++parts;
        return true;
      };
}

input_source bytes_source(std::string bytes) {
  return [bytes = std::move(bytes), given = false](std::string& chunk) mutable {
    if (given) return false;
    given = true;
    chunk = std::move(bytes);
    return true;
  };
}

child_result run_child(const child_run& run) {
  child_result result;
  // A child that stops reading must not take the test down with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  pipe_ends in, out, err;
  if (!open_child_input(run, in) || !open_child_output(run, out) ||
      !make_pipe(err)) {
    result.problem =
        "cannot set up the child's streams: " + std::string(strerror(errno));
    close_pipe(in);
    close_pipe(out);
    close_pipe(err);
    return result;
  }
  std::vector<std::string> args = run.args;
  const std::vector<char*> argv = argv_of(run.program, args);
  const auto deadline = clock_type::now() + run.time_limit;
  const pid_t pid = fork();
  if (pid == 0) {
    become_program(in.read, out.write, err.write, run.directory.c_str(),
                   argv.data());
  }
  close_fd(in.read);
  close_fd(out.write);
  close_fd(err.write);
  if (pid < 0) {
    result.problem = "cannot fork: " + std::string(strerror(errno));
    close_pipe(in);
    close_pipe(out);
    close_pipe(err);
    return result;
  }
  if (run.started) run.started(pid);
  input_feed input{in.write, run.input, {}, 0, false};
  if (input.fd >= 0) fcntl(input.fd, F_SETFL, O_NONBLOCK);
  feed(input);
  if (!pump(input, out.read, err.read, result, run.output_limit, deadline)) {
    kill(pid, SIGKILL);
  }
  reap(pid, deadline, result);
  close_fd(input.fd);
  close_pipe(out);
  close_pipe(err);
  return result;
}

child_result run_cardstow(const std::string& directory, std::string input,
                          std::vector<std::string> args) {
  child_run run;
  run.directory = directory;
  run.input = bytes_source(std::move(input));
  run.args = std::move(args);
  return run_child(run);
}

std::string describe_end(const child_result& result) {
  std::ostringstream line;
  if (!result.problem.empty())
    line << "run failed (" << result.problem << "); ";
  if (result.signal != 0) {
    line << "ended by signal " << result.signal;
  } else {
    line << "exit status " << result.exit_status;
  }
  line << "; stderr: " << std::string_view(result.err).substr(0, 500);
  return line.str();
}

std::string stored_lines(const std::string& name) {
  return "\nAll this information has been stored in " + name + "\n" +
         thanks_line;
}

testing::AssertionResult split_screen(const std::string& out,
                                      std::string& rest) {
  const std::string stars(60, '*');
  const std::string blank = "        *" + std::string(60, ' ') + "*";
  const std::vector<std::string> fixed = {
      "        /" + stars + "\\",
      blank,
      "        *                Cardstow Roster Sheet Keeper                *",
      "",  // the credit line: only its frame is fixed
      "        *" + std::string(46, ' ') + "Verson 1.0    *",
      blank,
      "        \\" + stars + "/",
      "",
      ""};
  std::size_t at = 0;
  for (std::size_t i = 0; i < fixed.size(); ++i) {
    const std::size_t end = out.find('\n', at);
    if (end == std::string::npos) {
      return testing::AssertionFailure() << "screen ends at line " << i + 1;
    }
    const std::string line = out.substr(at, end - at);
    const bool framed_credit = line.size() == 70 &&
                               line.starts_with("        *") &&
                               line.ends_with("*");
    if (i == 3 ? !framed_credit : line != fixed[i]) {
      return testing::AssertionFailure()
             << "screen line " << i + 1 << " is \"" << line << "\"";
    }
    at = end + 1;
  }
  rest = out.substr(at);
  return testing::AssertionSuccess();
}

temp_dir::temp_dir() {
  char pattern[] = "/tmp/cardstow-test-XXXXXX";
  if (mkdtemp(pattern) != nullptr) path = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

std::vector<std::string> entries_of(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string file_content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}
