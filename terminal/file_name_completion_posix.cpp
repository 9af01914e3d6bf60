// Reads the folder of a partly typed name for the names it may go on to.
#include "terminal/file_name_completion_posix.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

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

std::size_t common_start(const std::vector<std::string>& names) {
  std::size_t length = names.front().size();
  for (const std::string& name : names) {
    length = static_cast<std::size_t>(
        std::mismatch(name.begin(),
                      name.begin() + static_cast<std::ptrdiff_t>(
                                         std::min(length, name.size())),
                      names.front().begin())
            .first -
        name.begin());
  }
  return length;
}

bool is_folder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
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
  completion.added = first.substr(
      start.size(), common_start(completion.matches) - start.size());
  if (completion.matches.size() == 1 && is_folder(folder + "/" + first)) {
    completion.added += '/';
  }
  return completion;
}
