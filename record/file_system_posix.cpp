// The record file's primitives on POSIX systems: a name is the bytes typed,
// handed to the system as they are.
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "record/file_system.h"

namespace {

int fd_of(const record_handle& file) { return static_cast<int>(file.value); }

int system_error() { return errno != 0 ? errno : EIO; }

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

// Makes `fd` blocking: a record written to a slow reader must not be cut.
int make_blocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return system_error();
  }
  return 0;
}

void fill_facts(const struct stat& st, file_facts& facts) {
  facts.id.volume = static_cast<std::uint64_t>(st.st_dev);
  facts.id.file[0] = static_cast<std::uint64_t>(st.st_ino);
  facts.id.file[1] = 0;
  facts.kind = S_ISREG(st.st_mode) ? file_kind::regular
               : S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)
                   ? file_kind::stream
                   : file_kind::other;
  facts.size = static_cast<std::uint64_t>(st.st_size);
  facts.links = static_cast<std::uint64_t>(st.st_nlink);
}

// Whether `fd` is the root of a mount, such as one file bind-mounted into a
// container: a rename over it fails with EBUSY.
bool is_mount_point(int fd) {
#ifdef STATX_ATTR_MOUNT_ROOT
  struct statx stx {};
  if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &stx) == 0 &&
      (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
    return (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  }
#else
  (void)fd;
#endif
  return false;
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

// Sets on `to` the owner and group of `from` where they differ: 0, or EPERM
// when the run may not. A file system without owners (EPERM for the same
// owner is impossible, as only differing ones are set) decides by its reply.
int copy_owner(const struct stat& from, int to) {
  struct stat now {};
  if (fstat(to, &now) != 0) return 0;
  if (now.st_uid == from.st_uid && now.st_gid == from.st_gid) return 0;
  if (fchown(to, from.st_uid, from.st_gid) == 0) return 0;
  return errno == EPERM ? EPERM : 0;
}

// Copies every extended attribute of `from` that `to` takes; ACLs are
// among them (system.posix_acl_access).
void copy_xattrs(int from, int to) {
  const ssize_t size = flistxattr(from, nullptr, 0);
  if (size <= 0) return;
  std::vector<char> names(static_cast<std::size_t>(size));
  const ssize_t got = flistxattr(from, names.data(), names.size());
  std::vector<char> value;
  for (ssize_t at = 0; at < got;) {
    const char* name = names.data() + at;
    at += static_cast<ssize_t>(std::string_view(name).size()) + 1;
    const ssize_t length = fgetxattr(from, name, nullptr, 0);
    if (length < 0) continue;
    value.resize(static_cast<std::size_t>(length));
    const ssize_t read = fgetxattr(from, name, value.data(), value.size());
    if (read >= 0) {
      fsetxattr(to, name, value.data(), static_cast<std::size_t>(read), 0);
    }
  }
}

}  // namespace

bool same_file(const file_identity& a, const file_identity& b) {
  return a.volume == b.volume && a.file[0] == b.file[0] &&
         a.file[1] == b.file[1];
}

int open_for_writing(const char* name, record_handle& file, bool& created) {
  errno = 0;
  record_handle opened;
  opened.value = open_or_create(name, created);
  if (opened.value < 0) {
    opened.value = -1;
    return system_error();
  }
  if (const int error = make_blocking(fd_of(opened)); error != 0) return error;
  file = std::move(opened);
  return 0;
}

int create_new_file(const char* name, record_handle& file) {
  errno = 0;
  const int fd = open(name, open_flags | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return system_error();
  file.value = fd;
  return make_blocking(fd);
}

int facts_of(const record_handle& file, file_facts& facts) {
  struct stat st {};
  errno = 0;
  if (fstat(fd_of(file), &st) != 0) return system_error();
  fill_facts(st, facts);
  facts.mount_point = is_mount_point(fd_of(file));
  return 0;
}

int facts_of_name(const char* name, file_facts& facts) {
  struct stat st {};
  errno = 0;
  if (stat(name, &st) != 0) return system_error();
  fill_facts(st, facts);
  return 0;
}

int facts_of_standard_stream(int stream, file_facts& facts) {
  struct stat st {};
  errno = 0;
  if (fstat(stream, &st) != 0) return system_error();
  fill_facts(st, facts);
  return 0;
}

// An exclusive lock on the whole file, not waiting for it.
int lock_file(record_handle& file) {
  const int fd = fd_of(file);
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

std::string replaced_name(const char* name) {
  char* resolved = realpath(name, nullptr);
  if (resolved == nullptr) return name;
  std::string path = resolved;
  std::free(resolved);
  return path;
}

std::size_t last_component_start(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

int copy_metadata(const record_handle& from, record_handle& to) {
  struct stat st {};
  if (fstat(fd_of(from), &st) != 0) return 0;
  if (copy_owner(st, fd_of(to)) != 0) return EPERM;
  // After the owner: setting it may clear the set-user-ID and set-group-ID
  // bits.
  fchmod(fd_of(to), st.st_mode & 07777);
  copy_xattrs(fd_of(from), fd_of(to));
  return 0;
}

void set_delete_at_close(record_handle&, bool) {}

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
  errno = 0;
  if (fstat(fd_of(file), &st) != 0) return system_error();
  if (!S_ISREG(st.st_mode) || st.st_size == 0) return 0;
  return ftruncate(fd_of(file), 0) == 0 ? 0 : system_error();
}

int sync_file(record_handle& file) { return sync_descriptor(fd_of(file)); }

int replace_file(const char* new_name, const char* name, record_handle&) {
  errno = 0;
  return rename(new_name, name) == 0 ? 0 : system_error();
}

int remove_leftover(const char* name) {
  errno = 0;
  return unlink(name) == 0 ? 0 : system_error();
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
