#!/usr/bin/env bash
# CI, the Windows part: cross-compile tovix.exe and its unit tests with MinGW-w64, run
# the unit tests under wine, compare tovix.exe's output with the POSIX build's byte for
# byte, and check colours, cursor and pager on wine's console through tmux.
#
#   .ci/windows.sh [POSIX tovix]   (default: build/tovix, which .ci/run builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
reference=$(realpath "${1:-build/tovix}")

need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v wine >/dev/null || need+=(wine wine64)
command -v tmux >/dev/null || need+=(tmux)
command -v localedef >/dev/null || need+=(locales)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
fi

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DTOVIX_REFERENCE_BINARY="$reference"
cmake --build build-win -j2

# One wine server for the whole run, started apart from our output and stopped at the end.
export TOVIX_WINE_ROOT="$PWD/build-win/wine"
export TOVIX_WINE_PERSIST=
. cmake/wine-env.sh
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

imports=$(x86_64-w64-mingw32-objdump -p build-win/tovix.exe | sed -n 's/^\tDLL Name: //p' | LC_ALL=C sort | tr '\n' ' ')
if [ "$imports" != "KERNEL32.dll VERSION.dll msvcrt.dll " ]; then
  echo "tovix.exe imports $imports; expected KERNEL32, msvcrt and VERSION only" >&2
  exit 1
fi

# The zip: the stripped tovix.exe, the README for Windows users and the licence in one
# folder, both texts as .txt with CR LF line ends.
rm -f build-win/tovix-*-win64.zip
(cd build-win && cpack -G ZIP)
zip=$(ls build-win/tovix-*-win64.zip)
contents=$(cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' ' ')
folder=$(basename "$zip" .zip)
if [ "$contents" != "$folder/LICENSE.txt $folder/README.txt $folder/tovix.exe " ]; then
  echo "$zip holds $contents; expected tovix.exe, README.txt and LICENSE.txt" >&2
  exit 1
fi
for text in README.txt LICENSE.txt; do
  lines=$(wc -l <"build-win/$text")
  if [ "$(grep -c $'\r$' "build-win/$text")" != "$lines" ] || grep -q '@' "build-win/$text"; then
    echo "build-win/$text: every line must end in CR LF, with no @VARIABLE@ left" >&2
    exit 1
  fi
done
# grep -c reads to the end: with -q it may stop at the match while tr still writes, and
# pipefail would then take tr's broken pipe for a missing string.
if ! tr -d '\0' <build-win/tovix.exe |
  grep -ac "LegalCopyright.\?$(grep -m1 '^Copyright ' LICENSE)" >/dev/null; then
  echo "tovix.exe: the version resource lacks the licence's LegalCopyright" >&2
  exit 1
fi
if x86_64-w64-mingw32-objdump -h build-win/tovix.exe | grep -c '\.debug_' >/dev/null; then
  echo "tovix.exe carries debug sections; release builds are stripped" >&2
  exit 1
fi
echo "$zip: tovix.exe of $(stat -c %s build-win/tovix.exe) bytes, stripped"

ctest --test-dir build-win --output-on-failure
tests/windows/console_checks.sh build-win/tovix.exe build-win/tests/tovix_tests.exe
