#!/usr/bin/env bash
# Checks the cardstow manual page: that groff renders it without a warning, and
# that its examples show what the real program prints and writes.
#
#   check_man_page.sh render  PAGE VERSION
#   check_man_page.sh example PAGE CARDSTOW
#
# "example" reads three marked blocks from PAGE, each a .EX/.EE block between
# the comment lines .\" NAME-begin and .\" NAME-end:
#   answers  the lines of a prepared answers file;
#   record   the record file those answers make (named by the first answer);
#   session  the same answers typed at a terminal: a "$ cardstow" line, the
#            nine lines of the start-up screen, then one line per answer, each
#            ending in the typed answer, then the closing lines.
# It pipes the answers into CARDSTOW in an empty directory and compares the
# record file and the console output with the page, byte for byte, and
# checks every line of PAGE that shows the invalid-number message against the
# message the program prints.
# Exit status: 0 pass, 1 fail, 77 skipped (groff missing).
set -euo pipefail

fail() {
  printf 'FAIL: %s\n' "$*" >&2
  exit 1
}

# Prints the text of block NAME of PAGE with the roff escapes used in
# examples undone. Fails on any other request or escape inside the block, so
# that nothing the reader sees can differ unnoticed from what is compared.
extract_block() {
  local page=$1 name=$2
  awk -v name="$name" -v page="$page" '
    function bad(what) {
      printf "%s:%d: %s in the %s block: %s\n", page, NR, what, name, $0 \
        > "/dev/stderr"
      failed = 1
      exit 1
    }
    function unescape(line,    out, i, c, n) {
      out = ""
      for (i = 1; i <= length(line); i++) {
        c = substr(line, i, 1)
        if (c != "\\") { out = out c; continue }
        n = substr(line, i + 1, 1)
        if (n == "e") { out = out "\\"; i++ }
        else if (n == "-") { out = out "-"; i++ }
        else if (n == "&") { i++ }
        else if (n == "(") {
          n = substr(line, i + 2, 2)
          if (n == "rs") out = out "\\"
          else if (n == "aq") out = out "\047"
          else if (n == "dq") out = out "\""
          else if (n == "ti") out = out "~"
          else if (n == "ha") out = out "^"
          else bad("unsupported escape \\(" n)
          i += 3
        } else bad("unsupported escape \\" n)
      }
      return out
    }
    $0 == ".\\\" " name "-begin" { inside = 1; seen = 1; next }
    $0 == ".\\\" " name "-end" { inside = 0; ended = 1; next }
    !inside { next }
    /^\.(EX|EE|nf|fi)$/ { next }
    /^[.\047]/ { bad("request or unescaped leading dot or apostrophe") }
    { print unescape($0) }
    END {
      if (failed) exit 1
      if (!seen || !ended) {
        printf "%s: no .\\\" %s-begin ... %s-end block\n", page, name, name \
          > "/dev/stderr"
        exit 1
      }
    }
  ' "$page"
}

check_render() {
  local page=$1 version=$2
  command -v groff >/dev/null || {
    echo "groff is not installed (Debian: groff-base); skipped"
    exit 77
  }
  local warnings status=0
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1 >/dev/null) || status=$?
  [ "$status" -eq 0 ] || fail "groff -man -Tutf8 -ww -z $page exited $status: $warnings"
  [ -z "$warnings" ] || fail "groff -man -Tutf8 -ww -z $page warns:
$warnings"
  # Raw bytes outside ASCII are read as Latin-1 by groff and come out garbled.
  local raw
  if raw=$(LC_ALL=C grep -n '[^[:print:][:space:]]' "$page"); then
    fail "bytes outside printable ASCII (write them as groff escapes):
$raw"
  fi
  grep -q "^\.TH .*\"cardstow $version\"" "$page" ||
    fail "the .TH line of $page does not name \"cardstow $version\": $(grep '^\.TH' "$page")"
  echo "$page renders without warnings"
}

# Builds, from the typed session and the answers, the console output of the
# same answers piped in: the screen lines as they are, each answer line with
# its echoed answer and line end removed, the closing lines as they are.
session_as_piped() {
  local session=$1 answers=$2
  awk -v answers="$answers" '
    BEGIN {
      while ((getline a < answers) > 0) answer[++count] = a
      screen = 9
    }
    NR == 1 && /^\$ / { skip = 1; next }
    {
      n = NR - skip
      if (n <= screen || n > screen + count) { print; next }
      a = answer[n - screen]
      start = length($0) - length(a) + 1
      if (start < 1 || substr($0, start) != a) {
        printf "session line %d \"%s\" does not end in the answer \"%s\"\n", \
          n, $0, a > "/dev/stderr"
        exit 1
      }
      printf "%s", substr($0, 1, start - 1)
    }
  ' "$session"
}

check_example() {
  local page=$1 cardstow=$2
  # The program runs in another directory.
  case $cardstow in /*) ;; *) cardstow=$PWD/$cardstow ;; esac
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  extract_block "$page" answers >"$work/answers.txt" || fail "cannot read the answers from $page"
  extract_block "$page" record >"$work/page-record" || fail "cannot read the record from $page"
  extract_block "$page" session >"$work/session" || fail "cannot read the session from $page"
  [ -s "$work/answers.txt" ] || fail "the answers block of $page is empty"

  local file_name
  file_name=$(head -n 1 "$work/answers.txt")
  mkdir "$work/run"
  local status=0
  (cd "$work/run" && "$cardstow" <"$work/answers.txt" >"$work/stdout" 2>"$work/stderr") ||
    status=$?
  local answers_shown
  answers_shown=$(cat "$work/answers.txt")
  [ "$status" -eq 0 ] || fail "cardstow exited $status for the page's answers:
$answers_shown
standard error: $(cat "$work/stderr")"
  [ ! -s "$work/stderr" ] || fail "cardstow wrote to standard error: $(cat "$work/stderr")"
  [ -f "$work/run/$file_name" ] ||
    fail "cardstow wrote no file \"$file_name\" for the page's answers:
$answers_shown"
  if ! cmp -s "$work/page-record" "$work/run/$file_name"; then
    fail "the record in $page differs from what cardstow writes for the page's answers:
$answers_shown
--- page, +++ cardstow:
$(diff -u "$work/page-record" "$work/run/$file_name" | tail -n +3)"
  fi
  echo "the example record matches what cardstow writes"

  session_as_piped "$work/session" "$work/answers.txt" >"$work/session-piped" ||
    fail "the session in $page does not show the page's answers"
  if ! cmp -s "$work/session-piped" "$work/stdout"; then
    fail "the session in $page differs from the console output of cardstow for its answers:
$answers_shown
(answers echoed at the terminal removed) --- page, +++ cardstow:
$(diff -u "$work/session-piped" "$work/stdout" | tail -n +3)"
  fi
  echo "the example session matches what cardstow prints"

  # Every invalid-number line shown must be the one the program prints.
  local message
  message=$(cd "$work/run" && printf 'x.TXT\nN\nten\n' | "$cardstow" 2>/dev/null |
    grep -o 'Please enter a whole number[^:]*$' | head -n 1) || true
  [ -n "$message" ] || fail "cardstow printed no message for the number answer \"ten\""
  local shown checked=0
  while IFS= read -r shown; do
    case $shown in
      *"$message"*) ;;
      *) fail "the page shows \"$shown\", but for the number answer \"ten\" cardstow prints \"$message\"" ;;
    esac
    checked=$((checked + 1))
  done < <(sed -e 's/\\-/-/g' -e 's/\\&//g' -e 's/\\ / /g' "$page" |
    grep 'Please enter a whole number')
  [ "$checked" -gt 0 ] || fail "$page shows no invalid-number message"
  echo "the invalid-number message shown $checked times matches what cardstow prints"
}

case ${1-} in
  render) [ $# -eq 3 ] || fail "usage: $0 render PAGE VERSION"; check_render "$2" "$3" ;;
  example) [ $# -eq 3 ] || fail "usage: $0 example PAGE CARDSTOW"; check_example "$2" "$3" ;;
  *) fail "usage: $0 render PAGE VERSION | example PAGE CARDSTOW" ;;
esac
