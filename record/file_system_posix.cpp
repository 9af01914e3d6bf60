// The record file on POSIX systems: a name is the bytes typed, handed to the
// system as they are; the file is one descriptor from open to close.
#include <fcntl.h>
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

// Every byte but NUL and "/" may stand in a file name, and a name names the
// file it spells.
const char* name_refusal(std::string_view) { return nullptr; }
