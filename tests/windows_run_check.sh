#!/usr/bin/env bash
# End-to-end checks of the real cardstow.exe on piped answers, for the Windows
# build: under Wine when cross-built (the emulator command follows the
# program), or directly on Windows (Git Bash, MSYS2). Each run is in an empty
# directory; text mode ends every line of the console output, the error line
# and the record with CR LF.
#   windows_run_check.sh session|crlf_session|bom_session|utf16le_session|utf16be_session|utf8_name|answers_file|ctrl_z|utf16_ctrl_z|replace_session|other_program|forced_end|ctrl_c_perks PROGRAM [EMULATOR...]
#   windows_run_check.sh refused NAME PROGRAM [EMULATOR...]
set -euo pipefail
check=$1
[ "$check" != refused ] || { refused_name=$2; shift; }
emulator=("${@:3}")
run=("${emulator[@]}" "$2")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/work"
cd "$dir/work"

fail() {
  echo "cardstow.exe, $check: $*" >&2
  exit 1
}
crlf() { sed 's/$/\r/'; }

# Runs the program on standard input $1 and checks its exit status is $2;
# standard output and error are left in $dir/out and $dir/err.
run_on() {
  local status=0
  "${run[@]}" <"$1" >"$dir/out" 2>"$dir/err" || status=$?
  [ "$status" -eq "$2" ] || fail "exit status $status, expected $2; stderr: $(cat "$dir/err")"
}

# File $1 holds the bytes of standard input; $2 says what it is.
expect_content() {
  cat >"$dir/expected"
  cmp -s "$1" "$dir/expected" && return
  diff <(cat -A "$dir/expected") <(cat -A "$1") >&2 || true
  fail "$2 is not as expected (diff above: expected, then found; ^M is CR)"
}

# The working directory holds exactly the names given.
expect_files() {
  local expected
  expected=$(printf '%s\n' "$@")
  [ "$(ls -A)" = "${expected%$'\n'}" ] || fail "the directory holds \"$(ls -A)\", expected \"$*\""
}

# Nothing stored: standard error is one line holding $1, and the thanks line
# ends the console output.
expect_refusal() {
  [ "$(wc -l <"$dir/err")" -eq 1 ] && [ "$(tail -c 2 "$dir/err" | od -An -c)" = '  \r  \n' ] ||
    fail "stderr is not one line ending in CR LF: $(cat -A "$dir/err")"
  grep -qF -- "$1" "$dir/err" || fail "stderr \"$(cat "$dir/err")\" lacks \"$1\""
  ! grep -q 'All this information' "$dir/out" || fail "says the record was stored"
  [ "$(tail -c 28 "$dir/out")" = $'Thanks for using CARDSTOW.\r' ] || fail "no thanks line at the end"
}

# The README's session: its answers, then its console output and record.
answers='mara.TXT\nMara Voss\n12\n6\n7\n5\n4\n8\n9\n3\nFast Shot\nSmall Frame\nGuns\nLockpick\nSpeech\n2\nToughness\nLead Belly\n'
check_session() {
  run_on "$dir/answers" 0
  [ ! -s "$dir/err" ] || fail "stderr: $(cat "$dir/err")"
  local stars=************************************************************ blank
  blank=$(printf '%60s' '')
  {
    printf '        %s\n' "/$stars\\" "*$blank*" \
      '*                Cardstow Roster Sheet Keeper                *' \
      '*             Written by the cardstow developers             *' \
      '*                                              Verson 1.0    *' \
      "*$blank*" "\\$stars/"
    printf '\n\n'
    printf '%s' 'Enter a file name followed by .TXT: Character Name: Level: ' \
      'Strength: Perception: Endurance: Charisma: Intelligence: Agility: Luck: ' \
      'First Trait: Second Trait: First Tag: Second Tag: Third Tag: ' \
      'How many Perks do you need to enter: Enter perk: Enter perk: ' \
      $'\nAll this information has been stored in mara.TXT\nThanks for using CARDSTOW.\n'
  } | crlf | expect_content "$dir/out" "the console output"
  expect_files mara.TXT
  expect_record Toughness 'Lead Belly'
}

# mara.TXT is the record of the README's session with the perks given.
expect_record() {
  printf '%s\n' 'Ironvale Scout Corps Personal Record' '' 'Name: Mara Voss' 'Level: 12' '' \
    'ST: 6      IN: 8' 'PE: 7      AG: 9' 'EN: 5      LK: 3' 'CH: 4' '' \
    'Traits: Fast Shot' '        Small Frame' '' 'Tags:   Guns' '        Lockpick' \
    '        Speech' '' 'Perks:' "$@" | crlf | expect_content mara.TXT "the record"
}

# Standard input as Windows tools save it: $1 is utf-8 (with its byte-order
# mark), utf-16le or utf-16be (after the mark FF FE or FE FF).
saved_as() {
  case $1 in
    utf-8) printf '\xef\xbb\xbf'; cat ;;
    utf-16le) printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE ;;
    utf-16be) printf '\xfe\xff'; iconv -f UTF-8 -t UTF-16BE ;;
  esac
}

# A Ctrl-Z ends the answers: the record holds the name and nothing after.
check_ctrl_z() {
  run_on "$dir/answers" 0
  expect_files z.TXT
  grep -q $'^Name: Mara\r$' z.TXT && grep -q $'^Level: 0\r$' z.TXT ||
    fail "the answers did not end at the Ctrl-Z: $(cat -A z.TXT)"
}

case $check in
  session)
    printf "$answers" >"$dir/answers"
    check_session ;;
  crlf_session)
    printf "$answers" | crlf >"$dir/answers"
    check_session ;;
  bom_session | utf16le_session | utf16be_session)
    encoding=${check%_session}
    [ "$encoding" = bom ] && encoding=utf-8
    [ "$encoding" = utf16le ] && encoding=utf-16le
    [ "$encoding" = utf16be ] && encoding=utf-16be
    printf "$answers" | crlf | saved_as "$encoding" >"$dir/answers"
    check_session ;;
  ctrl_z)
    printf 'z.TXT\r\nMara\r\n\x1a12\r\n' >"$dir/answers"
    check_ctrl_z ;;
  utf16_ctrl_z)
    printf 'z.TXT\r\nMara\r\n\x1a12\r\n' | saved_as utf-16le >"$dir/answers"
    check_ctrl_z ;;
  utf8_name)
    printf 'h\xc3\xa9ros.TXT\nH\xc3\xa9l\xc3\xa8ne\n' >"$dir/answers"
    run_on "$dir/answers" 0
    expect_files $'h\xc3\xa9ros.TXT'
    grep -q $'^Name: H\xc3\xa9l\xc3\xa8ne\r$' $'h\xc3\xa9ros.TXT' || fail "the record lacks the name typed"
    grep -q $'stored in h\xc3\xa9ros.TXT\r$' "$dir/out" || fail "does not say where the record is" ;;
  replace_session)
    # An existing record is replaced whole, and no new file is left.
    printf 'an older record\r\n' >mara.TXT
    printf "$answers" >"$dir/answers"
    check_session ;;
  other_program)
    # A batch appending to the record holds it open: refused with words that
    # blame no cardstow run.
    printf "$answers" >"$dir/answers"
    mkfifo "$dir/hold"
    "${emulator[@]}" cmd /c 'set /p x=>>mara.TXT' <"$dir/hold" &
    exec 8>"$dir/hold"
    for _ in $(seq 100); do [ -e mara.TXT ] && break; sleep 0.1; done
    run_on "$dir/answers" 1
    exec 8>&-  # the batch reads the end of its input and ends
    wait $! || true
    expect_refusal '"mara.TXT" is open in another program; nothing was stored' ;;
  forced_end)
    # taskkill /f before the sheet leaves no new file. The program runs under
    # a name of its own, so that no other test's run is ended.
    cp "$2" "$dir/forced-end.exe"
    mkfifo "$dir/in"
    "${emulator[@]}" "$dir/forced-end.exe" <"$dir/in" >"$dir/out" 2>&1 &
    exec 7>"$dir/in"
    printf 'new.TXT\r\nMara\r\n' >&7
    for _ in $(seq 100); do [ -e new.TXT ] && break; sleep 0.1; done
    [ -e new.TXT ] || fail "the run never created new.TXT"
    "${emulator[@]}" taskkill /f /im forced-end.exe >/dev/null
    wait $! || true
    exec 7>&-
    expect_files ;;
  ctrl_c_perks)
    # Ctrl-C while the second perk is asked: the sheet and the first perk
    # become the record, in place of the old one, and no new file is left.
    # Wine turns SIGINT into a Ctrl-C console event; Windows has no such way.
    [ ${#emulator[@]} -gt 0 ] || { echo "needs Wine: skipped"; exit 77; }
    printf 'an older record\r\n' >mara.TXT
    cp "$2" "$dir/ctrl-c.exe"
    mkfifo "$dir/in"
    "${emulator[@]}" "$dir/ctrl-c.exe" <"$dir/in" >"$dir/out" 2>&1 &
    exec 7>"$dir/in"
    printf "$answers" | sed '$d' >&7  # all but the second perk
    for _ in $(seq 100); do
      grep -qs Toughness .mara.TXT.cardstow-new && break
      sleep 0.1
    done
    grep -qs Toughness .mara.TXT.cardstow-new || fail "the run never wrote the first perk"
    pkill -INT -x ctrl-c.exe
    wait $! || true
    exec 7>&-
    expect_files mara.TXT
    expect_record Toughness ;;
  answers_file)
    printf 'hero.TXT\r\nMara\r\n' >hero.TXT
    run_on hero.TXT 1
    expect_refusal '"hero.TXT" is the file the answers are read from'
    expect_files hero.TXT
    printf 'hero.TXT\r\nMara\r\n' | expect_content hero.TXT "the answers file" ;;
  refused)
    # Folders that Windows takes for one (it drops the dot), left empty.
    mkdir sub sub.
    printf '%s\nMara\n1\n' "$refused_name" >"$dir/answers"
    run_on "$dir/answers" 1
    # The message shows backslashes as typed, < and > as <3C> and <3E>.
    shown=$(printf '%s' "$refused_name" | sed 's/</\x01/g; s/>/<3E>/g; s/\x01/<3C>/g')
    expect_refusal "file name \"$shown\" "
    expect_files sub sub.
    [ -z "$(find sub sub. -mindepth 1)" ] || fail "wrote $(find sub sub. -mindepth 1)" ;;
  *)
    fail "no such check" ;;
esac
