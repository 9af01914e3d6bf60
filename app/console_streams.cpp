// Stream buffers over the console calls of terminal/terminal.h.
#include "app/console_streams.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

console_output_buffer::console_output_buffer(bool holds_prompt)
    : holds_prompt_(holds_prompt) {
  setp(block_.data(), block_.data() + block_.size());
}

// Writes the first `size` pending bytes and keeps the rest at the start of
// the buffer. After a failure nothing is kept.
bool console_output_buffer::write_out(std::size_t size) {
  const std::string_view pending(pbase(),
                                 static_cast<std::size_t>(pptr() - pbase()));
  const bool written =
      error_ == 0 && write_standard_output(pending.substr(0, size), error_);
  const std::size_t kept = written ? pending.size() - size : 0;
  std::copy(pending.end() - static_cast<std::ptrdiff_t>(kept), pending.end(),
            block_.begin());
  setp(block_.data(), block_.data() + block_.size());
  pbump(static_cast<int>(kept));
  return written;
}

console_output_buffer::int_type console_output_buffer::overflow(int_type c) {
  if (!write_out(static_cast<std::size_t>(pptr() - pbase()))) {
    return traits_type::eof();
  }
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
  const std::size_t line_end = pending.rfind('\n');
  const std::size_t size = !holds_prompt_                       ? pending.size()
                           : line_end == std::string_view::npos ? 0
                                                                : line_end + 1;
  return write_out(size) ? 0 : -1;
}

std::string console_output_buffer::take_prompt() {
  sync();
  std::string prompt(pbase(), pptr());
  setp(block_.data(), block_.data() + block_.size());
  return prompt;
}

void console_output_buffer::finish() {
  write_out(static_cast<std::size_t>(pptr() - pbase()));
}

console_input_buffer::console_input_buffer(console_output_buffer& output,
                                           typed_lines* typed)
    : output_(output), typed_(typed) {}

console_input_buffer::int_type console_input_buffer::underflow() {
  while (!ended_) {
    const std::span<char> text = typed_ != nullptr ? read_typed() : read_more();
    // A closed terminal reads as its end; the answers did not end there.
    if (ended_ && error_ == 0 && standard_input_hung_up()) error_ = EIO;
    if (error_ != 0) ended_ = true;
    if (!text.empty()) {
      setg(text.data(), text.data(), text.data() + text.size());
      return traits_type::to_int_type(*gptr());
    }
  }
  return traits_type::eof();
}

// The next line typed; nothing at the end of input.
std::span<char> console_input_buffer::read_typed() {
  line_.clear();
  if (!read_typed_line(*typed_, output_.take_prompt(), asked_, line_, error_)) {
    ended_ = true;
  }
  return {line_.data(), line_.size()};
}

// The text of the next block of standard input, up to where input ends;
// may be empty while a block holds only the start of a character.
std::span<char> console_input_buffer::read_more() {
  const std::size_t got =
      read_standard_input(block_.data(), block_.size(), error_);
  std::span<char> text =
      got == 0 ? finish_input(decoder_, line_)
               : decode_input(decoder_, {block_.data(), got}, line_);
  const std::size_t end =
      standard_input_end(std::string_view(text.data(), text.size()));
  ended_ = got == 0 || end < text.size();
  return text.first(end);
}
