// Removing a record file this run created and stored nothing in, on POSIX
// systems: at once, or from a signal that ends the process first.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "record/file_system.h"

namespace {

int fd_of(const record_handle& file) { return static_cast<int>(file.value); }

// Removes `name` when `fd` is still empty and `name` still names it. Only
// async-signal-safe calls: a signal handler uses it too.
void unlink_if_new_and_empty(int fd, const char* name) {
  struct stat open_file_st {};
  struct stat named {};
  if (fstat(fd, &open_file_st) == 0 && S_ISREG(open_file_st.st_mode) &&
      open_file_st.st_size == 0 && stat(name, &named) == 0 &&
      open_file_st.st_dev == named.st_dev &&
      open_file_st.st_ino == named.st_ino) {
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
