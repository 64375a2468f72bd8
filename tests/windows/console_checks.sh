#!/usr/bin/env bash
# tovix.exe on wine's console, driven through tmux: wine gives a program started in a
# terminal a console of its own that draws on that terminal, so colours, the cursor and
# the pager can be read back with tmux capture-pane. Also runs the console unit tests,
# which ctest can only skip, since wine has no console without a terminal.
#
# Also the Windows file cases that need a helper program (tovix_win_helper.exe, beside
# the unit tests): a named pipe, a file held open for writing, the output file itself,
# and a name past 260 bytes.
#
#   tests/windows/console_checks.sh build-win/tovix.exe build-win/tests/tovix_tests.exe
set -uo pipefail
exe=$(realpath "$1")
tests_exe=${2:+$(realpath "$2")}
helper=$(dirname "${tests_exe:-$exe}")/tovix_win_helper.exe
[ -f "$helper" ] || helper=$(dirname "$exe")/tests/tovix_win_helper.exe
here=$(cd "$(dirname "$0")" && pwd)
TOVIX_WINE_ROOT=${TOVIX_WINE_ROOT:-$(dirname "$exe")/wine}
. "$here/../../cmake/wine-env.sh"

work=$(mktemp -d)
socket="tovix-win-$$"
tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
cleanup() {
  tmux_ kill-server 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
pass() { echo "ok   $1"; }
fail() {
  echo "FAIL $1"
  failures=$((failures + 1))
}

{ printf '0123456789ABCDE'; printf '表示' | iconv -f UTF-8 -t CP932; printf '\r\n\x1b\xFF\xD8'; } >"$work/cut.txt"
printf 'ABC日本語ｶﾅ表示です。' | iconv -f UTF-8 -t CP932 >"$work/sj.txt"
# Big enough that the first pages stay below 1 %.
head -c 100000 /dev/urandom >"$work/big.bin"
head -c 20 /dev/zero >"$work/f20.bin"

# A 100 x 30 terminal: 28 rows make a page.
tmux_ new-session -d -x 100 -y 30 -c "$work" "env PS1='$ ' bash --norc --noprofile"
screen() { tmux_ capture-pane -p -e; }
plain() { tmux_ capture-pane -p; }
cursor_visible() { [ "$(tmux_ display -p '#{cursor_flag}')" = 1 ]; }

# wait_for <file or screen pattern>: up to 30 s.
wait_file() {
  for _ in $(seq 150); do
    [ -s "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
wait_screen() {
  for _ in $(seq 150); do
    plain | grep -q -- "$1" && return 0
    sleep 0.2
  done
  return 1
}
run() {  # run <rc file> <arguments>: starts tovix.exe in the terminal
  local rc=$1
  shift
  tmux_ send-keys "clear; wine '$exe' $*; echo \$? >$rc" Enter
}

if [ -n "$tests_exe" ]; then
  tmux_ send-keys "wine '$tests_exe' --gtest_filter='ConsoleLayer.*:ConsoleKeys.*' >$work/unit.txt 2>&1; echo \$? >$work/unit.rc" Enter
  if wait_file "$work/unit.rc" && [ "$(cat "$work/unit.rc")" = 0 ] &&
    grep -q 'PASSED.*10 tests' "$work/unit.txt"; then
    pass "console unit tests on a console"
  else
    fail "console unit tests on a console"
    cat "$work/unit.txt"
  fi
fi

# Colours: banner in 15 (bright white), -k lead bytes in 11, -c controls in 13, -d CR
# and LF in 14, -m marker codes in 12.
run "$work/colour.rc" -kcdm cut.txt
if wait_file "$work/colour.rc"; then
  s=$(screen)
  for want in $'\e[97mTovix' $'\e[96m95' $'\e[93m0D' $'\e[93m0A' $'\e[95m1B' $'\e[91mD8'; do
    if grep -qF -- "$want" <<<"$s"; then pass "colour ${want#$'\e'}"; else fail "colour ${want#$'\e'}"; fi
  done
  [ "$(cat "$work/colour.rc")" = 0 ] && pass "exit code 0" || fail "exit code $(cat "$work/colour.rc")"
  cursor_visible && pass "cursor shown at the end" || fail "cursor hidden at the end"
else
  fail "tovix.exe -kcdm did not end"
fi

# NO_COLOR set and not empty: the same run without any colour, and a usage error ends
# with 2 on the console too.
tmux_ send-keys "clear; NO_COLOR=1 wine '$exe' -kcdm cut.txt; echo \$? >$work/nocolour.rc" Enter
if wait_file "$work/nocolour.rc"; then
  if grep -q $'\e\\[9[0-7]m' <<<"$(screen)"; then fail "NO_COLOR leaves no colour"; else pass "NO_COLOR leaves no colour"; fi
else
  fail "tovix.exe under NO_COLOR did not end"
fi
run "$work/usage.rc" -x cut.txt
wait_file "$work/usage.rc" && [ "$(cat "$work/usage.rc")" = 2 ] && pass "usage error ends with 2" ||
  fail "usage error: exit code $(cat "$work/usage.rc")"

# The pager: the prompt in red on light grey, the cursor hidden while it waits.
run "$work/pager.rc" big.bin f20.bin
if wait_screen '^-- more(0%) --'; then
  pass "prompt after the first page"
  grep -qF $'\e[31m\e[47m-- more(0%) --' <<<"$(screen)" && pass "prompt colours" || fail "prompt colours"
  cursor_visible && fail "cursor visible at the prompt" || pass "cursor hidden at the prompt"
  last_offset() { plain | grep -oE '^[0-9A-F]{8}' | tail -1; }
  before=$(last_offset)
  tmux_ send-keys Enter
  sleep 0.5
  after=$(last_offset)
  [ $((16#$after - 16#$before)) -eq 16 ] && pass "Enter shows one more line" ||
    fail "Enter went from $before to $after"
  [ "$(plain | grep -c -- '-- more(')" = 1 ] && pass "the answered prompt is gone" ||
    fail "an answered prompt is still visible"
  # Keys without characters do nothing; Page Down's pair (0xE0, 'Q') must not quit.
  tmux_ send-keys Up F1 NPage
  sleep 1
  [ ! -s "$work/pager.rc" ] && [ "$(last_offset)" = "$after" ] &&
    pass "arrows, F1 and Page Down do nothing" || fail "a key without a character acted"
  tmux_ send-keys Space
  sleep 0.5
  page=$(last_offset)
  [ $((16#$page - 16#$after)) -eq $((28 * 16)) ] && pass "Space shows a page" ||
    fail "Space went from $after to $page"
  tmux_ send-keys n
  wait_screen '\[ f20.bin \]' && pass "N goes on with the next file" || fail "N"
  wait_file "$work/pager.rc" && [ "$(cat "$work/pager.rc")" = 0 ] && pass "run ends after the last file" ||
    fail "run after N"
  cursor_visible && pass "cursor shown after the pager" || fail "cursor hidden after the pager"
else
  fail "no prompt"
  plain
fi

run "$work/quit.rc" big.bin
if wait_screen '^-- more(0%) --'; then
  tmux_ send-keys q
  wait_file "$work/quit.rc" && [ "$(cat "$work/quit.rc")" = 0 ] && pass "Q ends the run with 0" ||
    fail "Q"
  cursor_visible && pass "cursor shown after Q" || fail "cursor hidden after Q"
else
  fail "no prompt for Q"
fi

# Wine's console leaves the terminal's ISIG on, so Ctrl+C at the prompt is a Ctrl+C event
# there, not the key code 3 it is on Windows: the run ends, and the console must still
# get its cursor back. (Wine's console resets the terminal's colours itself when the
# program ends, so whether ours were put back cannot be seen here; the console unit
# tests check the attribute.)
run "$work/break.rc" big.bin
if wait_screen '^-- more(0%) --'; then
  tmux_ send-keys C-c
  wait_file "$work/break.rc" || fail "Ctrl+C under wine"
  cursor_visible && pass "cursor shown after Ctrl+C" || fail "cursor hidden after Ctrl+C"
  grep -qF $'\e[31m\e[47m-- more' <<<"$(screen)" && fail "the prompt stays after Ctrl+C" ||
    pass "the prompt is erased after Ctrl+C"
else
  fail "no prompt for Ctrl+C"
fi

# Every pairing of the ANSI code page (from wine's locale) and the console's output code
# page shows Japanese, readable messages and Japanese file names on the console: the
# console is written in UTF-16. Redirected, the dump and the usage text are in the
# console's output code page: the file's own bytes under 932, UTF-8 under 65001, dots
# and '?' for what 437 lacks. (The ANSI code page 1252 cannot spell a Japanese name.)
sjis_line='ABC日本語ｶﾅ表示で'
cp "$work/sj.txt" "$work/表.txt"
for row in "ja_JP 932 CP932" "ja_JP 65001 UTF-8" "hi_IN 65001 UTF-8" "en_US 437 -"; do
  read -r locale code_page redirected <<<"$row"
  name="ANSI code page of $locale, console $code_page"
  japanese_name=表.txt
  [ "$locale" = en_US ] && japanese_name=""
  rm -f "$work/cp.rc" "$work/cp.out"
  tmux_ send-keys "clear; LC_ALL=$locale.UTF-8 wine '$helper' codepage $code_page '$exe' -k sj.txt nope $japanese_name; echo \$? >$work/cp.rc" Enter
  if wait_file "$work/cp.rc"; then
    s=$(screen)
    problem=""
    for want in "$sjis_line" 'す。' 'ファイル:nopeのオープンに失敗しました' $'\e[96m93' ${japanese_name:+"[ $japanese_name ]"}; do
      grep -qF -- "$want" <<<"$s" || problem+=" no ${want#$'\e'};"
    done
    [ "$(cat "$work/cp.rc")" = 1 ] || problem+=" exit code $(cat "$work/cp.rc");"
    [ -z "$problem" ] && pass "$name" || fail "$name:$problem"
  else
    fail "$name: did not end"
  fi
  rm -f "$work/cp.rc"
  tmux_ send-keys "clear; for a in '-p sj.txt' ''; do LC_ALL=$locale.UTF-8 wine '$helper' codepage $code_page '$exe' \$a; done >$work/cp.out; echo \$? >$work/cp.rc" Enter
  if [ "$redirected" = - ]; then
    want="ABC.............."
    usage="???: Tovix"
  else
    want=$(iconv -f UTF-8 -t "$redirected" <<<"$sjis_line")
    usage=$(iconv -f UTF-8 -t "$redirected" <<<"使い方: Tovix")
  fi
  if wait_file "$work/cp.rc" && grep -aqF -- "  $want" "$work/cp.out" && grep -aqF -- "$usage" "$work/cp.out"; then
    pass "$name, redirected"
  else
    fail "$name, redirected: $(grep -a '^00000000' "$work/cp.out" | cut -c60-)"
  fi
done

# Without a console: the files of other programs.
TOVIX_EXE=$exe
wine_dump() { (cd "$work" && wine "$TOVIX_EXE" "$@"); }
first_line=$(printf '00000000  41 42 43 93 FA 96 7B 8C-EA B6 C5 95 5C 8E A6 82   ')
(cd "$work" && wine "$helper" pipe tovix-check sj.txt "$exe" -p '\\.\pipe\tovix-check' >"$work/pipe.out" 2>"$work/pipe.err")
rc=$?
if [ "$rc" = 0 ] && [ ! -s "$work/pipe.err" ] && grep -aqF "$first_line" "$work/pipe.out"; then
  pass "a named pipe ends as the end of the input"
else
  fail "named pipe: exit code $rc, $(cat "$work/pipe.err")"
fi
(cd "$work" && wine "$helper" hold sj.txt "$exe" -p sj.txt >"$work/hold.out" 2>"$work/hold.err")
rc=$?
if [ "$rc" = 0 ] && [ ! -s "$work/hold.err" ] && grep -aqF "$first_line" "$work/hold.out"; then
  pass "a file held open for writing is dumped"
else
  fail "file held open: exit code $rc, $(cat "$work/hold.err")"
fi
same_message=$(printf 'ファイル:same.txtは出力先と同じファイルです' | iconv -f UTF-8 -t CP932)
for how in bash cmd; do
  cp "$work/sj.txt" "$work/same.txt"
  if [ $how = bash ]; then
    wine_dump -p same.txt >>"$work/same.txt" 2>"$work/same.err"
  else
    (cd "$work" && wine cmd /c "$(winepath -w "$exe") -p same.txt >> same.txt" 2>"$work/same.err")
  fi
  rc=$?
  if [ "$rc" = 1 ] && grep -aqF "$same_message" "$work/same.err" && ! grep -aqF "$first_line" "$work/same.txt"; then
    pass "appending to the dumped file ($how) is refused"
  else
    fail "appending to the dumped file ($how): exit code $rc, $(iconv -f CP932 -t UTF-8 "$work/same.err")"
  fi
done
long_dir=$(printf 'd%.0s' $(seq 150))
long_name=$long_dir/$(printf 'n%.0s' $(seq 146)).txt  # 150 + 1 + 150 bytes
mkdir -p "$work/$long_dir" && cp "$work/sj.txt" "$work/$long_name"
for argument in "$long_name" "$long_dir/n*.txt"; do
  if wine_dump -p "$argument" >"$work/long.out" 2>&1 && grep -aqF "$first_line" "$work/long.out"; then
    pass "a ${#argument}-byte relative name"
  else
    fail "a ${#argument}-byte relative name: $(tail -1 "$work/long.out")"
  fi
done

echo "$failures failed"
[ "$failures" -eq 0 ]
