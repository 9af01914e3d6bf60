// The record file: opening it once, its fixed line layout, appending perk
// lines, and putting it in place, synced, with every failure accounted for.
#ifndef CARDSTOW_RECORD_RECORD_FILE_H_
#define CARDSTOW_RECORD_RECORD_FILE_H_

#include <ostream>
#include <string>
#include <string_view>

#include "record/character_record.h"
#include "record/file_buffer.h"
#include "record/file_system.h"

// Where the record is written.
enum class record_place {
  direct,    // a name that was new: the file this run created
  beside,    // a new file beside the existing record, put in its place at
             // the end (the leftover of a killed run is named by leftover_name)
  in_place,  // the existing file itself: a terminal or device, a file with
             // more than one link, a mount point, a folder the run cannot
             // create a file in, an owner the run cannot give a new file
};

// How a record that was not stored failed, for the message.
enum class record_failure {
  none,
  write,       // a write, sync or close failed
  rename,      // complete and synced in new_name, but not put in place
  name_moved,  // written in place, but the name now leads elsewhere
  entry,       // under its name, but its folder could not be synced
};

// The record file being written, with the first error met on it.
struct record_file {
  record_handle target;  // beside: the existing record, locked till the end
  record_handle handle;  // what the record is written to; closed until open
  file_output_buffer buffer{handle};
  std::ostream stream{&buffer};  // bad while no file is open
  std::string name;              // as typed
  std::string replaced;          // beside: the file replaced, links followed
  std::string new_name;          // beside: the new file
  record_place place = record_place::direct;
  file_identity written;  // the file `handle` is
  int error = 0;          // errno of the first failed operation; 0 while none
  record_failure failure = record_failure::none;
};

// The name of the new file that replaces the record `replaced` (its path
// with links followed): ".NAME.cardstow-new" in the same folder. A run that
// ends normally never leaves one; one left by a kill or a power cut holds an
// unfinished record and is never read as a record.
std::string leftover_name(const std::string& replaced);

// Opens `name` (UTF-8) for writing, creating the file when it is missing,
// and locks it against other runs; after the lock, the name must still lead
// to the locked file (another run may just have replaced it), else it is
// opened again. The file standard input reads (a file, pipe, FIFO or
// socket) and the file standard output or error writes are refused before
// anything is created. An existing regular file is replaced through a new
// file beside it (record_place), which gets its owner, group, mode and
// extended attributes; the existing file keeps its content until
// close_record_file. Until start_record, a run ended by a signal removes
// the new file; an ending signal that comes while it opens waits until the
// new file is guarded (record/file_system.h), so none is left. Returns 0 when
// open; otherwise a file_refusal or the errno, also kept in file.error, and the
// stream stays bad.
int open_record_file(record_file& file, const char* name);

// Writes the record sheet (emptying the file first when written in place),
// with ending signals held so that it is never torn; from then on a run
// ended by a signal keeps the sheet and the perks written so far as the
// record, synced and put in place. Returns 0, or the errno of the first
// failure on `file`, after which later writes do nothing.
int start_record(record_file& file, const character_record& record);

// Writes lines 1 to 18 of the record, from its title through "Perks:". Every
// line is flushed once written. Stream failures are left in `out`'s state.
void write_record_sheet(std::ostream& out, const character_record& record);

// Writes one perk line: the text alone and a line end, flushed.
void write_perk_line(std::ostream& out, std::string_view perk);

// Writes one perk line to `file` and notes a failure (note_write_error),
// with ending signals held, so that a signal's action (the publish) finds
// the line whole or not begun, and nothing is written after it.
void write_perk(record_file& file, std::string_view perk);

// Call after each write to `file.stream`: when the stream has failed and no
// error is kept yet, keeps the reason the write failed; from then on a
// signal no longer makes the failed record the record (a new file beside the
// old record is removed instead).
void note_write_error(record_file& file);

// With ending signals held throughout, flushes and syncs the record, puts a
// new file in place of the old record and syncs the folder (a new name's
// too); written in place, checks that the name still leads to the file. Returns
// 0 when the record is stored under its name, otherwise the errno of the first
// failure, with file.failure saying what failed: a failed write or sync removes
// the new file (the old record stays whole); a failed rename keeps the complete
// new file under new_name.
int close_record_file(record_file& file);

// Ends a record that will not be written, with ending signals held: closes
// the file and removes a new file beside the record, or a file this run
// created that is still empty; only while its name still leads to it. An
// existing file stays as it is.
void abandon_record_file(record_file& file);

#endif  // CARDSTOW_RECORD_RECORD_FILE_H_
