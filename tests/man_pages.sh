#!/bin/sh
# Checks the manual pages against the program.
#
#   man_pages.sh options TOVIX PAGE...   every option letter of the usage text has an
#                                        entry in each page, each entry is a letter the
#                                        program takes, and .TH names the banner's version
#   man_pages.sh lint PAGE...            groff -ww and mandoc -T lint report nothing
#   man_pages.sh ascii PAGE...           the page is ASCII and formats without a warning
#                                        where no locale is set: groff's ascii and latin1
#                                        devices, and man -l with no locale variable
#
# A page under a ja/ folder is Japanese and is formatted with groff's Japanese macros, as
# man does for an installed one. Exit 77 (skipped) when neither groff nor mandoc exists.
set -u
export LC_ALL=C
mode=$1
shift
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

case $mode in
options)
  tovix=$1
  shift
  usage=$(LC_ALL=C.UTF-8 "$tovix" --help 2>&1)
  # The letters of the "-X ......" lines of the usage text.
  letters=$(printf '%s\n' "$usage" | sed -n 's/^[[:space:]]*-\([A-Za-z]\)[[:space:]].*/\1/p' | sort -u)
  if [ "$(printf '%s\n' "$letters" | grep -c .)" -lt 5 ]; then
    echo "FAIL: found no option lines in the usage text:" >&2
    printf '%s\n' "$usage" >&2
    exit 1
  fi
  version=$(printf '%s\n' "$usage" | sed -n 's/^Tovix \([0-9][0-9.]*\) .*/\1/p')
  [ -n "$version" ] || fail "no version in the banner"
  for page in "$@"; do
    # Option entries: the line after .TP that names \-X.
    entries=$(awk 'prev ~ /^\.TP/ { print } { prev = $0 }' "$page" |
      sed -n 's/^\.BI\{0,1\} \\-\([A-Za-z]\)\( .*\)\{0,1\}$/\1/p' | sort -u)
    for l in $letters; do
      printf '%s\n' "$entries" | grep -qx -- "$l" || fail "$page: no entry for the option -$l"
    done
    for l in $entries; do
      printf '%s\n' "$letters" | grep -qx -- "$l" || fail "$page: an entry for -$l, which the program does not take"
    done
    grep -q "^\.TH TOVIX 1 .*\"Tovix $version\"" "$page" || fail "$page: .TH does not name version $version"
  done
  ;;
lint)
  linted=0
  for page in "$@"; do
    case $page in
    */ja/*) ja=-mja ;;
    *) ja= ;;
    esac
    if command -v groff >/dev/null 2>&1; then
      linted=1
      out=$(groff -ww -z -man $ja -Kutf8 -Tutf8 "$page" 2>&1) || fail "$page: groff failed"
      [ -z "$out" ] || fail "$page: groff -ww: $out"
    fi
    if command -v mandoc >/dev/null 2>&1; then
      linted=1
      # Warnings and errors; the style notes on long lines are left to Japanese text.
      out=$(mandoc -T lint -W warning "$page" 2>&1) || fail "$page: mandoc -T lint: $out"
    fi
  done
  if [ $linted = 0 ]; then
    echo "SKIPPED: neither groff nor mandoc is installed (apt-get install groff-base mandoc)"
    exit 77
  fi
  ;;
ascii)
  if ! command -v groff >/dev/null 2>&1; then
    echo "SKIPPED: groff is not installed (apt-get install groff-base)"
    exit 77
  fi
  for page in "$@"; do
    # A raw byte past ASCII is read as Latin-1 by groff without a locale: mojibake.
    raw=$(grep -n '[^ -~	]' "$page" | head -3)
    [ -z "$raw" ] || fail "$page: bytes outside ASCII: $raw"
    for device in ascii latin1; do
      out=$(groff -ww -z -man -T$device "$page" 2>&1) || fail "$page: groff -T$device failed"
      [ -z "$out" ] || fail "$page: groff -ww -T$device: $out"
    done
    if command -v man >/dev/null 2>&1; then
      out=$(env -u LANG -u LC_CTYPE -u LC_ALL -u MANOPT MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
      [ -z "$out" ] || fail "$page: man -l without a locale: $out"
    fi
  done
  ;;
*)
  echo "usage: $0 options TOVIX PAGE... | lint PAGE... | ascii PAGE..." >&2
  exit 2
  ;;
esac
[ $status = 0 ] && echo "ok: $*"
exit $status
