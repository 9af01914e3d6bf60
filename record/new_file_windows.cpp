// Removing a record file this run created and stored nothing in, on
// Windows: at once, or from a console event that ends the process first.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

#include "record/file_system.h"
#include "signals/ending_signals.h"

namespace {

HANDLE handle_of(const record_handle& file) {
  return reinterpret_cast<HANDLE>(file.value);
}

bool is_empty(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) && size.QuadPart == 0;
}

// Marks `file` to be deleted once closed, when it is still empty.
void delete_if_empty(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  if (is_empty(file)) {
    SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                               sizeof disposition);
  }
}

// The new file a console event that ends the process deletes.
std::atomic<HANDLE> guarded{INVALID_HANDLE_VALUE};

void delete_guarded_file() {
  const HANDLE file = guarded.exchange(INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) delete_if_empty(file);
}

}  // namespace

// The handle is the file itself, whatever its name now.
void remove_new_file(record_handle& file, const char*) {
  if (file.created && file.on_disk) delete_if_empty(handle_of(file));
  close_file(file);
}

void guard_new_file(const record_handle& file, const char*) {
  if (!file.created || !file.on_disk || guarded != INVALID_HANDLE_VALUE) {
    return;
  }
  guarded = handle_of(file);
  set_record_ending(delete_guarded_file);
}

void end_new_file_guard() {
  set_record_ending(nullptr);
  guarded = INVALID_HANDLE_VALUE;
}
