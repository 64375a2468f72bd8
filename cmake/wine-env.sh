# Sourced with TOVIX_WINE_ROOT set to a folder of our own: sets up a headless wine whose
# prefix, HOME and locale files all live in that folder, creating them on first use, and
# makes sure a wine server is running, detached from our output so that no pipeline or
# command substitution waits for it. It stays TOVIX_WINE_PERSIST seconds after its last
# client (30 unless set; set and empty, until wineserver -k): .ci/windows.sh keeps one for
# the whole run and stops it at the end.
#
# The server is ours and started before any program of wine's. A server that the wine
# loader starts itself goes with its last program (the packaged wineserver passes -p0),
# so every program after it starts a new wine session, and one that starts while the last
# session is still closing can fail with nothing said (exit code 1) or with "wine client
# error:0: recvmsg: Connection reset by peer". Starting ours later does not help: while a
# server runs, wineserver -p changes nothing.
#
# LC_ALL=ja_JP.UTF-8 gives wine the ANSI code page 932 (hi_IN.UTF-8 gives 65001 and
# en_US.UTF-8 1252, for the console checks); the locales are generated into the folder so
# that the machine needs none installed.
tovix_wine_root=${TOVIX_WINE_ROOT:?set TOVIX_WINE_ROOT to the folder for wine}
mkdir -p "$tovix_wine_root"
tovix_wine_root=$(cd "$tovix_wine_root" && pwd)
export WINEPREFIX="$tovix_wine_root/prefix"
export HOME="$tovix_wine_root/home"
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LOCPATH="$tovix_wine_root/locale"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME"

# One set-up at a time: ctest may start several tests at once on a fresh folder.
exec 9>"$tovix_wine_root/.lock"
flock 9
for tovix_locale in ja_JP hi_IN en_US; do
  if [ ! -f "$LOCPATH/$tovix_locale.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$LOCPATH"
    localedef -i "$tovix_locale" -f UTF-8 "$LOCPATH/$tovix_locale.UTF-8" >/dev/null 2>&1 || true
  fi
done
export LC_ALL=ja_JP.UTF-8
mkdir -p "$WINEPREFIX"
wineserver "-p${TOVIX_WINE_PERSIST-30}" </dev/null >/dev/null 2>&1 || true
# The registry reaches the disk only when the server stops: our own mark says the prefix
# is made.
if [ ! -f "$tovix_wine_root/.prefix-made" ] && wineboot -i </dev/null >/dev/null 2>&1; then
  touch "$tovix_wine_root/.prefix-made"
fi
flock -u 9
exec 9>&-

# tovix_wine_run IN OUT ERR PROGRAM ARGS...: runs PROGRAM under wine with standard input
# from IN ("-": as it is), standard output into OUT and standard error into ERR; returns
# its exit code. Wine now and then ends a program with exit code 1 before it has run,
# with nothing on either output, even with its server up for the whole run. Our
# programs never end that way (each failure says why), so such a run goes once more, with
# a note on our own standard error.
tovix_wine_run() {
  local in=$1 out=$2 err=$3
  shift 3
  local attempt status
  for attempt in 1 2; do
    status=0
    if [ "$in" = - ]; then
      wine "$@" >"$out" 2>"$err" || status=$?
    else
      wine "$@" <"$in" >"$out" 2>"$err" || status=$?
    fi
    if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ]; then break; fi
    [ "$attempt" -eq 1 ] &&
      echo "NOTE: wine ended $1 with exit code $status before it wrote anything; once more" >&2
  done
  return "$status"
}
