#!/usr/bin/env bash
# tovix.exe under wine against the POSIX build: for each command line both write to a
# file, and the outputs must be the same bytes once the Windows build's CR LF line ends
# are read as LF (and every LF must have come as CR LF). The POSIX build runs under
# LC_ALL=ja_JP.SJIS, so both show the code page's bytes as they are.
#
#   tests/windows/e2e.sh build-win/tovix.exe build-winref/tovix
set -uo pipefail
exe=$(realpath "$1")
ref=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
TOVIX_WINE_ROOT=${TOVIX_WINE_ROOT:-$(dirname "$exe")/wine}
. "$here/../../cmake/wine-env.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

sjis() { iconv -f UTF-8 -t CP932; }

# The same files for both builds; names with Japanese in them are stored in each side's
# file-name encoding (wine maps Windows names to UTF-8 on the disk).
make_fixtures() {
  local dir=$1 name_encoding=$2
  mkdir -p "$dir/sub/x.bin" "$dir/dirs/d1" "$dir/dirs/d2"
  printf '日本語のテキスト、ｶﾀｶﾅ。表示ソフト\r\nline two\tend\n' | sjis >"$dir/sjis.txt"
  # A double-byte character cut by the line end: 表 at offsets 15 and 16.
  { printf '0123456789ABCDE'; printf '表示' | sjis; printf '\n'; } >"$dir/cut.txt"
  for i in $(seq 0 255); do printf "\\$(printf %03o "$i")"; done >"$dir/all.bin"
  head -c 100 "$dir/all.bin" >"$dir/f100.bin"
  head -c 20 "$dir/all.bin" >"$dir/f20.bin"
  : >"$dir/empty.bin"
  { head -c 4000 /dev/zero; printf 'tail'; head -c 100 /dev/zero; } >"$dir/zeros.bin"
  printf '\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\xFF\x00\xFF\xFF\xDA\x0D\x0A\x1B' >"$dir/marker.jpg"
  # The other text encodings, decoded by the program's own tables on both sides.
  local prose='日本語のテキスト、ｶﾀｶﾅ。表示ソフト𠮷é\r\nline two\tend\n'
  printf "$prose" >"$dir/u8.txt"
  printf "$prose" | iconv -f UTF-8 -t EUC-JP -c >"$dir/euc.txt"
  printf "$prose" | iconv -f UTF-8 -t UTF-16 >"$dir/u16.txt"
  cp "$work/random.bin" "$dir/big.bin"
  printf 'same' >"$dir/sub/a.bin"
  printf 'same' >"$dir/sub/b.bin"
  local table
  table=$(printf '表' | { [ "$name_encoding" = sjis ] && sjis || cat; })
  printf 'hyou' >"$dir/$table.bin"
}

head -c 200000 /dev/urandom >"$work/random.bin"
make_fixtures "$work/p" sjis
make_fixtures "$work/w" utf8

# check <name> <ordered|unordered> <args...>; the arguments are UTF-8 and go to the
# POSIX build in Shift_JIS. Standard input is the file $input of the fixtures, or
# /dev/null.
check() {
  local name=$1 order=$2
  shift 2
  local -a posix_args=()
  local a
  for a in "$@"; do posix_args+=("$(printf '%s' "$a" | sjis)"); done
  (cd "$work/p" && LC_ALL=ja_JP.SJIS "$ref" "${posix_args[@]}" <"${input:-/dev/null}" >"$work/p.out" 2>"$work/p.err")
  local prc=$?
  (cd "$work/w" && tovix_wine_run "${input:-/dev/null}" "$work/w.out" "$work/w.err" "$exe" "$@")
  local wrc=$?
  local problem=""
  local lf crlf
  lf=$(tr -cd '\n' <"$work/w.out" | wc -c)
  crlf=$(grep -c $'\r$' "$work/w.out")
  [ "$lf" -eq "$crlf" ] || problem+=" $((lf - crlf)) LF without CR;"
  sed 's/\r$//' "$work/w.out" >"$work/w.lf"
  if [ "$order" = unordered ]; then
    sort "$work/w.lf" -o "$work/w.lf"
    sort "$work/p.out" -o "$work/p.out"
  fi
  cmp -s "$work/p.out" "$work/w.lf" || problem+=" output differs;"
  sed 's/\r$//' "$work/w.err" | cmp -s "$work/p.err" - || problem+=" standard error differs;"
  [ "$prc" -eq "$wrc" ] || problem+=" exit codes $prc (POSIX) and $wrc (Windows);"
  if [ -n "$problem" ]; then
    echo "FAIL $name:$problem"
    diff <(xxd "$work/p.out") <(xxd "$work/w.lf") | head -10
    # The Windows side once more with wine's own error messages on (WINEDEBUG=-all keeps
    # them out of the checks), to show why it failed; the check has failed all the same.
    (cd "$work/w" && WINEDEBUG=err+all wine "$exe" "$@" <"${input:-/dev/null}" >/dev/null \
      2>"$work/w.again")
    echo "  run again with wine's errors on: exit code $?"
    sed 's/^/  stderr: /' "$work/w.again" | head -10
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

check "no arguments: standard input" ordered
check "options only: standard input" ordered -k
input=f100.bin check "standard input from a file, -s and -n" ordered -s 20 -n 30
check "--help" ordered --help
check "--version" ordered --version
check "usage, unknown letter (exit code 2)" ordered -x f100.bin
check "usage, -s without a number" ordered f100.bin -s
check "usage, -n without a number" ordered -n
check "usage, negative skip" ordered -s -1 f100.bin
check "usage, negative skip of 32 bits" ordered -s -4294967295 f100.bin
check "usage, letters after the digits" ordered -s 1A f100.bin
check "skip beyond 32 bits" ordered -s 4294967312 f100.bin
check "hexadecimal skip beyond 32 bits" ordered -s 100000000H f100.bin
check "plain dump" ordered sjis.txt
check "UTF-8, EUC-JP and UTF-16 chosen by auto" ordered u8.txt euc.txt u16.txt
check "text encodings with highlights" ordered -kcd -e utf16le u16.txt
check "every byte value as UTF-8" ordered -e utf8 all.bin
check "random bytes as UTF-16BE" ordered -e utf16be big.bin
check "Japanese display off" ordered -j sjis.txt
check "no hyphen" ordered -h sjis.txt
check "pair cut by the line end" ordered cut.txt
check "every byte value" ordered all.bin
check "every byte, Japanese off" ordered -jh all.bin
check "highlight options leave no trace" ordered -kcdm marker.jpg all.bin
check "skip 20 on 100 bytes" ordered -p -s 20 f100.bin
check "skip in hexadecimal" ordered -s 1AH f100.bin
check "skip 0x10" ordered -s 0x10 f100.bin
check "length within a line" ordered -n 5 f100.bin
check "length across lines" ordered -n 0x25 all.bin
check "length after a skip" ordered -s 0x13 -n 40 all.bin
check "repeated lines collapsed" ordered -a empty.bin f20.bin zeros.bin big.bin
check "skip to the end" ordered -s 20 f20.bin
check "skip past the end" ordered -s 1000 f100.bin
check "grouped and slash options" ordered /kc -dp -s 16 f100.bin
check "empty file" ordered empty.bin
check "several files, one missing (exit code 1)" ordered f20.bin missing.bin empty.bin
check "a file name after the first is no option" ordered f20.bin -k
check "large file" ordered big.bin
check "wildcard, two files" unordered 'sub/*.bin'
check "wildcard, only directories" ordered 'dirs/*' f20.bin
check "wildcard without a match" ordered 'none*.bin'
check "wildcard in the directory part" ordered 'su*/a.bin'
check "directory named as a file" ordered sub
check "Japanese file name" ordered 表.bin
check "Japanese name with a wildcard" ordered '表*'

# A reader that goes away ends the run quietly, as on POSIX. An exit code 1 with nothing
# said may be wine's own (see tovix_wine_run): that run goes once more.
for attempt in 1 2; do
  (cd "$work/w" && wine "$exe" big.bin 2>"$work/w.err" | head -c 100 >/dev/null; echo "${PIPESTATUS[0]}" >"$work/w.rc")
  [ "$(cat "$work/w.rc")" = 0 ] || [ -s "$work/w.err" ] && break
done
if [ "$(cat "$work/w.rc")" = 0 ] && [ ! -s "$work/w.err" ]; then
  echo "ok   closed pipe"
else
  echo "FAIL closed pipe: exit code $(cat "$work/w.rc"), error: $(cat "$work/w.err")"
  failures=$((failures + 1))
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
