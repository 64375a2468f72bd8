#!/bin/sh
# Runs a Windows program under wine for ctest: CMAKE_CROSSCOMPILING_EMULATOR.
# Wine's folder is <build directory>/wine (TOVIX_WINE_ROOT overrides it); the build
# directory is the nearest folder above the program that holds CMakeCache.txt.
#
# The program writes into files, not into ctest's pipes: the first program of a wine
# session starts wine's own services, which keep its output handles open for as long as
# the session lasts, and ctest would wait for that before it counted the test as done.
set -e
dir=$(cd "$(dirname "$1")" && pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
TOVIX_WINE_ROOT=${TOVIX_WINE_ROOT:-$dir/wine}
. "$(dirname "$0")/wine-env.sh"
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
tovix_wine_run - "$out" "$err" "$@" || status=$?
cat "$out"
cat "$err" >&2
exit "$status"
