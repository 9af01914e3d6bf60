// Names in columns, by the widths the editor draws them with.
#include "terminal/completion_listing.h"

#include <algorithm>

#include "app/shown_name.h"
#include "terminal/screen_layout.h"

std::string in_columns(const std::vector<std::string>& found, int columns) {
  std::vector<std::string> names;
  for (const std::string& name : found) names.push_back(shown_name(name));
  std::size_t widest = 0;
  for (const std::string& name : names) {
    widest = std::max(widest, static_cast<std::size_t>(text_width(name)));
  }
  const std::size_t across = std::max<std::size_t>(
      1, static_cast<std::size_t>(columns) / (widest + 2));
  const std::size_t rows = (names.size() + across - 1) / across;
  std::string out;
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t i = row; i < names.size(); i += rows) {
      out += names[i];
      if (i + rows < names.size()) {
        out.append(widest + 2 - static_cast<std::size_t>(text_width(names[i])),
                   ' ');
      }
    }
    out += "\n";
  }
  return out;
}
