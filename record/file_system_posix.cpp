// The record file on POSIX systems: a name is the bytes typed, handed to the
// system as they are; the file is one descriptor from open to close.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "record/file_system.h"

namespace {

int fd_of(const record_handle& file) { return static_cast<int>(file.value); }

int system_error() { return errno != 0 ? errno : EIO; }

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Never waits: a FIFO without a reader fails with ENXIO instead of hanging.
constexpr int open_flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// A descriptor on `name`, made new when it is missing (`created`), or -1.
// When the name keeps vanishing and reappearing, or is a link to nothing,
// the last try creates it without telling whether it was there.
int open_or_create(const char* name, bool& created) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = open(name, open_flags | O_CREAT | O_EXCL, 0666);
    created = fd >= 0;
    if (fd >= 0 || errno != EEXIST) return fd;
    const int existing = open(name, open_flags);
    if (existing >= 0 || errno != ENOENT) return existing;
  }
  created = false;
  return open(name, open_flags | O_CREAT, 0666);
}

// Which console stream writes or reads the very file `st` is: 0, 1, 2, or
// -1 for none. Only files on disk count, so a terminal is never one of them.
int console_stream_of(const struct stat& st) {
  for (int fd = 0; fd <= 2; ++fd) {
    struct stat console {};
    if (fstat(fd, &console) == 0 && S_ISREG(console.st_mode) &&
        same_file(console, st)) {
      return fd;
    }
  }
  return -1;
}

// An exclusive lock on the whole file, not waiting for it: 0, or
// refused_other_writer. A file system without locks is no reason to refuse.
int lock_exclusively(int fd) {
#ifdef F_OFD_SETLK
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return 0;
  if (errno == EAGAIN || errno == EACCES) return refused_other_writer;
  if (errno != EINVAL) return 0;
#endif
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EWOULDBLOCK ? refused_other_writer : 0;
}

// What makes the open file `fd` unfit for the record: 0 when nothing does.
int check_opened(int fd, record_handle& file) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return system_error();
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return system_error();
  }
  file.on_disk = S_ISREG(st.st_mode);
  if (!file.on_disk) return 0;
  const int console = console_stream_of(st);
  if (console == 0) return refused_answers_file;
  if (console > 0) return refused_console_output;
  return lock_exclusively(fd);
}

// Syncs `fd`; what cannot be synced is no failure.
int sync_descriptor(int fd) {
  while (fsync(fd) != 0) {
    if (errno == EINTR) continue;
    if (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP ||
        errno == ENOSYS) {
      return 0;
    }
    return system_error();
  }
  return 0;
}

// The folder `name` is in, as a name.
std::string folder_of(const char* name) {
  const char* slash = std::strrchr(name, '/');
  if (slash == nullptr) return ".";
  if (slash == name) return "/";
  return std::string(name, slash);
}

// Syncs the folder holding `name`, so that a new file's entry is on disk. A
// folder this run may not open for reading cannot be synced.
int sync_folder(const char* name) {
  const int fd =
      open(folder_of(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  const int error = sync_descriptor(fd);
  close(fd);
  return error;
}

// Removes `name` when `fd` is still empty and `name` still names it. Only
// async-signal-safe calls: a signal handler uses it too.
void unlink_if_new_and_empty(int fd, const char* name) {
  struct stat open_file_st {};
  struct stat named {};
  if (fstat(fd, &open_file_st) == 0 && S_ISREG(open_file_st.st_mode) &&
      open_file_st.st_size == 0 && stat(name, &named) == 0 &&
      same_file(open_file_st, named)) {
    unlink(name);
  }
}

// The file the ending-signal handlers remove, and what they replaced.
constexpr int ending_signals[] = {SIGINT, SIGHUP, SIGTERM, SIGQUIT};
constexpr int signal_count = sizeof ending_signals / sizeof ending_signals[0];
struct new_file_guard {
  volatile sig_atomic_t fd = -1;
  char name[4096] = {};
  bool installed[signal_count] = {};
  struct sigaction replaced[signal_count] = {};
};
new_file_guard guard;

// Passes signal `sig`, number `index` of ending_signals, on: to the handler
// it replaced, or to the default action, which ends the process.
void pass_on(int index, int sig, siginfo_t* info, void* context) {
  const struct sigaction& before = guard.replaced[index];
  if ((before.sa_flags & SA_SIGINFO) != 0 && before.sa_sigaction != nullptr) {
    before.sa_sigaction(sig, info, context);
    return;
  }
  if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
    before.sa_handler(sig);
    return;
  }
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigaction(sig, &fallback, nullptr);
  sigset_t unblocked;
  sigemptyset(&unblocked);
  sigaddset(&unblocked, sig);
  raise(sig);
  sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
}

void on_ending_signal(int sig, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  const int fd = guard.fd;
  guard.fd = -1;
  if (fd >= 0) unlink_if_new_and_empty(fd, guard.name);
  for (int i = 0; i < signal_count; ++i) {
    if (ending_signals[i] == sig) pass_on(i, sig, info, context);
  }
  errno = saved_errno;
}

// Installs the handler for ending_signals[index] unless the signal is
// ignored.
void install_guard(int index) {
  struct sigaction before {};
  const int sig = ending_signals[index];
  if (sigaction(sig, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
    return;
  }
  struct sigaction action {};
  action.sa_sigaction = on_ending_signal;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigfillset(&action.sa_mask);
  guard.installed[index] = sigaction(sig, &action, &guard.replaced[index]) == 0;
}

}  // namespace

int open_file(const char* name, record_handle& file) {
  file = record_handle{};
  errno = 0;
  const int fd = open_or_create(name, file.created);
  if (fd < 0) return system_error();
  if (const int refusal = check_opened(fd, file); refusal != 0) {
    close(fd);
    return refusal;
  }
  file.value = fd;
  return 0;
}

bool write_file(record_handle& file, std::string_view bytes, int& error) {
  while (!bytes.empty()) {
    const ssize_t put = write(fd_of(file), bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = put < 0 ? system_error() : EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// An empty file is left alone: truncating it would only make some file
// systems (ext4) write out its blocks at the close.
int empty_file(record_handle& file) {
  struct stat st {};
  if (!file.on_disk) return 0;
  errno = 0;
  if (fstat(fd_of(file), &st) == 0 && st.st_size == 0) return 0;
  return ftruncate(fd_of(file), 0) == 0 ? 0 : system_error();
}

int sync_file(record_handle& file, const char* name) {
  const int error = sync_descriptor(fd_of(file));
  if (error != 0 || !file.created) return error;
  return sync_folder(name);
}

int close_file(record_handle& file) {
  const int fd = fd_of(file);
  file.value = -1;
  errno = 0;
  // After EINTR the descriptor is closed all the same on Linux.
  return close(fd) == 0 || errno == EINTR ? 0 : system_error();
}

void remove_new_file(record_handle& file, const char* name) {
  if (file.created) unlink_if_new_and_empty(fd_of(file), name);
  close_file(file);
}

void guard_new_file(const record_handle& file, const char* name) {
  if (!file.created || !file.on_disk || guard.fd >= 0 ||
      std::strlen(name) >= sizeof guard.name) {
    return;
  }
  std::strcpy(guard.name, name);
  guard.fd = fd_of(file);
  for (int i = 0; i < signal_count; ++i) install_guard(i);
}

void end_new_file_guard() {
  for (int i = signal_count - 1; i >= 0; --i) {
    if (guard.installed[i]) {
      sigaction(ending_signals[i], &guard.replaced[i], nullptr);
      guard.installed[i] = false;
    }
  }
  guard.fd = -1;
}

// Every byte but NUL and "/" may stand in a file name, and a name names the
// file it spells.
const char* name_refusal(std::string_view) { return nullptr; }
