#!/usr/bin/env bash
# End-to-end checks of the real cardstow.exe on piped answers, for the Windows
# build: under Wine when cross-built (the emulator command follows the
# program), or directly on Windows (Git Bash, MSYS2). Each run is in an empty
# directory; text mode ends every line of the console output, the error line
# and the record with CR LF.
#   windows_run_check.sh session|crlf_session|utf8_name|answers_file PROGRAM [EMULATOR...]
#   windows_run_check.sh refused NAME PROGRAM [EMULATOR...]
set -euo pipefail
check=$1
shift
if [ "$check" = refused ]; then
  refused_name=$1
  shift
fi
program=$1
shift
run=("$@" "$program")

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/work"
cd "$dir/work"

fail() {
  echo "cardstow.exe, $check: $*" >&2
  exit 1
}

# Each line feed as CR LF.
crlf() { sed 's/$/\r/'; }

# Runs the program in the working directory with standard input from $1;
# leaves status, and standard output and error in $dir/out and $dir/err.
run_on() {
  status=0
  "${run[@]}" <"$1" >"$dir/out" 2>"$dir/err" || status=$?
}

# File $1 holds exactly the bytes of file $2; $3 says what it is.
same() {
  cmp -s "$1" "$2" && return
  diff <(cat -A "$2") <(cat -A "$1") >&2 || true
  fail "$3 is not as expected (diff above: expected, then found; ^M is CR)"
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1; stderr: $(cat "$dir/err")"
}

# The working directory holds exactly the names given.
expect_files() {
  local found expected
  found=$(ls -A)
  expected=$(printf '%s\n' "$@")
  [ "$found" = "${expected%$'\n'}" ] || fail "the directory holds \"$found\", expected \"$*\""
}

# Standard error is one line, ending in CR LF, holding $1.
expect_error_line() {
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "stderr is not one line: $(cat -A "$dir/err")"
  [ "$(tail -c 2 "$dir/err" | od -An -tx1)" = " 0d 0a" ] || fail "stderr does not end in CR LF"
  grep -qF -- "$1" "$dir/err" || fail "stderr \"$(cat "$dir/err")\" lacks \"$1\""
}

# Nothing was stored and the run ended with the thanks line.
expect_nothing_stored() {
  ! grep -q 'All this information' "$dir/out" || fail "says the record was stored"
  [ "$(tail -c 28 "$dir/out")" = $'Thanks for using CARDSTOW.\r' ] || fail "no thanks line at the end"
}

screen() {
  cat <<'SCREEN'
        /************************************************************\
        *                                                            *
        *                Cardstow Roster Sheet Keeper                *
        *             Written by the cardstow developers             *
        *                                              Verson 1.0    *
        *                                                            *
        \************************************************************/


SCREEN
}

# The README's session, piped: console output and record, with LF line ends.
session_answers='mara.TXT\nMara Voss\n12\n6\n7\n5\n4\n8\n9\n3\nFast Shot\nSmall Frame\nGuns\nLockpick\nSpeech\n2\nToughness\nLead Belly\n'
session_output() {
  screen
  printf '%s' 'Enter a file name followed by .TXT: Character Name: Level: ' \
    'Strength: Perception: Endurance: Charisma: Intelligence: Agility: Luck: ' \
    'First Trait: Second Trait: First Tag: Second Tag: Third Tag: ' \
    'How many Perks do you need to enter: Enter perk: Enter perk: '
  printf '\nAll this information has been stored in mara.TXT\nThanks for using CARDSTOW.\n'
}
session_record() {
  cat <<'RECORD'
Ironvale Scout Corps Personal Record

Name: Mara Voss
Level: 12

ST: 6      IN: 8
PE: 7      AG: 9
EN: 5      LK: 3
CH: 4

Traits: Fast Shot
        Small Frame

Tags:   Guns
        Lockpick
        Speech

Perks:
Toughness
Lead Belly
RECORD
}

check_session() {
  run_on "$dir/answers"
  expect_status 0
  [ ! -s "$dir/err" ] || fail "stderr: $(cat "$dir/err")"
  session_output | crlf >"$dir/expected"
  same "$dir/out" "$dir/expected" "the console output"
  expect_files mara.TXT
  session_record | crlf >"$dir/expected"
  same mara.TXT "$dir/expected" "the record"
}

case $check in
  session)
    printf "$session_answers" >"$dir/answers"
    check_session ;;
  crlf_session)
    printf "$session_answers" | crlf >"$dir/answers"
    check_session ;;
  utf8_name)
    printf 'h\xc3\xa9ros.TXT\nH\xc3\xa9l\xc3\xa8ne\n' >"$dir/answers"
    run_on "$dir/answers"
    expect_status 0
    expect_files $'h\xc3\xa9ros.TXT'
    grep -q $'^Name: H\xc3\xa9l\xc3\xa8ne\r$' $'h\xc3\xa9ros.TXT' || fail "the record lacks the name typed"
    grep -q $'stored in h\xc3\xa9ros.TXT\r$' "$dir/out" || fail "does not say where the record is" ;;
  answers_file)
    printf 'hero.TXT\r\nMara\r\n' >hero.TXT
    cp hero.TXT "$dir/expected"
    run_on hero.TXT
    expect_status 1
    expect_error_line '"hero.TXT" is the file the answers are read from'
    expect_nothing_stored
    expect_files hero.TXT
    same hero.TXT "$dir/expected" "the answers file" ;;
  refused)
    printf '%s\nMara\n1\n' "$refused_name" >"$dir/answers"
    run_on "$dir/answers"
    expect_status 1
    expect_error_line "file name \"$refused_name\" "
    expect_nothing_stored
    expect_files ;;
  *)
    fail "no such check" ;;
esac
