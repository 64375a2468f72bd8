#!/usr/bin/env bash
# Throughput of Tovix against xxd, hexdump -C, od and hexyl on the same inputs, timed
# side by side with hyperfine, in three places the output can go: /dev/null, a pipe
# (| cat > /dev/null) and a file. Prints MB/s of input (MB = 10^6 bytes) and how many
# times as fast Tovix is as each of the others.
#
#   bench/compare.sh [-s MIB] [-r RUNS] [-R SLOW_RUNS] [-m MODES] [-b BUILD_DIR]
#
#   -s MIB        size of the random and the Shift_JIS input (default 256); the zeros
#                 input is a quarter of it. A few MiB make a quick smoke run for CI.
#   -r RUNS       timed runs of each fast command (default 5); the median counts
#   -R SLOW_RUNS  timed runs of hexdump, od and hexyl, which take about a minute per
#                 256 MiB (default 1)
#   -m MODES      comma-separated subset of null,pipe,file (default all three)
#   -b BUILD_DIR  where to build Tovix and the baseline (default build-bench, Release)
#
# Besides the tools, each table has two reference rows: "copy" (bench/copy_baseline,
# which reads the input and writes as many bytes as the dump, 77 per 16, without
# formatting: what a pipe or a file can take at this output size), and Tovix under
# LC_ALL=C.UTF-8, where the character column is converted to UTF-8. The Tovix row that
# the ratios use runs under LC_ALL=ja_JP.SJIS (raw Shift_JIS output).
#
# Every input is read once just before each timed run, so that it is in the page cache
# (this machine drops idle file cache within about a minute). Repeated lines are not
# collapsed by any tool (hexdump -v, hexyl -v), so every tool writes every line, and
# hexyl writes no colour, like the others.
set -euo pipefail

size_mib=256
runs=5
slow_runs=1
modes=null,pipe,file
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build-bench"
while getopts "s:r:R:m:b:h" opt; do
  case $opt in
    s) size_mib=$OPTARG ;;
    r) runs=$OPTARG ;;
    R) slow_runs=$OPTARG ;;
    m) modes=$OPTARG ;;
    b) build=$OPTARG ;;
    *) sed -n '2,21p' "$0"; exit 2 ;;
  esac
done

if ! command -v hyperfine >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends hyperfine >/dev/null
fi
for tool in xxd hexdump od cmake; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing" >&2; exit 1; }
done

# A fresh build directory is made for the benchmark alone; an existing one keeps its
# settings and only gains the benchmark targets.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -DTOVIX_BENCHMARKS=ON >/dev/null
else
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOVIX_BENCHMARKS=ON \
    -DTOVIX_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target tovix copy_baseline >/dev/null
tovix="$build/tovix"
copy="$build/bench/copy_baseline"

work="$(mktemp -d "${TMPDIR:-/tmp}/tovix-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Inputs: random bytes, Shift_JIS prose (the shipped sample repeated; iconv checks that
# it is valid code page 932 text), and zeros.
bytes=$((size_mib * 1024 * 1024))
head -c "$bytes" /dev/urandom >"$work/random"
iconv -f CP932 -t UTF-8 "$repo/examples/sample-sjis.txt" >/dev/null
cp "$repo/examples/sample-sjis.txt" "$work/sjis.part"
while [ "$(stat -c %s "$work/sjis.part")" -lt "$bytes" ]; do
  cat "$work/sjis.part" "$work/sjis.part" >"$work/sjis.next"
  mv "$work/sjis.next" "$work/sjis.part"
done
head -c "$bytes" "$work/sjis.part" >"$work/sjis"
rm "$work/sjis.part"
head -c "$((bytes / 4))" /dev/zero >"$work/zeros"

have_hexyl=0
command -v hexyl >/dev/null && have_hexyl=1

# The commands of one table, as name|runs|command with @IN@ for the input.
commands() {
  echo "tovix|$runs|LC_ALL=ja_JP.SJIS $tovix -p @IN@"
  echo "tovix UTF-8|$runs|LC_ALL=C.UTF-8 $tovix -p @IN@"
  echo "copy|$runs|$copy @IN@"
  echo "xxd|$runs|xxd @IN@"
  echo "hexdump -C|$slow_runs|hexdump -C -v @IN@"
  echo "od|$slow_runs|od -A x -t x1z -v @IN@"
  [ "$have_hexyl" = 1 ] && echo "hexyl|$slow_runs|hexyl -v --color=never @IN@"
  return 0
}

# Runs one command under hyperfine; appends "name<TAB>median seconds" to the results.
time_command() {
  local mode=$1 input=$2 name=$3 n=$4 cmd=$5 sink
  cmd=${cmd//@IN@/$work/$input}
  case $mode in
    null) sink="$cmd >/dev/null" ;;
    pipe) sink="$cmd | cat >/dev/null" ;;
    file) sink="$cmd >$work/out" ;;
  esac
  if ! hyperfine --style none --runs "$n" --export-csv "$work/one.csv" \
    --prepare "cat $work/$input >/dev/null; rm -f $work/out" \
    --command-name "$name" "$sink" >/dev/null 2>"$work/hyperfine.err"; then
    cat "$work/hyperfine.err" >&2
    exit 1
  fi
  # CSV columns: command,mean,stddev,median,user,system,min,max
  awk -F, -v name="$name" 'NR == 2 { printf "%s\t%s\n", name, $4 }' "$work/one.csv" \
    >>"$work/results"
}

print_table() {
  local input_bytes=$1
  awk -F'\t' -v bytes="$input_bytes" '
    { name[NR] = $1; mbps[NR] = bytes / $2 / 1e6; if ($1 == "tovix") ref = mbps[NR] }
    END {
      printf "  %-12s %10s %14s\n", "command", "MB/s", "tovix / it"
      for (i = 1; i <= NR; ++i) printf "  %-12s %10.0f %14.2f\n", name[i], mbps[i], ref / mbps[i]
    }' "$work/results"
}

echo "Tovix throughput, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "inputs: random and Shift_JIS ${size_mib} MiB, zeros $((size_mib / 4)) MiB; medians of $runs runs ($slow_runs for hexdump, od, hexyl)"
IFS=, read -r -a mode_list <<<"$modes"
for mode in "${mode_list[@]}"; do
  for input in random sjis zeros; do
    : >"$work/results"
    while IFS='|' read -r name n cmd; do
      time_command "$mode" "$input" "$name" "$n" "$cmd"
    done < <(commands)
    echo
    echo "== $input into $(case $mode in null) echo /dev/null ;; pipe) echo a pipe ;; file) echo a file ;; esac)"
    print_table "$(stat -c %s "$work/$input")"
  done
done
