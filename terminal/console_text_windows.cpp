// UTF-8 to UTF-16 and back for the Windows console, with the system's
// converters.
#include "terminal/console_text_windows.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "text/utf8.h"

std::wstring console_text_of(std::string& held, std::string_view bytes) {
  std::string text = held + std::string(bytes);
  held = text.substr(text.size() - utf8_cut_tail(text));
  text.resize(text.size() - held.size());
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::wstring wide(text.size(), L'\0');
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), size);
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return wide;
}

bool typed_line_of(std::wstring_view wide, std::string& line) {
  const std::size_t end_of_input = wide.find(L'\x1A');
  const bool goes_on = end_of_input == std::wstring_view::npos;
  // The CR LF line end goes with the other control characters.
  std::wstring text;
  for (const wchar_t c : wide.substr(0, end_of_input)) {
    if (c == L'\t' || (c >= 0x20 && (c < 0x7F || c > 0x9F))) text += c;
  }
  if (!text.empty()) {
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size,
                                           nullptr, 0, nullptr, nullptr);
    const std::size_t start = line.size();
    line.resize(start + static_cast<std::size_t>(length > 0 ? length : 0));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, line.data() + start,
                        length, nullptr, nullptr);
  }
  if (goes_on) line += '\n';
  return goes_on;
}
