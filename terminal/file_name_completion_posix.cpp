// Reads the folder of a partly typed name for the names it may go on to.
#include "terminal/file_name_completion_posix.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "text/unicode.h"
#include "text/utf8.h"

namespace {

std::vector<std::string> names_starting_with(const std::string& folder,
                                             std::string_view start) {
  std::vector<std::string> names;
  DIR* entries = opendir(folder.c_str());
  if (entries == nullptr) return names;
  while (const dirent* entry = readdir(entries)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (name.front() == '.' && (start.empty() || start.front() != '.')) {
      continue;
    }
    if (name.substr(0, start.size()) == start) names.emplace_back(name);
  }
  closedir(entries);
  std::sort(names.begin(), names.end());
  return names;
}

// Whether a grapheme cluster of `name` ends at `at`.
bool is_cluster_boundary(std::string_view name, std::size_t at) {
  std::size_t end = 0;
  while (end < at) end = cluster_end(name, end);
  return end == at;
}

// The bytes all of `names` start with, cut after the last cluster that each
// of them holds whole.
std::size_t common_start(const std::vector<std::string>& names) {
  const std::string& first = names.front();
  std::size_t length = first.size();
  for (const std::string& name : names) {
    const auto shorter = std::min(length, name.size());
    length = static_cast<std::size_t>(
        std::mismatch(name.begin(),
                      name.begin() + static_cast<std::ptrdiff_t>(shorter),
                      first.begin())
            .first -
        name.begin());
  }
  while (length > 0 &&
         !std::all_of(names.begin(), names.end(), [&](const std::string& n) {
           return is_cluster_boundary(n, length);
         })) {
    length = cluster_start(first, length);
  }
  return length;
}

bool is_folder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Whether a line may take all of `text`.
bool is_taken_whole(std::string_view text) {
  char32_t code = 0;
  while (!text.empty()) {
    const std::size_t length = utf8_decode(text, code);
    if (length == 0 || !is_taken_into_line(code)) return false;
    text.remove_prefix(length);
  }
  return true;
}

}  // namespace

file_name_completion complete_file_name(std::string_view typed) {
  const std::size_t slash = typed.rfind('/');
  const std::string folder(slash == std::string_view::npos
                               ? std::string_view(".")
                               : typed.substr(0, slash + 1));
  const std::string_view start =
      slash == std::string_view::npos ? typed : typed.substr(slash + 1);
  file_name_completion completion;
  completion.matches = names_starting_with(folder, start);
  if (completion.matches.empty()) return completion;
  const std::string& first = completion.matches.front();
  const std::size_t common =
      std::max(common_start(completion.matches), start.size());
  completion.added = first.substr(start.size(), common - start.size());
  if (completion.matches.size() == 1 && is_folder(folder + "/" + first)) {
    completion.added += '/';
  }
  if (!is_taken_whole(completion.added)) {
    completion.added.clear();
    completion.refused = true;
  }
  return completion;
}
