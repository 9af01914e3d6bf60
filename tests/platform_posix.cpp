// What the tests expect on POSIX systems (tests/platform.h), and the file
// system calls they make fail: the test program's own fsync, close,
// ftruncate and rename stand in for the C library's, and do the work with the
// bare system call.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform.h"

const bool on_windows = false;
const std::string_view file_line_end = "\n";
const int directory_open_error = EISDIR;

namespace {

struct failing_call {
  int error = 0;
  std::function<void()> before;
};
failing_call failing[4];

template <typename... Args>
int call_failing(file_call call, long number, Args... args) {
  const failing_call& f = failing[static_cast<int>(call)];
  if (f.before) f.before();
  const long result = syscall(number, args...);
  if (result != 0 || f.error == 0) return static_cast<int>(result);
  errno = f.error;
  return -1;
}

}  // namespace

extern "C" int fsync(int fd) {
  return call_failing(file_call::sync, SYS_fsync, fd);
}

extern "C" int close(int fd) {
  return call_failing(file_call::close, SYS_close, fd);
}

extern "C" int ftruncate(int fd, off_t length) {
  return call_failing(file_call::truncate, SYS_ftruncate, fd, length);
}

// A failing rename does not rename: the name keeps the old file.
extern "C" int rename(const char* from, const char* to) {
  const failing_call& f = failing[static_cast<int>(file_call::rename)];
  if (f.error == 0) {
    return call_failing(file_call::rename, SYS_renameat, AT_FDCWD, from,
                        AT_FDCWD, to);
  }
  if (f.before) f.before();
  errno = f.error;
  return -1;
}

bool fail_file_call(file_call call, int error, std::function<void()> before) {
  failing[static_cast<int>(call)] = {error, std::move(before)};
  return true;
}

bool limit_file_size(long long size) {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
  limit.rlim_cur = size < 0 ? limit.rlim_max : static_cast<rlim_t>(size);
  signal(SIGXFSZ, SIG_IGN);  // a failed write, not the end of the test
  return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}
