// The terminal database and the locale, looked up as ncurses and the C
// library look them up.
#include "terminal/terminal_facts_posix.h"

#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Whether the folder `folder` holds an entry for `term`, under its first
// letter or that letter in hexadecimal (macOS).
bool has_entry(const std::string& folder, const std::string& term) {
  if (folder.empty()) return false;
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02x",
                static_cast<unsigned>(static_cast<unsigned char>(term[0])));
  return access((folder + "/" + term[0] + "/" + term).c_str(), R_OK) == 0 ||
         access((folder + "/" + hex + "/" + term).c_str(), R_OK) == 0;
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "" : value;
}

}  // namespace

bool terminal_is_known() {
  const std::string term = environment("TERM");
  if (term.empty() || term == "dumb" || term.find('/') != std::string::npos) {
    return false;
  }
  std::string folders = environment("TERMINFO") + ":" + environment("HOME") +
                        "/.terminfo:" + environment("TERMINFO_DIRS") +
                        ":/etc/terminfo:/lib/terminfo:/usr/share/terminfo";
  std::size_t start = 0;
  for (std::size_t end; (end = folders.find(':', start)) != std::string::npos;
       start = end + 1) {
    if (has_entry(folders.substr(start, end - start), term)) return true;
  }
  return has_entry(folders.substr(start), term);
}

bool locale_allows_utf8() {
  const std::string kept = std::setlocale(LC_CTYPE, nullptr);
  const char* chosen = std::setlocale(LC_CTYPE, "");
  bool utf8 = chosen == nullptr || std::strcmp(chosen, "C") == 0 ||
              std::strcmp(chosen, "POSIX") == 0 ||
              std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  std::setlocale(LC_CTYPE, kept.c_str());
  return utf8;
}

int window_columns() {
  winsize size{};
  if (ioctl(1, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}
