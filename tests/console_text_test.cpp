// The Windows console: UTF-8 output written in pieces that cut characters,
// typed UTF-16 lines handed on as UTF-8, the errno of a failed read or write,
// and when a run keeps its window open.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "terminal/console_rules_windows.h"
#include "terminal/console_text_windows.h"

namespace {

TEST(ConsoleTextOf, CharactersCutBetweenWritesShowWhole) {
  struct pieces_case {
    std::vector<std::string> pieces;
    std::wstring shown;
  };
  const pieces_case cases[] = {
      {{"h\xC3", "\xA9ros\n"}, L"h\u00E9ros\n"},
      {{"\xE2", "\x82", "\xAC"}, L"\u20AC"},
      {{"\xF0\x9F", "\x98", "\x80!"}, L"\U0001F600!"},
      {{"\xF0\x9F\x98\x80", "\xE2\x82\xAC"}, L"\U0001F600\u20AC"},
      // A cut character that never goes on shows as U+FFFD.
      {{"\xC3", "a"}, L"\uFFFDa"},
  };
  for (const pieces_case& c : cases) {
    std::string held;
    std::wstring shown;
    for (const std::string& piece : c.pieces) {
      shown += console_text_of(held, piece);
    }
    EXPECT_EQ(shown, c.shown) << "pieces from: " << c.pieces.front();
    EXPECT_EQ(held, "") << "pieces from: " << c.pieces.front();
  }
}

TEST(TypedLineOf, UtfSixteenLinesBecomeUtfEightWithOneLineFeed) {
  struct line_case {
    std::wstring typed;
    std::string line;  // appended after "old"
    bool goes_on;      // false: a Ctrl-Z ended input in the line
  };
  const line_case cases[] = {
      {L"H\u00E9ro\r\n", "H\xC3\xA9ro\n", true},
      {L"\r\n", "\n", true},
      {L"  Lead Belly \r\n", "  Lead Belly \n", true},
      {L"\U0001F600\r\n", "\xF0\x9F\x98\x80\n", true},
      {L"x\xD800y\r\n", "x\xEF\xBF\xBDy\n", true},
      // Control characters typed are not stored, but for Tab, which
      // separates numbers and is part of a text, as in an answers file.
      {L"a\tb\x1B[Ac\x7F\r\n", "a\tb[Ac\n", true},
      {L"\x01\x08\x0D\x1F\u0085\u009F\u00A0\r\n", "\xC2\xA0\n", true},
      // A Ctrl-Z ends input where it stands, with no line end.
      {L"bob\x1A"
       L"tail\r\n",
       "bob", false},
      {L"a\x1A\r\n", "a", false},
      {L"\x1A\r\n", "", false},
      {L"\x1A"
       L"abc\r\n",
       "", false},
  };
  for (const line_case& c : cases) {
    std::string line = "old";
    EXPECT_EQ(typed_line_of(c.typed, line), c.goes_on)
        << "line stored as: " << c.line;
    EXPECT_EQ(line, "old" + c.line);
  }
}

TEST(ErrnoOfWindowsError, NamesTheCause) {
  struct error_case {
    unsigned long windows_error;
    int runtime_errno;
    int reported;
  };
  const error_case cases[] = {
      {ERROR_NO_DATA, EINVAL, EPIPE},
      {ERROR_BROKEN_PIPE, EINVAL, EPIPE},
      {ERROR_PIPE_NOT_CONNECTED, EINVAL, EPIPE},
      {ERROR_INVALID_HANDLE, EINVAL, EBADF},
      {ERROR_INVALID_HANDLE, 0, EBADF},
      {ERROR_ACCESS_DENIED, EACCES, EACCES},
      {ERROR_INVALID_FUNCTION, EINVAL, EINVAL},
      {0, EBADF, EBADF},
      {ERROR_HANDLE_DISK_FULL, 0, EIO},
  };
  for (const error_case& c : cases) {
    EXPECT_EQ(errno_of_windows_error(c.windows_error, c.runtime_errno),
              c.reported)
        << "Windows error " << c.windows_error << ", errno " << c.runtime_errno;
  }
}

TEST(KeepsWindowOpen, OnlyAConsoleOfItsOwnWithNothingRedirected) {
  struct window_case {
    unsigned long console_processes;
    bool input_is_console;
    bool output_is_console;
    bool kept;
  };
  const window_case cases[] = {
      {1, true, true, true},    // double-clicked
      {2, true, true, false},   // started from cmd or PowerShell
      {3, true, true, false},   // from a shell started from another
      {0, true, true, false},   // no console to count
      {1, false, true, false},  // answers from a file
      {1, true, false, false},  // output to a file
      {1, false, false, false},
  };
  for (const window_case& c : cases) {
    EXPECT_EQ(keeps_window_open(c.console_processes, c.input_is_console,
                                c.output_is_console),
              c.kept)
        << c.console_processes << " console processes, input "
        << (c.input_is_console ? "" : "not ") << "a console, output "
        << (c.output_is_console ? "" : "not ") << "a console";
  }
}

}  // namespace
