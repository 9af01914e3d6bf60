// The Windows console's text: UTF-8 output written in pieces that cut
// characters, and typed UTF-16 lines handed on as UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  };
  const line_case cases[] = {
      {L"H\u00E9ro\r\n", "H\xC3\xA9ro\n"},
      {L"\r\n", "\n"},
      {L"  Lead Belly \r\n", "  Lead Belly \n"},
      {L"\U0001F600\r\n", "\xF0\x9F\x98\x80\n"},
      {L"a\x1A\r\n", "a\x1A\n"},
      {L"x\xD800y\r\n", "x\xEF\xBF\xBDy\n"},
  };
  for (const line_case& c : cases) {
    std::string line = "old";
    EXPECT_TRUE(typed_line_of(c.typed, line)) << "line: " << c.line;
    EXPECT_EQ(line, "old" + c.line);
  }
  for (const std::wstring typed : {L"\x1A\r\n",
                                   L"\x1A"
                                   L"abc\r\n"}) {
    std::string line = "old";
    EXPECT_FALSE(typed_line_of(typed, line))
        << "Ctrl-Z line, length " << typed.size();
    EXPECT_EQ(line, "old");
  }
}

}  // namespace
