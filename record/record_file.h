// The record file: opening it, its fixed line layout, appending perk lines,
// and closing it with every write failure accounted for.
#ifndef CARDSTOW_RECORD_RECORD_FILE_H_
#define CARDSTOW_RECORD_RECORD_FILE_H_

#include <fstream>
#include <ostream>
#include <string_view>

#include "record/character_record.h"

// The record file being written, with the first error met on it.
struct record_file {
  std::ofstream stream;  // closed until open_record_file succeeds
  int error = 0;         // errno of the first failed operation; 0 while none
};

// Opens `file` on `name` (UTF-8) for writing in text mode, creating the file
// when it is missing. An existing file keeps its content until
// empty_record_file. Returns 0 when open, otherwise the system's errno (also
// kept in file.error) and the stream stays closed.
int open_record_file(record_file& file, const char* name);

// Empties the file opened on `name`, just before the record is written to it:
// opens it again, truncated. A run cut short before this leaves an existing
// file as it was. Returns 0, or the errno of the first failure on `file`, in
// which case the stream is closed and later writes do nothing.
int empty_record_file(record_file& file, const char* name);

// Writes lines 1 to 18 of the record, from its title through "Perks:". Every
// line is flushed once written. Stream failures are left in `out`'s state.
void write_record_sheet(std::ostream& out, const character_record& record);

// Writes one perk line: the text alone and a line end, flushed.
void write_perk_line(std::ostream& out, std::string_view perk);

// Call after each write to `file.stream`: when the stream has failed and no
// error is kept yet, keeps the system's errno, the reason the write failed.
void note_write_error(record_file& file);

// Flushes and closes the file. Returns 0 when every write and the close
// succeeded, otherwise the errno of the first failure.
int close_record_file(record_file& file);

// Ends a record that will not be written: closes the file and, when this run
// created it and it is still empty and still the same file, removes it.
void abandon_record_file(record_file& file);

#endif  // CARDSTOW_RECORD_RECORD_FILE_H_
