// The record file's stream buffer over the platform's file calls.
#include "record/file_buffer.h"

#include <string_view>

file_output_buffer::file_output_buffer(record_handle& file) : file_(file) {
  setp(block_.data(), block_.data() + block_.size());
}

// Writes out and drops what is pending; after a failure only drops it.
bool file_output_buffer::write_pending() {
  const std::string_view pending(pbase(),
                                 static_cast<std::size_t>(pptr() - pbase()));
  setp(block_.data(), block_.data() + block_.size());
  if (error_ != 0) return false;
  return pending.empty() || write_file(file_, pending, error_);
}

file_output_buffer::int_type file_output_buffer::overflow(int_type c) {
  if (!write_pending()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int file_output_buffer::sync() { return write_pending() ? 0 : -1; }
