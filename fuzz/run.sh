#!/usr/bin/env bash
# Runs every fuzz target for a while, starting from its corpus in fuzz/corpus/<target>.
#   fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]
# BUILD_DIR was configured with clang and -DTOVIX_FUZZ=ON. New inputs the fuzzer finds
# go into BUILD_DIR/fuzz/new-corpus/<target> (copy the useful ones into fuzz/corpus by
# hand); an input that fails is written to BUILD_DIR/fuzz/artifacts/ and ends the run
# with a non-zero status.
set -euo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$build/fuzz/artifacts"
for target in options dump; do
  binary="$build/fuzz/${target}_fuzz"
  fresh="$build/fuzz/new-corpus/$target"
  mkdir -p "$fresh"
  echo "== ${target}_fuzz for ${seconds}s"
  # -timeout: one input taking 10 s is a hang; -rss_limit_mb: a leak or a runaway buffer.
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz/artifacts/${target}-" "$fresh" "$here/corpus/$target" \
    2>"$build/fuzz/${target}.log" || {
    tail -n 60 "$build/fuzz/${target}.log"
    echo "${target}_fuzz failed; the input is in $build/fuzz/artifacts/" >&2
    exit 1
  }
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$build/fuzz/${target}.log"
done
