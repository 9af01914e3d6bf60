// The platform's side of the record file: the primitives that open, identify,
// lock, write, sync, rename and remove files by their UTF-8 names, and the
// record's actions when a signal or console event ends the run. The policy
// (what is refused, when a record is replaced or written in place) is the
// portable record_file.cpp's. Each platform has its own implementation,
// chosen by the build.
#ifndef CARDSTOW_RECORD_FILE_SYSTEM_H_
#define CARDSTOW_RECORD_FILE_SYSTEM_H_

#include <cstdint>
#include <string>
#include <string_view>

// An open file, closed when this goes out of scope (errors then ignored;
// close_file reports them). Move-only.
struct record_handle {
  std::intptr_t value = -1;  // a descriptor, or a HANDLE on Windows; -1: none

  record_handle() = default;
  record_handle(record_handle&& other) noexcept : value(other.value) {
    other.value = -1;
  }
  record_handle& operator=(record_handle&& other) noexcept;
  record_handle(const record_handle&) = delete;
  record_handle& operator=(const record_handle&) = delete;
  ~record_handle();
};

// What a file is, as far as the record cares.
enum class file_kind {
  regular,  // a file on disk
  stream,   // a pipe, FIFO or socket
  other,    // a terminal, another device, a folder
};

// The device and inode (POSIX), or the volume serial number and file ID
// (Windows), which together tell one file from every other.
struct file_identity {
  std::uint64_t volume = 0;
  std::uint64_t file[2] = {};
};

bool same_file(const file_identity& a, const file_identity& b);

struct file_facts {
  file_identity id;
  file_kind kind = file_kind::other;
  std::uint64_t size = 0;
  std::uint64_t links = 1;   // names that lead to the file
  bool mount_point = false;  // something is mounted on the name itself
};

// Why the record code refuses a file: returned in place of an errno.
enum file_refusal : int {
  refused_answers_file = -1,    // the file or pipe standard input reads
  refused_console_output = -2,  // the file standard output or error writes
  refused_other_writer = -3,    // locked by another cardstow run
  refused_other_program = -4,   // Windows: another program holds it open
};

// Opens `name` for writing, without truncating or appending, creating it
// when missing (`created` then true). Never waits: a FIFO that no process
// reads fails (ENXIO). The descriptor is blocking once open. On Windows
// others may then only read it, or delete or replace it by name. Returns 0
// or an errno (refused_other_program on Windows for a sharing violation).
int open_for_writing(const char* name, record_handle& file, bool& created);

// Creates `name`, which must not exist, for writing: the new file beside a
// record being replaced. Returns 0, EEXIST, or another errno.
int create_new_file(const char* name, record_handle& file);

// What `file`, or the file `name` leads to (links followed), is. Return 0 or
// an errno (ENOENT for no such name).
int facts_of(const record_handle& file, file_facts& facts);
int facts_of_name(const char* name, file_facts& facts);

// What standard input (0), output (1) or error (2) is. Returns 0 or an errno.
int facts_of_standard_stream(int stream, file_facts& facts);

// Locks the whole of `file` against other cardstow runs, not waiting; readers
// are not kept out. Returns 0, or refused_other_writer. A file system
// without locks is no reason to refuse.
int lock_file(record_handle& file);

// The name to replace when the record `name` is replaced: the file a symbolic
// link leads to, so that the link stays; `name` itself elsewhere.
std::string replaced_name(const char* name);

// Where the last component of the path `name` starts: after its last folder
// separator ("/"; on Windows "\\" and a drive's colon too), or 0.
std::size_t last_component_start(std::string_view name);

// Gives `to` what `from` has that the record's name should keep: owner and
// group (only set where they differ), mode, extended attributes (ACLs
// among them). Whatever the file system cannot keep is skipped. Returns 0,
// or EPERM when the owner or group differ from the run's and cannot be set.
int copy_metadata(const record_handle& from, record_handle& to);

// Windows: whether `file`, which this run created, goes when its last handle
// closes, even by a forced kill (FileDispositionInfo). POSIX: nothing.
void set_delete_at_close(record_handle& file, bool delete_it);

// Writes all of `bytes` to `file`, each "\n" as this platform's text line
// end. Returns false, with the errno in `error`, when a write fails; bytes
// before the failure may be in the file.
bool write_file(record_handle& file, std::string_view bytes, int& error);

// Empties `file` (a file on disk; anything else is left as it is). Returns 0
// or the errno.
int empty_file(record_handle& file);

// Puts what was written to `file` on stable storage; what cannot be synced
// (a terminal, a pipe, /dev/null) is no failure. Returns 0 or the errno.
int sync_file(record_handle& file);

// Puts the entry of `name` on stable storage: syncs its folder or, where the
// folder cannot be opened, the file system `file` (on it) is on. Returns 0 or
// the errno of the sync.
int sync_entry(const char* name, record_handle& file);

// Puts `new_name` in the place of `name` in one step: the name leads to the
// old file or to the new one, never to neither. `old` is the run's handle on
// the old file (Windows replaces it while it is open). Returns 0 or the errno.
int replace_file(const char* new_name, const char* name, record_handle& old);

// Removes `name` when it still leads to `file`, then closes `file`. A file
// another put in its place is left alone.
void remove_file(record_handle& file, const char* name);

// Removes what `name` names, whatever it is: a leftover new file. Returns 0,
// or the errno (ENOENT when there is none).
int remove_leftover(const char* name);

// Closes `file`, which is then closed whatever the outcome. Returns 0 or the
// errno.
int close_file(record_handle& file);

inline record_handle& record_handle::operator=(record_handle&& other) noexcept {
  if (this != &other) {
    if (value != -1) close_file(*this);
    value = other.value;
    other.value = -1;
  }
  return *this;
}

inline record_handle::~record_handle() {
  if (value != -1) close_file(*this);
}

// What a signal or console event that ends the run does with the record
// (signals/ending_signals.h), until end_record_guard:
// guard_unwritten: before the sheet, removes `written` (named
// `written_name`) when it still leads there and, if `only_empty`, is empty.
// guard_written: during the perks, syncs `written` and, when `replaced` is
// not null, puts it in place of `replaced` as replace_file would and syncs
// that entry. Either does nothing for a name longer than the system takes.
void guard_unwritten(const record_handle& written, const char* written_name,
                     bool only_empty);
void guard_written(const record_handle& written, const char* written_name,
                   const char* replaced, const record_handle& old);
void end_record_guard();

// Why this platform would not open the file `name` (UTF-8) names as typed,
// or nullptr when nothing stands against it: a short reason that follows the
// quoted name in a message ("names a device on Windows"). On Windows: a name
// in the device namespace (\\.\ or \\?\ with either slash, or \??\; UNC
// names of shares such as \\server\share\hero.TXT are allowed); a last path
// component whose part before its first dot is a device name (CON, PRN, AUX,
// NUL, COM1-COM9, LPT1-LPT9, any case) or that is . or ..; any component but
// . and .. that ends in a dot or a space (Windows drops them); a colon other
// than that of a drive such as C:\ (so the drive-relative C:hero.TXT too);
// the characters < > " | ? * and control characters. A device name as a
// folder (nul\hero.TXT) is allowed: Windows takes only a last component for
// a device. On POSIX, nothing.
const char* name_refusal(std::string_view name);

#endif  // CARDSTOW_RECORD_FILE_SYSTEM_H_
