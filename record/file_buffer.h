// The record file's stream buffer: what the record's writers put, written to
// the open file through the platform's calls (record/file_system.h).
#ifndef CARDSTOW_RECORD_FILE_BUFFER_H_
#define CARDSTOW_RECORD_FILE_BUFFER_H_

#include <array>
#include <cstddef>
#include <streambuf>

#include "record/file_system.h"

// Output to `file`, written out whenever it is flushed or full. The first
// failed write ends the writing for good: its errno is kept, what is pending
// is dropped and nothing is written after it, so no byte is ever written
// twice. The stream using this buffer then goes bad.
class file_output_buffer final : public std::streambuf {
 public:
  explicit file_output_buffer(record_handle& file);

  // The errno of the write that failed; 0 when none did.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool write_pending();

  record_handle& file_;
  std::array<char, std::size_t{4} << 10> block_;
  int error_ = 0;
};

#endif  // CARDSTOW_RECORD_FILE_BUFFER_H_
