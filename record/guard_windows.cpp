// What happens to the record file when a console event (Ctrl-C, Ctrl-Break,
// closing the console) ends the run, on Windows: the action runs on the
// event's own thread (signals/ending_signals.h).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "record/file_system.h"
#include "signals/ending_signals.h"

namespace {

std::wstring wide_of(const char* name) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name, -1, wide.data(), length);
  wide.resize(wide.size() - 1);
  return wide;
}

// What the action works on: set before the action is registered.
struct guarded_record {
  HANDLE file = INVALID_HANDLE_VALUE;
  bool only_empty = false;
  std::wstring written;   // the new file's name
  std::wstring replaced;  // the record it replaces; empty: none
};
guarded_record guarded;

bool is_empty(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) && size.QuadPart == 0;
}

// The file goes once the process ends and its handle is closed.
void remove_unwritten() {
  const HANDLE file = guarded.file;
  if (file == INVALID_HANDLE_VALUE || (guarded.only_empty && !is_empty(file))) {
    return;
  }
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                             sizeof disposition);
}

// The sheet and the perks so far are the record: flushed, put in place.
// ReplaceFileW opens the new file for itself and fails while this run holds
// it open, so it is closed first. The main thread cannot touch the handle
// again: this runs under its hold, which the event's thread keeps till the
// process ends (signals/ending_signals.h).
void publish_written() {
  const HANDLE file = guarded.file;
  if (file == INVALID_HANDLE_VALUE || !FlushFileBuffers(file) ||
      guarded.replaced.empty()) {
    return;
  }
  CloseHandle(file);
  ReplaceFileW(guarded.replaced.c_str(), guarded.written.c_str(), nullptr,
               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
}

HANDLE handle_of(const record_handle& file) {
  return reinterpret_cast<HANDLE>(file.value);
}

}  // namespace

void guard_unwritten(const record_handle& written, const char*,
                     bool only_empty) {
  end_record_guard();
  guarded.only_empty = only_empty;
  guarded.file = handle_of(written);
  set_record_ending(remove_unwritten);
}

void guard_written(const record_handle& written, const char* written_name,
                   const char* replaced, const record_handle&) {
  end_record_guard();
  guarded.written = wide_of(written_name);
  guarded.replaced = replaced != nullptr ? wide_of(replaced) : std::wstring();
  guarded.file = handle_of(written);
  set_record_ending(publish_written);
}

void end_record_guard() {
  set_record_ending(nullptr);
  guarded.file = INVALID_HANDLE_VALUE;
}
