#!/usr/bin/env bash
# Tovix with colours (-kcdm) on a terminal against cat of its own coloured output, in
# the same tmux pane: what the dump itself costs on top of what the terminal takes.
#
#   bench/terminal.sh [path/to/tovix] [MIB] [RUNS]
#
# The coloured output is captured once through a pseudo-terminal (script), so that cat
# writes the very bytes Tovix writes there; both run under LC_ALL=C.UTF-8 in a detached
# tmux pane of 200x50 with TERM=xterm-256color, alternately, RUNS times each. Prints
# each run's milliseconds and the median of cat's time over Tovix's (1 means as fast
# as cat).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
tovix=$(realpath "${1:-$repo/build/tovix}")
mib=${2:-2}
runs=${3:-5}
for tool in tmux script; do
  command -v "$tool" >/dev/null || { echo "terminal.sh: $tool is missing" >&2; exit 1; }
done
work="$(mktemp -d "${TMPDIR:-/tmp}/tovix-term.XXXXXX")"
socket="tovix-term-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

head -c "$((mib * 1024 * 1024))" /dev/urandom >"$work/input"
script -q -c "env LC_ALL=C.UTF-8 TERM=xterm-256color $tovix -kcdm -p $work/input" \
  "$work/typescript" >/dev/null
# script's first and last lines are its own.
tail -n +2 "$work/typescript" | head -n -1 >"$work/coloured"

cat >"$work/pane.sh" <<EOF
#!/usr/bin/env bash
for ((i = 0; i < $runs; i++)); do
  s=\$(date +%s%N); LC_ALL=C.UTF-8 $tovix -kcdm -p $work/input; e=\$(date +%s%N)
  echo "tovix \$(((e - s) / 1000000))" >>$work/times
  s=\$(date +%s%N); cat $work/coloured; e=\$(date +%s%N)
  echo "cat \$(((e - s) / 1000000))" >>$work/times
done
echo end >>$work/times
EOF
chmod +x "$work/pane.sh"
: >"$work/times"
tmux -L "$socket" new-session -d -s bench -x 200 -y 50 "TERM=xterm-256color $work/pane.sh; sleep 2"
for ((t = 0; t < 600; t++)); do
  grep -q '^end' "$work/times" && break
  sleep 1
done
grep -v '^end' "$work/times" | paste - - | awk '{ print "  tovix", $2, "ms  cat", $4, "ms  cat/tovix", $4 / $2 }'
grep -v '^end' "$work/times" | paste - - | awk '{ print $4 / $2 }' | sort -g |
  awk '{ r[NR] = $1 } END { printf "median cat/tovix over %d runs of %d MiB: %.2f\n", NR, '"$mib"', r[int((NR + 1) / 2)] }'
