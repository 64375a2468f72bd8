#!/bin/sh
# Makes doc/screenshot.png, the picture at the top of the README: a real terminal (tmux,
# UTF-8) in which a shell runs `tovix -kcdm sample-sjis.txt` on the Shift_JIS sample,
# captured with its colours at the pager's prompt and drawn by tools/render_screen.py.
# Run it again whenever the output changes:
#
#   tools/screenshot.sh [TOVIX [OUT.png]]     (default: build/tovix, doc/screenshot.png)
#
# Needs tmux, python3-pil and fonts-ipafont-gothic (apt-get install them).
set -eu
cd "$(dirname "$0")/.."
tovix=$(realpath "${1:-build/tovix}")
out=${2:-doc/screenshot.png}
cols=80
rows=18

work=$(mktemp -d)
server="tovix-screenshot-$$"
tmux_() { LC_ALL=C.UTF-8 tmux -u -f /dev/null -L "$server" "$@"; }
trap 'tmux_ kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# The program under its own name in a folder on PATH, the sample under its own name.
mkdir "$work/bin"
ln -s "$tovix" "$work/bin/tovix"
cp examples/sample-sjis.txt "$work/"
tmux_ new-session -d -x "$cols" -y "$rows" -c "$work" \
  "env -i PATH='$work/bin:/usr/bin:/bin' HOME='$work' TERM=tmux-256color LC_ALL=C.UTF-8 PS1='$ ' sh"

# Waits up to 10 s for the screen to show text (a grep pattern).
wait_for() {
  i=0
  until tmux_ capture-pane -p | grep -q -- "$1"; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then
      echo "screenshot: no '$1' after 10 s; the screen:" >&2
      tmux_ capture-pane -p >&2
      exit 1
    fi
    sleep 0.1
  done
}
wait_for '^\$'
tmux_ send-keys 'tovix -kcdm sample-sjis.txt' Enter
wait_for '-- more('
tmux_ capture-pane -p -e >"$work/screen.ansi"
python=python3
python3 -c 'import PIL' 2>/dev/null || python=/usr/bin/python3
"$python" tools/render_screen.py "$cols" "$rows" <"$work/screen.ansi" >"$out.tmp"
mv "$out.tmp" "$out"
echo "wrote $out"
