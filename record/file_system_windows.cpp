// Files by name on Windows: a name is the UTF-8 typed, handed to the system
// as UTF-16 so that it names that file whatever the code page, and refused
// when Windows would open another file or a device under it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
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

}  // namespace

int open_named_file(std::ofstream& stream, const char* name,
                    std::ios::openmode mode) {
  std::wstring wide;
  if (!utf16_name(name, wide)) return EILSEQ;
  errno = 0;
  stream.open(std::filesystem::path(wide), mode);
  if (stream.is_open()) return 0;
  return errno != 0 ? errno : EIO;
}

bool is_standard_input(const char* name) {
  FILE_ID_INFO input{};
  FILE_ID_INFO named{};
  std::wstring wide;
  if (!identity_of(GetStdHandle(STD_INPUT_HANDLE), input) ||
      !utf16_name(name, wide)) {
    return false;
  }
  // No access asked for: only the file's identity is read.
  const HANDLE file = CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const bool known = identity_of(file, named);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return known && same_file(input, named);
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
