// What happens to the record file when a signal ends the run (POSIX), and
// the async-signal-safe calls that the normal end shares with it: removing
// a file only while its name still leads to it, syncing a name's entry.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "record/file_system.h"
#include "signals/ending_signals.h"

namespace {

int fd_of(const record_handle& file) { return static_cast<int>(file.value); }

constexpr std::size_t longest_name = 4096;

// Removes `name` when it still leads to the file `fd` is, device and inode
// both, and, when `only_empty`, that file is empty.
void unlink_if_same(int fd, const char* name, bool only_empty) {
  struct stat open_st {};
  struct stat named {};
  if (fstat(fd, &open_st) == 0 && S_ISREG(open_st.st_mode) &&
      (!only_empty || open_st.st_size == 0) && stat(name, &named) == 0 &&
      open_st.st_dev == named.st_dev && open_st.st_ino == named.st_ino) {
    unlink(name);
  }
}

// Syncs `fd`, retried when interrupted: 0 or the errno; what cannot be synced
// (EINVAL, ENOTSUP) is no failure.
int sync_fd(int fd) {
  while (fsync(fd) != 0) {
    if (errno == EINTR) continue;
    if (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP ||
        errno == ENOSYS) {
      return 0;
    }
    return errno != 0 ? errno : EIO;
  }
  return 0;
}

// Writes the folder of `name` into `folder` (longest_name bytes): ".", "/"
// or the name up to its last slash. False when it does not fit.
bool folder_of(const char* name, char* folder) {
  const char* slash = std::strrchr(name, '/');
  std::size_t size =
      slash == nullptr ? 0 : static_cast<std::size_t>(slash - name);
  if (slash == name) size = 1;
  if (size >= longest_name) return false;
  if (slash == nullptr) {
    std::strcpy(folder, ".");
  } else {
    std::memcpy(folder, name, size);
    folder[size] = '\0';
  }
  return true;
}

// Syncs the folder `folder`; when it cannot be opened (EACCES, EMFILE), the
// whole file system `fd` is on instead.
int sync_folder(const char* folder, int fd) {
  const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    if (syncfs(fd) == 0) return 0;
    return errno != 0 ? errno : EIO;
  }
  const int error = sync_fd(dir);
  close(dir);
  return error;
}

// What the ending signal's action works on: copies made at guard time.
struct guarded_record {
  volatile sig_atomic_t fd = -1;
  bool only_empty = false;
  bool replacing = false;
  char written_name[longest_name] = {};
  char replaced[longest_name] = {};
  char folder[longest_name] = {};
};
guarded_record guarded;

void remove_unwritten() {
  const int fd = guarded.fd;
  guarded.fd = -1;
  if (fd >= 0) unlink_if_same(fd, guarded.written_name, guarded.only_empty);
}

// The sheet and the perks so far are the record: synced, put in place.
void publish_written() {
  const int fd = guarded.fd;
  guarded.fd = -1;
  if (fd < 0 || sync_fd(fd) != 0) return;
  if (guarded.replacing &&
      rename(guarded.written_name, guarded.replaced) != 0) {
    return;
  }
  sync_folder(guarded.folder, fd);
}

bool copy_name(char* to, const char* name) {
  if (std::strlen(name) >= longest_name) return false;
  std::strcpy(to, name);
  return true;
}

}  // namespace

void remove_file(record_handle& file, const char* name) {
  unlink_if_same(fd_of(file), name, false);
  close_file(file);
}

int sync_entry(const char* name, record_handle& file) {
  char folder[longest_name];
  if (!folder_of(name, folder)) return ENAMETOOLONG;
  return sync_folder(folder, fd_of(file));
}

void guard_unwritten(const record_handle& written, const char* written_name,
                     bool only_empty) {
  end_record_guard();
  if (!copy_name(guarded.written_name, written_name)) return;
  guarded.only_empty = only_empty;
  guarded.fd = fd_of(written);
  set_record_ending(remove_unwritten);
}

void guard_written(const record_handle& written, const char* written_name,
                   const char* replaced, const record_handle&) {
  end_record_guard();
  const char* entry = replaced != nullptr ? replaced : written_name;
  if (!copy_name(guarded.written_name, written_name) ||
      (replaced != nullptr && !copy_name(guarded.replaced, replaced)) ||
      !folder_of(entry, guarded.folder)) {
    return;
  }
  guarded.replacing = replaced != nullptr;
  guarded.fd = fd_of(written);
  set_record_ending(publish_written);
}

void end_record_guard() {
  set_record_ending(nullptr);
  guarded.fd = -1;
  guarded.replacing = false;
}
