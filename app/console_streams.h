// The process's console as the dialogue's stream buffers: console input read
// from standard input and console output written to standard output. Each
// keeps the first error the system reports instead of throwing it.
#ifndef CARDSTOW_APP_CONSOLE_STREAMS_H_
#define CARDSTOW_APP_CONSOLE_STREAMS_H_

#include <array>
#include <cstddef>
#include <streambuf>

// Console input, read in large blocks. A read error ends input there, as the
// end of input does; nothing is read after either.
class console_input_buffer final : public std::streambuf {
 public:
  // The errno of the read that failed; 0 when none did.
  int error() const { return error_; }

 protected:
  int_type underflow() override;

 private:
  std::array<char, std::size_t{64} << 10> block_;
  bool ended_ = false;
  int error_ = 0;
};

// Console output, written out whenever it is flushed. After a failed write
// every later one is dropped, and the stream using this buffer goes bad.
class console_output_buffer final : public std::streambuf {
 public:
  console_output_buffer();

  // The errno of the write that failed; 0 when none did.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  std::array<char, std::size_t{8} << 10> block_;
  int error_ = 0;
};

#endif  // CARDSTOW_APP_CONSOLE_STREAMS_H_
