// Stream buffers over the console calls of terminal/terminal.h.
#include "app/console_streams.h"

#include <string_view>

#include "terminal/terminal.h"

console_input_buffer::int_type console_input_buffer::underflow() {
  if (ended_) return traits_type::eof();
  const std::size_t got =
      read_standard_input(block_.data(), block_.size(), error_);
  if (got == 0) {
    ended_ = true;
    return traits_type::eof();
  }
  setg(block_.data(), block_.data(), block_.data() + got);
  return traits_type::to_int_type(block_.front());
}

console_output_buffer::console_output_buffer() {
  setp(block_.data(), block_.data() + block_.size());
}

console_output_buffer::int_type console_output_buffer::overflow(int_type c) {
  if (sync() != 0) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int console_output_buffer::sync() {
  const std::string_view pending(pbase(),
                                 static_cast<std::size_t>(pptr() - pbase()));
  setp(block_.data(), block_.data() + block_.size());
  if (error_ != 0) return -1;
  return write_standard_output(pending, error_) ? 0 : -1;
}
