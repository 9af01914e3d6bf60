// Removing a record file this run created and stored nothing in, on POSIX
// systems: at once, or from a signal that ends the process first.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "record/file_system.h"
#include "signals/ending_signals.h"

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

// The new file an ending signal removes (record_file's cleanup).
volatile sig_atomic_t guarded_fd = -1;
char guarded_name[4096] = {};

void remove_guarded_file() {
  const int fd = guarded_fd;
  guarded_fd = -1;
  if (fd >= 0) unlink_if_new_and_empty(fd, guarded_name);
}

}  // namespace

void remove_new_file(record_handle& file, const char* name) {
  if (file.created) unlink_if_new_and_empty(fd_of(file), name);
  close_file(file);
}

void guard_new_file(const record_handle& file, const char* name) {
  if (!file.created || !file.on_disk || guarded_fd >= 0 ||
      std::strlen(name) >= sizeof guarded_name) {
    return;
  }
  std::strcpy(guarded_name, name);
  guarded_fd = fd_of(file);
  set_record_ending(remove_guarded_file);
}

void end_new_file_guard() {
  set_record_ending(nullptr);
  guarded_fd = -1;
}
