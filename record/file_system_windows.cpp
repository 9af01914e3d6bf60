// The record file's primitives on Windows: a name is the UTF-8 typed, handed
// to the system as UTF-16 so that it names that file whatever the code page,
// and refused when Windows would open another file or a device under it. A
// record's handle lets others read it, and delete or replace it by name (so
// that ReplaceFileW may replace it while it is open), never write it.
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
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
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

// Others may read the file, or replace it by name; never write it.
constexpr DWORD shared_with_others = FILE_SHARE_READ | FILE_SHARE_DELETE;

// The byte that cardstow runs lock, far past any record's end, so that the
// lock keeps out other runs and never a reader.
constexpr DWORD lock_offset_high = 0x7FFFFFFF;

bool lock_run_byte(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = lock_offset_high;
  return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                    0, 1, 0, &at);
}

// Why `wide` could not be opened for writing (a sharing violation): another
// cardstow run holds the run's lock on it, or another program has it open.
int holder_of(const std::wstring& wide) {
  const HANDLE probe =
      CreateFileW(wide.c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return refused_other_program;
  const bool run_lock_free = lock_run_byte(probe);
  CloseHandle(probe);  // and with it the probe's lock
  return run_lock_free ? refused_other_program : refused_other_writer;
}

// A handle on `wide` for writing and deleting: a new file when none is there
// (`created`), else the existing one. INVALID_HANDLE_VALUE with the reason
// in GetLastError otherwise.
HANDLE open_or_create(const std::wstring& wide, bool& created) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, shared_with_others,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    created = file != INVALID_HANDLE_VALUE;
    const DWORD error = GetLastError();
    if (created ||
        (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
      return file;
    }
    file = CreateFileW(wide.c_str(), GENERIC_WRITE, shared_with_others, nullptr,
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

// The facts of an open handle; 0 or an errno.
int facts_of_handle(HANDLE file, file_facts& facts) {
  facts = file_facts{};
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return EBADF;
  const DWORD type = GetFileType(file);
  if (type == FILE_TYPE_PIPE) facts.kind = file_kind::stream;
  if (type != FILE_TYPE_DISK) return 0;
  FILE_ID_INFO id{};
  if (!GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
    return last_error();
  }
  facts.id.volume = id.VolumeSerialNumber;
  std::memcpy(facts.id.file, &id.FileId, sizeof facts.id.file);
  facts.kind = file_kind::regular;
  // Not always given (Wine, for a redirected standard input): the identity
  // is what matters there.
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info)) {
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      facts.kind = file_kind::other;
    }
    facts.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    facts.links = info.nNumberOfLinks;
  }
  return 0;
}

// `wide` as UTF-8.
std::string utf8_name(const std::wstring& wide) {
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr,
                                         0, nullptr, nullptr);
  std::string name(static_cast<std::size_t>(std::max(length, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, name.data(), length,
                      nullptr, nullptr);
  return name;
}

}  // namespace

// A volume serial number of 0 is taken for unknown (Wine gives it for a
// standard input redirected from a file): then the file ID alone decides,
// which errs on the side of refusing the name.
bool same_file(const file_identity& a, const file_identity& b) {
  return (a.volume == b.volume || a.volume == 0 || b.volume == 0) &&
         a.file[0] == b.file[0] && a.file[1] == b.file[1];
}

int open_for_writing(const char* name, record_handle& file, bool& created) {
  std::wstring wide;
  if (!utf16_name(name, wide)) return EILSEQ;
  const HANDLE opened = open_or_create(wide, created);
  if (opened == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? holder_of(wide)
                                                     : last_error();
  }
  file.value = reinterpret_cast<std::intptr_t>(opened);
  return 0;
}

int create_new_file(const char* name, record_handle& file) {
  std::wstring wide;
  if (!utf16_name(name, wide)) return EILSEQ;
  const HANDLE created =
      CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, shared_with_others,
                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return last_error();
  file.value = reinterpret_cast<std::intptr_t>(created);
  return 0;
}

int facts_of(const record_handle& file, file_facts& facts) {
  return facts_of_handle(handle_of(file), facts);
}

// No access asked for: only the file's identity is read, whoever holds it.
int facts_of_name(const char* name, file_facts& facts) {
  std::wstring wide;
  if (!utf16_name(name, wide)) return EILSEQ;
  const HANDLE file = CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error();
  const int error = facts_of_handle(file, facts);
  CloseHandle(file);
  return error;
}

int facts_of_standard_stream(int stream, file_facts& facts) {
  const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE,
                           STD_ERROR_HANDLE};
  return facts_of_handle(GetStdHandle(streams[stream]), facts);
}

int lock_file(record_handle& file) {
  if (lock_run_byte(handle_of(file))) return 0;
  return GetLastError() == ERROR_LOCK_VIOLATION ? refused_other_writer : 0;
}

// ReplaceFileW takes only absolute names (error 267 for relative ones).
// Links are left to Windows.
std::string replaced_name(const char* name) {
  std::wstring wide;
  if (!utf16_name(name, wide)) return name;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  const DWORD length =
      GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return name;
  full.resize(length);
  return utf8_name(full);
}

std::size_t last_component_start(std::string_view name) {
  const std::size_t separator = name.find_last_of("\\/:");
  return separator == std::string_view::npos ? 0 : separator + 1;
}

// ReplaceFileW gives the new file what the replaced one had: its
// attributes, security descriptor and streams.
int copy_metadata(const record_handle&, record_handle&) { return 0; }

void set_delete_at_close(record_handle& file, bool delete_it) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = delete_it ? TRUE : FALSE;
  SetFileInformationByHandle(handle_of(file), FileDispositionInfo, &disposition,
                             sizeof disposition);
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
  const HANDLE handle = handle_of(file);
  if (GetFileType(handle) != FILE_TYPE_DISK) return 0;
  const LARGE_INTEGER start{};
  return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) &&
                 SetEndOfFile(handle)
             ? 0
             : last_error();
}

int sync_file(record_handle& file) {
  const HANDLE handle = handle_of(file);
  if (GetFileType(handle) != FILE_TYPE_DISK) return 0;
  return FlushFileBuffers(handle) ? 0 : last_error();
}

// NTFS logs a new or renamed entry along with the file's own data; a folder
// cannot be flushed on its own without administrator rights.
int sync_entry(const char*, record_handle&) { return 0; }

int replace_file(const char* new_name, const char* name, record_handle&) {
  std::wstring wide_new;
  std::wstring wide;
  if (!utf16_name(new_name, wide_new) || !utf16_name(name, wide)) return EILSEQ;
  return ReplaceFileW(wide.c_str(), wide_new.c_str(), nullptr,
                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
             ? 0
             : last_error();
}

// The handle is the file itself, whatever its name now.
void remove_file(record_handle& file, const char*) {
  set_delete_at_close(file, true);
  close_file(file);
}

int remove_leftover(const char* name) {
  std::wstring wide;
  if (!utf16_name(name, wide)) return EILSEQ;
  return DeleteFileW(wide.c_str()) ? 0 : last_error();
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
