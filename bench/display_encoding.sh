#!/usr/bin/env bash
# Start-up and throughput of the display conversion: the same runs under a Shift_JIS
# locale (bytes go out unchanged) and a UTF-8 one (converted through the Glyph tables).
#
#   bench/display_encoding.sh [path/to/tovix] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
tovix=${1:-build/tovix}
runs=${2:-300}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

: >"$work/empty"
# About 32 MB of Japanese prose with kana, symbols and line ends.
cp examples/sample-sjis.txt "$work/big"
while [ "$(stat -c %s "$work/big")" -lt 33554432 ]; do
  cat "$work/big" "$work/big" >"$work/twice" && mv "$work/twice" "$work/big"
done

# Milliseconds per run of a command, as the mean of many runs.
per_run_ms() {
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null; done
  end=$(date +%s%N)
  echo "scale=3; ($end - $start) / $runs / 1000000" | bc
}

echo "runs: $runs; /bin/true: $(per_run_ms /bin/true) ms"
mb=$(echo "scale=1; $(stat -c %s "$work/big") / 1048576" | bc)
for locale in ja_JP.SJIS C.UTF-8; do
  (
    # The shell itself need not know the locale; only the program reads it.
    { export LC_ALL=$locale; } 2>/dev/null
    echo "$locale: '-p empty' $(per_run_ms "$tovix" -p "$work/empty") ms"
    start=$(date +%s%N)
    "$tovix" -p "$work/big" >/dev/null
    end=$(date +%s%N)
    echo "$locale: ${mb} MB in $(echo "scale=3; ($end - $start) / 1000000000" | bc) s"
  ) 2>&1 | grep -v setlocale
done
