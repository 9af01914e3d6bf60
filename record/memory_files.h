// The files that file_system_memory.cpp keeps in memory in place of a disk:
// what a program linked with cardstow_record_memory (the whole-dialogue fuzz
// target) puts there before a run, the one fault it asks for, and what it
// finds there after. One set of files per process; not thread-safe.
#ifndef CARDSTOW_RECORD_MEMORY_FILES_H_
#define CARDSTOW_RECORD_MEMORY_FILES_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The primitive that fails, with EIO (ENOSPC for a write, EACCES for a
// rename or a new file).
enum class memory_fault_point {
  none,
  write,       // every write once `bytes_before` bytes in all are written
  sync,        // sync_file
  close,       // close_file of a file something was written through
  rename,      // replace_file
  entry_sync,  // sync_entry
  create_new,  // create_new_file
};

struct memory_fault {
  memory_fault_point point = memory_fault_point::none;
  std::size_t bytes_before = 0;  // for a write fault
};

// Forgets every file and open handle; the next run starts with no files
// and `fault` to come.
void reset_memory_files(const memory_fault& fault);

// Puts a file `name` holding `bytes`, with no handle open on it.
void put_memory_file(const std::string& name, std::string_view bytes);

// The bytes of the file `name` leads to, or nullptr when there is none. The
// pointer is good until the next call of a primitive or of reset.
const std::string* memory_file_content(std::string_view name);

// Every name that leads to a file, in byte order.
std::vector<std::string> memory_file_names();

// How many handles are open; how many files are locked.
std::size_t open_memory_handles();
std::size_t locked_memory_files();

// Whether the fault asked for has happened since the reset.
bool memory_fault_happened();

#endif  // CARDSTOW_RECORD_MEMORY_FILES_H_
