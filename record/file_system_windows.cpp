// The record file on Windows: a name is the UTF-8 typed, handed to the system
// as UTF-16 so that it names that file whatever the code page, and refused
// when Windows would open another file or a device under it. The file is one
// handle from open to close, shared with readers only.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "record/file_system.h"

namespace {

// `name` in UTF-16; false when it is no valid UTF-8.
bool utf16_name(std::string_view name, std::wstring& wide) {
  wide.clear();
  if (name.empty()) return true;
  const int size = static_cast<int>(name.size());
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                         name.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size,
                             wide.data(), length) == length;
}

// The volume and file ID of an open disk file, which together identify it.
bool identity_of(HANDLE file, FILE_ID_INFO& id) {
  return file != INVALID_HANDLE_VALUE && file != nullptr &&
         GetFileType(file) == FILE_TYPE_DISK &&
         GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id);
}

// A volume serial number of 0 is taken for unknown (Wine gives it for a
// standard input redirected from a file): then the file ID alone decides,
// which errs on the side of refusing the name.
bool same_file(const FILE_ID_INFO& a, const FILE_ID_INFO& b) {
  const bool same_volume = a.VolumeSerialNumber == b.VolumeSerialNumber ||
                           a.VolumeSerialNumber == 0 ||
                           b.VolumeSerialNumber == 0;
  return same_volume && std::memcmp(&a.FileId, &b.FileId, sizeof a.FileId) == 0;
}

// A drive letter, a colon and a slash or backslash, as in C:\saves. Not
// C:hero.TXT, which names a file in whatever folder drive C: was last in.
bool starts_with_drive(std::string_view name) {
  const char letter = static_cast<char>(name.empty() ? 0 : name[0] | 0x20);
  return name.size() >= 3 && letter >= 'a' && letter <= 'z' && name[1] == ':' &&
         (name[2] == '\\' || name[2] == '/');
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

// \\.\ and \\?\ (either slash) and \??\ lead into the device namespace,
// where a name reaches any device or is taken unchanged. A UNC name such as
// \\server\share\hero.TXT does not.
bool in_device_namespace(std::string_view name) {
  if (name.starts_with("\\??\\")) return true;
  return name.size() >= 3 && is_separator(name[0]) && is_separator(name[1]) &&
         (name[2] == '.' || name[2] == '?') &&
         (name.size() == 3 || is_separator(name[3]));
}

// Whether a path component other than . and .. ends in a dot or a space,
// which Windows drops from every component, folders included.
bool has_folder_windows_trims(std::string_view name) {
  while (!name.empty()) {
    const std::size_t end = std::min(name.find_first_of("\\/"), name.size());
    const std::string_view part = name.substr(0, end);
    if (part != "." && part != ".." &&
        (part.ends_with('.') || part.ends_with(' '))) {
      return true;
    }
    name.remove_prefix(end == name.size() ? end : end + 1);
  }
  return false;
}

bool holds_forbidden_character(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>\"|?*", c)) {
      return true;
    }
  }
  return false;
}

// Whether `base`, a name up to its first dot, names a device whatever follows
// it: CON, PRN, AUX, NUL, the console's CONIN$ and CONOUT$, COM and LPT with
// a digit 1 to 9 or a superscript 1, 2 or 3; any case, trailing spaces
// ignored as Windows ignores them.
bool is_device(std::string_view base) {
  std::string upper(base.substr(0, base.find_last_not_of(' ') + 1));
  for (char& c : upper)
    c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (upper == device) return true;
  }
  if (!upper.starts_with("COM") && !upper.starts_with("LPT")) return false;
  const std::string_view number = std::string_view(upper).substr(3);
  return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') ||
         number == "\u00B9" || number == "\u00B2" || number == "\u00B3";
}

// The errno closest to the Windows error `code`.
int errno_of(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
  }
  return EIO;
}

int last_error() { return errno_of(GetLastError()); }

HANDLE handle_of(const record_handle& file) {
  return reinterpret_cast<HANDLE>(file.value);
}

// Which console stream reads or writes the disk file `wide` names: 0, 1, 2,
// or -1 for none (or no such file). Asked by name before opening, since the
// record's share mode would keep out a file standard output has open.
int console_stream_of(const std::wstring& wide) {
  // No access asked for: only the file's identity is read.
  const HANDLE file = CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  FILE_ID_INFO named{};
  const bool known = identity_of(file, named);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE,
                           STD_ERROR_HANDLE};
  for (int i = 0; known && i < 3; ++i) {
    FILE_ID_INFO console{};
    if (identity_of(GetStdHandle(streams[i]), console) &&
        same_file(console, named)) {
      return i;
    }
  }
  return -1;
}

// A handle on `wide` for writing that lets others only read: a new file
// (with the right to delete it again) when none is there, else the existing
// one. INVALID_HANDLE_VALUE with the reason in GetLastError otherwise.
HANDLE open_or_create(const std::wstring& wide, bool& created) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    created = file != INVALID_HANDLE_VALUE;
    const DWORD error = GetLastError();
    if (created ||
        (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
      return file;
    }
    file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE ||
        GetLastError() != ERROR_FILE_NOT_FOUND) {
      return file;
    }
  }
  return INVALID_HANDLE_VALUE;
}

bool write_all(HANDLE file, const char* bytes, std::size_t size, int& error) {
  while (size > 0) {
    DWORD put = 0;
    const DWORD asked =
        static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    if (!WriteFile(file, bytes, asked, &put, nullptr) || put == 0) {
      error = put == 0 && GetLastError() == ERROR_SUCCESS ? EIO : last_error();
      return false;
    }
    bytes += put;
    size -= put;
  }
  return true;
}

}  // namespace

int open_file(const char* name, record_handle& file) {
  file = record_handle{};
  std::wstring wide;
  if (!utf16_name(name, wide)) return EILSEQ;
  const int console = console_stream_of(wide);
  if (console == 0) return refused_answers_file;
  if (console > 0) return refused_console_output;
  const HANDLE opened = open_or_create(wide, file.created);
  if (opened == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? refused_other_writer
                                                     : last_error();
  }
  file.value = reinterpret_cast<std::intptr_t>(opened);
  file.on_disk = GetFileType(opened) == FILE_TYPE_DISK;
  return 0;
}

// Text mode, as the C runtime's: each "\n" goes out as "\r\n".
bool write_file(record_handle& file, std::string_view bytes, int& error) {
  const HANDLE handle = handle_of(file);
  while (!bytes.empty()) {
    const std::size_t line = std::min(bytes.find('\n'), bytes.size());
    if (!write_all(handle, bytes.data(), line, error)) return false;
    if (line == bytes.size()) break;
    if (!write_all(handle, "\r\n", 2, error)) return false;
    bytes.remove_prefix(line + 1);
  }
  return true;
}

int empty_file(record_handle& file) {
  if (!file.on_disk) return 0;
  const LARGE_INTEGER start{};
  const HANDLE handle = handle_of(file);
  return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) &&
                 SetEndOfFile(handle)
             ? 0
             : last_error();
}

// A new file's entry is on disk once the file is: NTFS logs both.
int sync_file(record_handle& file, const char*) {
  if (!file.on_disk) return 0;
  return FlushFileBuffers(handle_of(file)) ? 0 : last_error();
}

int close_file(record_handle& file) {
  const HANDLE handle = handle_of(file);
  file.value = -1;
  return CloseHandle(handle) ? 0 : last_error();
}

const char* name_refusal(std::string_view name) {
  if (in_device_namespace(name)) {
    return "is in the Windows device namespace, not a file name";
  }
  if (holds_forbidden_character(name)) {
    return "holds a character Windows does not allow in a file name";
  }
  if (starts_with_drive(name)) name.remove_prefix(2);
  if (name.find(':') != std::string_view::npos) {
    return "holds a colon that is not part of a drive such as C:\\";
  }
  const std::string_view last = name.substr(name.find_last_of("\\/") + 1);
  if (is_device(last.substr(0, last.find('.')))) {
    return "names a device on Windows, not a file";
  }
  if (last == "." || last == "..") return "names a folder, not a file";
  if (last.ends_with('.') || last.ends_with(' ')) {
    return "ends in a dot or a space, which Windows would drop";
  }
  if (has_folder_windows_trims(name)) {
    return "has a folder ending in a dot or a space, which Windows would drop";
  }
  return nullptr;
}
