#!/usr/bin/env bash
# Throughput of Tovix against xxd, hexdump -C, od and hexyl on the same inputs, in three
# places the output can go: /dev/null, a pipe (| cat > /dev/null) and a file; then the
# start-up time and the peak resident memory. Prints MB/s of input (MB = 10^6 bytes), and
# at the end the same figures as rows of the README's Performance table.
#
#   bench/compare.sh [-s MIB] [-r RUNS] [-R SLOW_RUNS] [-m MODES] [-i INPUTS] [-k KERNELS]
#                    [-b BUILD_DIR]
#
#   -s MIB        size of the random, prose and JPEG inputs (default 256); the zeros
#                 input is a quarter of it. A few MiB make a quick smoke run for CI.
#   -r RUNS       rounds of the fast commands, each timing each once (default 5); the
#                 median counts
#   -R SLOW_RUNS  rounds of hexdump, od and hexyl, which take about a minute per
#                 256 MiB (default 1; 0 leaves them out)
#   -m MODES      comma-separated subset of null,pipe,file (default all three)
#   -i INPUTS     comma-separated subset of random,prose,jpeg,zeros (default all four)
#   -k KERNELS    comma-separated row kernels to time on their own, raw and converted
#                 (TOVIX_KERNEL=...); default every one this processor runs but the
#                 portable one; "none" times only the kernel Tovix picks
#   -b BUILD_DIR  where to build Tovix and the baseline (default build-bench, Release)
#
# Tovix runs four ways: under LC_ALL=ja_JP.SJIS (the character column goes out as the
# file's Shift_JIS bytes: "raw"), under LC_ALL=C.UTF-8 and with no locale variable at all
# (both convert the column to UTF-8), and under LC_ALL=ja_JP.eucJP (converted through
# iconv). "copy" is bench/copy_baseline, which reads the input and writes as many bytes as
# the dump, 77 per 16, without formatting: what a pipe or a file can take at this output
# size. All of these and xxd are timed together per input and output, in rounds that
# each run every command once, so that their ratios come from one run and a drift of the
# machine's speed within it weighs on all of them alike; hexdump, od and hexyl, which are
# a hundred times slower, get rounds of their own. In the same rounds each row kernel of
# -k is timed raw and under C.UTF-8, capped with TOVIX_KERNEL; the script first asks
# Tovix which kernels the processor runs and which it picks.
#
# Inputs: random bytes; Japanese prose in Shift_JIS, taken from the Japanese message
# catalogues of the machine (over a thousand distinct characters; the shipped sample when
# there are none); a photograph-like JPEG made with cjpeg; zeros. Each is read once
# before every timed run, so that it is in the page cache (this machine drops idle file
# cache within about a minute). Repeated lines are not collapsed by any tool (hexdump -v,
# hexyl -v), so every tool writes every line, and hexyl writes no colour, like the others.
set -euo pipefail

size_mib=256
runs=5
slow_runs=1
modes=null,pipe,file
inputs=random,prose,jpeg,zeros
kernels=
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build-bench"
while getopts "s:r:R:m:i:k:b:h" opt; do
  case $opt in
    s) size_mib=$OPTARG ;;
    r) runs=$OPTARG ;;
    R) slow_runs=$OPTARG ;;
    m) modes=$OPTARG ;;
    i) inputs=$OPTARG ;;
    b) build=$OPTARG ;;
    k) kernels=$OPTARG ;;
    *) sed -n '2,40p' "$0"; exit 2 ;;
  esac
done

need_packages=()
command -v hyperfine >/dev/null || need_packages+=(hyperfine)
command -v cjpeg >/dev/null || need_packages+=(libjpeg-turbo-progs)
[ -x /usr/bin/time ] || need_packages+=(time)
if [ "${#need_packages[@]}" -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${need_packages[@]}" >/dev/null
fi
for tool in xxd hexdump od cmake python3 cjpeg; do
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

# A name that is no kernel makes Tovix say, on standard error, which kernel it runs
# instead and which this processor can run: "... list -> KERNEL (KERNEL ...)".
kernel_report=$(TOVIX_KERNEL=list LC_ALL=C.UTF-8 "$tovix" -p /dev/null 2>&1 >/dev/null || true)
picked_kernel=$(sed -n 's/.* -> \([^ ]*\) (.*)$/\1/p' <<<"$kernel_report")
runnable_kernels=$(sed -n 's/.* -> [^ ]* (\(.*\))$/\1/p' <<<"$kernel_report")
[ -n "$picked_kernel" ] || { echo "compare.sh: tovix named no kernel: $kernel_report" >&2; exit 1; }
if [ -z "$kernels" ]; then
  kernels=$(tr ' ' '\n' <<<"$runnable_kernels" | grep -vx portable | paste -sd, -)
elif [ "$kernels" = none ]; then
  kernels=
fi
IFS=, read -r -a kernel_list <<<"$kernels"
for k in "${kernel_list[@]}"; do
  grep -qw -- "$k" <<<"$runnable_kernels" ||
    { echo "compare.sh: this processor does not run kernel $k ($runnable_kernels)" >&2; exit 1; }
done

# Repeats file $1 into $2 up to $3 bytes.
repeat_to() {
  python3 -c '
import sys
data = open(sys.argv[1], "rb").read()
n = int(sys.argv[3])
with open(sys.argv[2], "wb") as out:
    while n > 0:
        out.write(data[:n])
        n -= len(data)
' "$1" "$2" "$3"
}

bytes=$((size_mib * 1024 * 1024))
head -c "$bytes" /dev/urandom >"$work/random"
# Prose: every Japanese message catalogue, in Shift_JIS (what has no code page 932 form
# is left out); iconv checks the shipped sample is valid code page 932 text.
: >"$work/prose.part"
if command -v msgunfmt >/dev/null; then
  for mo in /usr/share/locale/ja/LC_MESSAGES/*.mo; do
    [ -f "$mo" ] && msgunfmt "$mo" 2>/dev/null || true
  done | iconv -f UTF-8 -t CP932 -c >"$work/prose.part" || true
fi
if [ "$(stat -c %s "$work/prose.part")" -lt 65536 ]; then
  iconv -f CP932 -t UTF-8 "$repo/examples/sample-sjis.txt" >/dev/null
  cp "$repo/examples/sample-sjis.txt" "$work/prose.part"
fi
repeat_to "$work/prose.part" "$work/prose" "$bytes"
# The same prose in the other text encodings, for the table of encodings at the end.
for enc in UTF-8:utf8 EUC-JP:eucjp UTF-16LE:utf16le UTF-16BE:utf16be; do
  iconv -f CP932 -t "${enc%%:*}" -c "$work/prose.part" >"$work/prose.${enc##*:}.part" || true
  repeat_to "$work/prose.${enc##*:}.part" "$work/prose.${enc##*:}" "$bytes"
  rm "$work/prose.${enc##*:}.part"
done
prose_chars=$(iconv -f CP932 -t UTF-8 "$work/prose.part" |
  python3 -c 'import sys; print(len(set(sys.stdin.read())))')
# JPEG: an 800x600 picture of gradients and noise, compressed at quality 85.
python3 -c '
import random, sys
random.seed(1)
w, h = 800, 600
out = bytearray(b"P6 %d %d 255\n" % (w, h))
for y in range(h):
    for x in range(w):
        n = random.randint(0, 40)
        out += bytes(((x * 255 // w + n) & 255, (y * 255 // h + n) & 255,
                      ((x + y) * 255 // (w + h) + n) & 255))
sys.stdout.buffer.write(out)' >"$work/picture.ppm"
cjpeg -quality 85 "$work/picture.ppm" >"$work/picture.jpg"
repeat_to "$work/picture.jpg" "$work/jpeg" "$bytes"
head -c "$((bytes / 4))" /dev/zero >"$work/zeros"
rm "$work/prose.part" "$work/picture.ppm"

have_hexyl=0
command -v hexyl >/dev/null && have_hexyl=1

# The commands of one table, as name|command with @IN@ for the input: first the fast ones
# (timed in the same rounds), then, after a line "--", the slow ones.
commands() {
  echo "tovix|LC_ALL=ja_JP.SJIS $tovix -p @IN@"
  echo "tovix UTF-8|LC_ALL=C.UTF-8 $tovix -p @IN@"
  echo "tovix no locale|env -u LC_ALL -u LC_CTYPE -u LANG $tovix -p @IN@"
  echo "tovix EUC-JP|LC_ALL=ja_JP.eucJP $tovix -p @IN@"
  echo "copy|$copy @IN@"
  echo "xxd|xxd @IN@"
  for k in "${kernel_list[@]}"; do
    echo "raw $k|TOVIX_KERNEL=$k LC_ALL=ja_JP.SJIS $tovix -p @IN@"
    echo "UTF-8 $k|TOVIX_KERNEL=$k LC_ALL=C.UTF-8 $tovix -p @IN@"
  done
  [ "$slow_runs" -gt 0 ] || return 0
  echo "--"
  echo "hexdump -C|hexdump -C -v @IN@"
  echo "od|od -A x -t x1z -v @IN@"
  [ "$have_hexyl" = 1 ] && echo "hexyl|hexyl -v --color=never @IN@"
  return 0
}

# Sets args to "--command-name NAME COMMAND" for every one of names and cmds (the
# caller's), in their order but starting at number $1 modulo their count: each round of
# a timing starts one command further on than the round before, so that a drift of a
# shared machine's speed (tens of percent within a minute) weighs on every command alike
# rather than on those timed last.
rotated_args() {
  local count=${#names[@]} k
  args=()
  for ((k = 0; k < count; ++k)); do
    local at=$((($1 + k) % count))
    args+=(--command-name "${names[at]}" "${cmds[at]}")
  done
}

# Prints "name<TAB>median seconds" for each name on standard input, from the lines
# "name<TAB>seconds" of file $1.
medians_of() {
  python3 -c '
import statistics, sys
times = {}
for line in open(sys.argv[1]):
    name, t = line.rstrip("\n").split("\t")
    times.setdefault(name, []).append(float(t))
for name in sys.stdin.read().splitlines():
    print("%s\t%.9f" % (name, statistics.median(times[name])))
' "$1"
}

# Times commands "name|command" (on standard input) in n rounds, each of which runs every
# command once (one hyperfine run with --runs 1; see rotated_args). Appends
# "name<TAB>median seconds over the rounds" to the results in the commands' order.
time_group() {
  local mode=$1 input=$2 n=$3 name cmd round
  local -a names=() cmds=() args=()
  while IFS='|' read -r name cmd; do
    cmd=${cmd//@IN@/$work/$input}
    case $mode in
      null) cmd="$cmd >/dev/null" ;;
      pipe) cmd="$cmd | cat >/dev/null" ;;
      file) cmd="$cmd >$work/out" ;;
    esac
    names+=("$name")
    cmds+=("$cmd")
  done
  [ "${#names[@]}" -gt 0 ] || return 0
  : >"$work/rounds.tsv"
  for ((round = 0; round < n; ++round)); do
    rotated_args "$round"
    if ! hyperfine --style none --runs 1 --export-csv "$work/group.csv" \
      --prepare "cat $work/$input >/dev/null; rm -f $work/out" \
      "${args[@]}" >/dev/null 2>"$work/hyperfine.err"; then
      cat "$work/hyperfine.err" >&2
      exit 1
    fi
    # CSV columns: command,mean,stddev,median,user,system,min,max
    awk -F, 'NR > 1 { printf "%s\t%s\n", $1, $4 }' "$work/group.csv" >>"$work/rounds.tsv"
  done
  printf '%s\n' "${names[@]}" | medians_of "$work/rounds.tsv" >>"$work/results"
}

mode_text() {
  case $1 in
    null) echo "into /dev/null" ;;
    pipe) echo "through a pipe" ;;
    file) echo "into a file" ;;
  esac
}

input_text() {
  case $1 in
    random) echo "random" ;;
    prose) echo "Shift_JIS prose" ;;
    jpeg) echo "JPEG" ;;
    zeros) echo "zeros" ;;
  esac
}

# Prints the table of one input and output, and appends its README rows.
print_table() {
  local input_bytes=$1 label=$2
  awk -F'\t' -v bytes="$input_bytes" -v label="$label" -v rows="$work/readme_rows" \
    -v tier_rows="$work/tier_rows" -v kernels="$kernels" '
    { name[NR] = $1; t[NR] = $2; by[$1] = $2 }
    END {
      n = split(kernels, ks, ",")
      for (k = 1; k <= n; ++k) {
        raw_k = by["raw " ks[k]]; utf8_k = by["UTF-8 " ks[k]]
        printf "| %s | %s | %.0f | %.0f | %.2f | %.1f | %.1f | %.2f |\n", label, ks[k],
          bytes / raw_k / 1e6, bytes / utf8_k / 1e6, utf8_k / raw_k, by["xxd"] / utf8_k,
          by["xxd"] / raw_k, by["copy"] / utf8_k >>tier_rows
      }
      raw = by["tovix"]
      printf "  %-16s %10s %12s\n", "command", "MB/s", "time / raw"
      for (i = 1; i <= NR; ++i)
        printf "  %-16s %10.0f %12.2f\n", name[i], bytes / t[i] / 1e6, t[i] / raw
      split("tovix|tovix UTF-8|tovix no locale|tovix EUC-JP|copy|xxd|hexdump -C|od|hexyl", cols, "|")
      line = "| " label " |"
      for (c = 1; c <= 9; ++c)
        line = line (cols[c] in by ? sprintf(" %.0f |", bytes / by[cols[c]] / 1e6) : " - |")
      line = line sprintf(" %.2f | %.2f | %.1f | %.1f |", by["tovix UTF-8"] / raw,
                          by["tovix no locale"] / raw, by["xxd"] / by["tovix UTF-8"],
                          by["xxd"] / by["tovix EUC-JP"])
      print line >>rows
    }' "$work/results"
}

echo "Tovix throughput, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "row kernels: this processor runs $runnable_kernels; tovix picks $picked_kernel; timed on their own: ${kernels:-none}"
echo "inputs: random, Shift_JIS prose ($prose_chars distinct characters) and JPEG ${size_mib} MiB, zeros $((size_mib / 4)) MiB; medians of $runs rounds ($slow_runs for hexdump, od, hexyl)"
echo "'time / raw': each command's time over that of tovix with the raw column"
: >"$work/readme_rows"
: >"$work/tier_rows"
IFS=, read -r -a mode_list <<<"$modes"
IFS=, read -r -a input_list <<<"$inputs"
for mode in "${mode_list[@]}"; do
  for input in "${input_list[@]}"; do
    : >"$work/results"
    commands | sed '/^--$/,$d' | time_group "$mode" "$input" "$runs"
    commands | sed '1,/^--$/d' | time_group "$mode" "$input" "$slow_runs"
    echo
    echo "== $(input_text "$input") $(mode_text "$mode")"
    print_table "$(stat -c %s "$work/$input")" "$(input_text "$input") $(mode_text "$mode")"
  done
done

# Text encodings: the converted dump (C.UTF-8) of the prose in each encoding and of the
# random bytes read in each, beside -e sjis on the same kind of input; auto on the
# Shift_JIS prose shows what its detection costs.
echo
echo "== text encodings, converted (C.UTF-8), into /dev/null: MB/s of input, time over -e sjis on the same kind"
for kind in prose random; do
  : >"$work/results"
  files=()
  lines=()
  for e in sjis utf8 eucjp utf16le utf16be auto; do
    input=$kind
    [ "$kind" = prose ] && [ "$e" != sjis ] && [ "$e" != auto ] && input=prose.$e
    [ "$kind" = random ] && [ "$e" = auto ] && continue
    cat "$work/$input" >/dev/null
    files+=("$work/$input")
    option="-e $e"
    [ "$e" = auto ] && option=
    lines+=("$e $kind|LC_ALL=C.UTF-8 $tovix -p $option $work/$input")
  done
  printf '%s\n' "${lines[@]}" | time_group null "$kind" "$runs"
  i=0
  while IFS=$'\t' read -r name seconds; do
    [ "$i" = 0 ] && first=$seconds
    size=$(stat -c %s "${files[$i]}")
    awk -v n="$name" -v s="$size" -v t="$seconds" -v f="$first" \
      'BEGIN { printf "  %-20s %8.0f MB/s %8.2f\n", n, s / t / 1e6, t / f }'
    i=$((i + 1))
  done <"$work/results"
done

# Start-up: a 1 KiB random file, 300 runs each without a shell between, in ten rounds
# of 30 that take turns (see rotated_args), the median of every run counting. xxd starts
# through env too (its output does not depend on the locale), so that every command
# pays the same exec of env, which takes about as long as xxd itself.
head -c 1024 "$work/random" >"$work/small"
names=("tovix" "tovix UTF-8" "xxd")
cmds=("env LC_ALL=ja_JP.SJIS $tovix -p $work/small" "env LC_ALL=C.UTF-8 $tovix -p $work/small"
  "env LC_ALL=C.UTF-8 xxd $work/small")
: >"$work/start.tsv"
for ((round = 0; round < 10; ++round)); do
  rotated_args "$round"
  hyperfine -N --style none --warmup 5 --runs 30 --export-json "$work/start.json" "${args[@]}" \
    >/dev/null 2>"$work/hyperfine.err" || { cat "$work/hyperfine.err" >&2; exit 1; }
  python3 -c '
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    for t in r["times"]:
        print("%s\t%.9f" % (r["command"], t))' "$work/start.json" >>"$work/start.tsv"
done
echo
echo "== start-up on 1 KiB of random bytes (median)"
printf '%s\n' "${names[@]}" | medians_of "$work/start.tsv" |
  awk -F'\t' 'NR == 1 { raw = $2 } { printf "  %-16s %8.2f ms %8.2f x raw\n", $1, $2 * 1000, $2 / raw }'

# Peak resident memory of whole dumps, in kB as GNU time reports it.
echo
echo "== peak resident memory (Maximum resident set size, MB = 1000 kB)"
for input in "${input_list[@]}"; do
  for locale in ja_JP.SJIS C.UTF-8; do
    /usr/bin/time -f %M -o "$work/rss" env LC_ALL=$locale "$tovix" -p "$work/$input" >/dev/null
    awk -v input="$input" -v locale="$locale" '{ printf "  %-8s %-11s %6.2f MB\n", input, locale, $1 / 1000 }' "$work/rss"
  done
done

echo
echo "== bench/README.md rows: MB/s of input, then UTF-8 and no-locale time over raw, xxd time over UTF-8 and over EUC-JP"
echo "| MB/s of input | tovix | tovix UTF-8 | tovix, no locale | tovix EUC-JP | copy | xxd | hexdump -C | od | hexyl | UTF-8 time ÷ raw | no locale ÷ raw | UTF-8 × xxd | EUC-JP × xxd |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
cat "$work/readme_rows"

if [ -s "$work/tier_rows" ]; then
  echo
  echo "== README rows per row kernel (TOVIX_KERNEL): MB/s of input raw (ja_JP.SJIS) and converted (C.UTF-8), converted time over raw, xxd time over converted and over raw, copy time over converted"
  echo "| MB/s of input | kernel | raw | UTF-8 | UTF-8 time ÷ raw | UTF-8 × xxd | raw × xxd | UTF-8 speed ÷ copy |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|"
  cat "$work/tier_rows"
fi
