# Sourced with TOVIX_WINE_ROOT set to a folder of our own: sets up a headless wine whose
# prefix, HOME and locale files all live in that folder, creating them on first use, and
# makes sure a wine server is running, detached from our output so that no pipeline or
# command substitution waits for it. It stays 30 s after its last client; .ci/windows.sh
# starts one for the whole run and stops it with wineserver -k.
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
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 || true
fi
flock -u 9
exec 9>&-
wineserver -p30 </dev/null >/dev/null 2>&1 || true
