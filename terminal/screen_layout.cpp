// Laying out text in rows of a terminal's width.
#include "terminal/screen_layout.h"

#include "text/unicode.h"

namespace {

int width_of_cluster(std::string_view cluster) {
  return cluster == "\t" ? shown_tab_width : cluster_width(cluster);
}

// A place at the end of a full row is the start of the next one.
screen_place normalized(screen_place place, int columns) {
  if (place.column >= columns) return {place.row + 1, 0};
  return place;
}

}  // namespace

void lay_out(std::string_view text, int columns, std::string& out,
             screen_place& place, std::size_t cursor, screen_place* at_cursor) {
  for (std::size_t at = 0; at < text.size();) {
    if (at == cursor && at_cursor != nullptr) {
      *at_cursor = normalized(place, columns);
    }
    const std::size_t end = cluster_end(text, at);
    const std::string_view cluster = text.substr(at, end - at);
    const int width = width_of_cluster(cluster);
    if (place.column + width > columns) {
      if (place.column < columns) {
        out.append(static_cast<std::size_t>(columns - place.column), ' ');
      }
      place = {place.row + 1, 0};
    }
    out += cluster == "\t" ? shown_tab : cluster;
    place.column += width;
    at = end;
  }
  if (cursor == text.size() && at_cursor != nullptr) {
    *at_cursor = normalized(place, columns);
  }
}

int text_width(std::string_view text) {
  int width = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = cluster_end(text, at);
    width += width_of_cluster(text.substr(at, end - at));
    at = end;
  }
  return width;
}
