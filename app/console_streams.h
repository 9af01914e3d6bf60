// The process's console as the dialogue's stream buffers: console input read
// from standard input, or line by line from the line editor when a person
// types at a terminal, and console output written to standard output. Each
// keeps the first error the system reports.
#ifndef CARDSTOW_APP_CONSOLE_STREAMS_H_
#define CARDSTOW_APP_CONSOLE_STREAMS_H_

#include <array>
#include <cstddef>
#include <span>
#include <streambuf>
#include <string>

#include "app/input_decoding.h"
#include "terminal/terminal.h"

// Console output, written out whenever it is flushed. For a line editor it
// holds back the text after the last line end, the prompt, for the editor to
// show. After a failed write every later one is dropped, and the stream using
// this buffer goes bad.
class console_output_buffer final : public std::streambuf {
 public:
  // `holds_prompt`: whether a line editor shows the prompt.
  explicit console_output_buffer(bool holds_prompt);

  // Writes out what is pending and hands over what was held back.
  std::string take_prompt();

  // Writes out everything, the held-back text included; call at the end.
  void finish();

  // The errno of the write that failed; 0 when none did.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool write_out(std::size_t size);

  std::array<char, std::size_t{8} << 10> block_;
  bool holds_prompt_;
  int error_ = 0;
};

// Console input: a line at a time from `typed` when it is not null, else
// standard input in large blocks, decoded to UTF-8 (app/input_decoding.h).
// End of input ends it for good. A read error, and the end of a terminal
// that has hung up (EIO), end it too and are kept in error(). Nothing is read
// after either.
class console_input_buffer final : public std::streambuf {
 public:
  console_input_buffer(console_output_buffer& output, typed_lines* typed);

  // What the next answer takes, which the line editor holds the lines typed
  // to; kept until told again. Before the first call: numbers.
  void ask(const typed_answer& answer) { asked_ = answer; }

  // The errno of the read that failed; 0 while none did. The reference stays
  // valid as long as the buffer.
  const int& error() const { return error_; }

 protected:
  int_type underflow() override;

 private:
  std::span<char> read_more();
  std::span<char> read_typed();

  console_output_buffer& output_;
  typed_lines* typed_;
  typed_answer asked_;
  std::array<char, std::size_t{64} << 10> block_;
  std::string line_;  // the line typed last, or the text decoded last
  input_decoder decoder_;
  bool ended_ = false;
  int error_ = 0;
};

#endif  // CARDSTOW_APP_CONSOLE_STREAMS_H_
