// Files by name on POSIX systems: a name is the bytes typed, handed to the
// system as they are.
#include <sys/stat.h>

#include <cerrno>

#include "record/file_system.h"

int open_named_file(std::ofstream& stream, const char* name,
                    std::ios::openmode mode) {
  errno = 0;
  stream.open(name, mode);
  if (stream.is_open()) return 0;
  return errno != 0 ? errno : EIO;
}

bool is_standard_input(const char* name) {
  struct stat input {};
  struct stat named {};
  if (fstat(0, &input) != 0 || stat(name, &named) != 0) return false;
  if (S_ISCHR(input.st_mode) || S_ISBLK(input.st_mode)) return false;
  return input.st_dev == named.st_dev && input.st_ino == named.st_ino;
}

// Every byte but NUL and "/" may stand in a file name, and a name names the
// file it spells.
const char* name_refusal(std::string_view) { return nullptr; }
