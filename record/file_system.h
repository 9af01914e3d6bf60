// The platform's side of the record file: opening it by its UTF-8 name once,
// writing, emptying, syncing and closing it through its handle, and removing
// a file this run made when the run ends before anything is stored. Each
// platform has its own implementation, chosen by the build.
#ifndef CARDSTOW_RECORD_FILE_SYSTEM_H_
#define CARDSTOW_RECORD_FILE_SYSTEM_H_

#include <cstdint>
#include <string_view>

// An open record file.
struct record_handle {
  std::intptr_t value = -1;  // a descriptor, or a HANDLE on Windows; -1: none
  bool created = false;      // this run made the file
  bool on_disk = false;      // a file on disk, not a terminal, pipe or device
};

// Why open_file refused a file it could open: returned in place of an errno.
enum file_refusal : int {
  refused_answers_file = -1,    // the file standard input reads
  refused_console_output = -2,  // the file standard output or error writes
  refused_other_writer = -3,    // locked by another run writing it
};

// Opens the file named `name` (UTF-8, as typed) for writing, without
// truncating it and without appending, creating it when missing; `file`
// says whether this run created it. A file on disk is locked against other
// writers until close_file; readers are not kept out. Opening never waits:
// a FIFO that no process reads fails (ENXIO). Returns 0 when open, a
// file_refusal (the file is then closed again and left as it was), or the
// system's errno (EIO when it gave none), with `file` closed.
int open_file(const char* name, record_handle& file);

// Writes all of `bytes` to the open `file`, each "\n" as this platform's text
// line end. Returns false, with the system's errno in `error`, when a write
// fails; bytes before the failure may be in the file.
bool write_file(record_handle& file, std::string_view bytes, int& error);

// Empties the open `file` (a file on disk; anything else is left as it is).
// Returns 0 or the system's errno.
int empty_file(record_handle& file);

// Puts what was written to `file` on stable storage, and on POSIX the entry
// of a file this run created too, by syncing the folder of `name`. Something
// that cannot be synced (a terminal, a pipe, /dev/null) is no failure.
// Returns 0 or the system's errno.
int sync_file(record_handle& file, const char* name);

// Closes `file`, which is then closed whatever the outcome. Returns 0 or the
// system's errno.
int close_file(record_handle& file);

// Closes `file`, first removing it when this run created it and it is still
// empty and, by `name`, still the same file. A file that existed before the
// run is never removed.
void remove_new_file(record_handle& file, const char* name);

// Until end_new_file_guard, a signal or console event that ends the process
// (signals/ending_signals.h) first removes `file`, named `name`, as
// remove_new_file would. Does nothing unless this run created the file.
void guard_new_file(const record_handle& file, const char* name);

// Puts back what guard_new_file replaced; does nothing when it is not on.
void end_new_file_guard();

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
