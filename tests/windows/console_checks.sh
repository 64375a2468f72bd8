#!/usr/bin/env bash
# tovix.exe on wine's console, driven through tmux: wine gives a program started in a
# terminal a console of its own that draws on that terminal, so colours, the cursor and
# the pager can be read back with tmux capture-pane. Also runs the console unit tests,
# which ctest can only skip, since wine has no console without a terminal.
#
#   tests/windows/console_checks.sh build-win/tovix.exe build-win/tests/tovix_tests.exe
set -uo pipefail
exe=$(realpath "$1")
tests_exe=${2:+$(realpath "$2")}
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
    grep -q 'PASSED.*9 tests' "$work/unit.txt"; then
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
else
  fail "no prompt for Ctrl+C"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
