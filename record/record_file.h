// The record file: opening it once, its fixed line layout, appending perk
// lines, and closing it, synced, with every failure accounted for.
#ifndef CARDSTOW_RECORD_RECORD_FILE_H_
#define CARDSTOW_RECORD_RECORD_FILE_H_

#include <ostream>
#include <string>
#include <string_view>

#include "record/character_record.h"
#include "record/file_buffer.h"
#include "record/file_system.h"

// The record file being written, with the first error met on it.
struct record_file {
  record_handle handle;  // closed until open_record_file succeeds
  file_output_buffer buffer{handle};
  std::ostream stream{&buffer};  // bad while no file is open
  std::string name;              // as opened
  int error = 0;  // errno of the first failed operation; 0 while none
};

// Opens `name` (UTF-8) for writing, creating the file when it is missing, and
// locks it against other writers (open_file in record/file_system.h). An
// existing file keeps its content until start_record. Until then, a run ended
// by a signal removes a file it created. Returns 0 when open; otherwise a
// file_refusal or the system's errno, also kept in file.error, and the stream
// stays bad.
int open_record_file(record_file& file, const char* name);

// Empties the open file and writes the record sheet to it, then lets signals
// end the run as before: what is written stays. Returns 0, or the errno of
// the first failure on `file`, after which later writes do nothing.
int start_record(record_file& file, const character_record& record);

// Writes lines 1 to 18 of the record, from its title through "Perks:". Every
// line is flushed once written. Stream failures are left in `out`'s state.
void write_record_sheet(std::ostream& out, const character_record& record);

// Writes one perk line: the text alone and a line end, flushed.
void write_perk_line(std::ostream& out, std::string_view perk);

// Call after each write to `file.stream`: when the stream has failed and no
// error is kept yet, keeps the reason the write failed.
void note_write_error(record_file& file);

// Flushes, syncs (record/file_system.h's sync_file) and closes the file.
// Returns 0 when every write, the sync and the close succeeded, otherwise
// the errno of the first failure.
int close_record_file(record_file& file);

// Ends a record that will not be written: closes the file and, when this run
// created it and it is still empty and still the same file, removes it.
void abandon_record_file(record_file& file);

#endif  // CARDSTOW_RECORD_RECORD_FILE_H_
