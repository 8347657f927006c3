#!/usr/bin/env bash
# The installed program as a user meets it, in a home folder of its own:
#   package-test.sh deb FILE.deb WORK        installs the Debian package with apt-get (root)
#                                            and checks it in /usr
#   package-test.sh tree BUILD_DIR WORK      cmake --install BUILD_DIR into WORK/prefix and
#                                            checks that
# Both check the installed files, --version and --help, the settings copied into
# $XDG_CONFIG_HOME/zubmanager3 at the first start and read from there, the honest "Unable to
# open gbp.dll" of a fresh installation, zub list on the demo telephone copied into
# $XDG_DATA_HOME/zubmanager3, the bash completion, and (with Xvfb and openbox) the window's
# icon and its settings written back at close. Exit 77 (skipped) with the reason when the
# package cannot be installed here.
set -euo pipefail
mode="$1" what="$2" work="$3"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

rm -rf "$work"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
pids=()
installed_here=0
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  # A package this test installed on a machine that had none is taken away again.
  if [ "$installed_here" = 1 ]; then dpkg -r zubmanager3 >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  for f in "$work"/out.txt "$work"/err.txt; do [ -s "$f" ] && { echo "--- $f"; cat "$f"; }; done
  exit 1
}

case "$mode" in
deb)
  deb="$(realpath "$what")"
  [ "$(id -u)" = 0 ] || { echo "SKIPPED: installing a package needs root"; exit 77; }
  for tool in dpkg dpkg-deb apt-get; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing"; exit 77; }
  done
  dpkg-query -W -f='${Status}' zubmanager3 2>/dev/null | grep -q "install ok installed" ||
    installed_here=1
  # --reinstall: the same version installed before would otherwise be left as it was.
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get could not install $deb"; }
  prefix=/usr
  version="$(dpkg-deb -f "$deb" Version)"
  # The package's relations, in Debian's names.
  depends="$(dpkg-query -W -f='${Depends}' zubmanager3)"
  names="$(tr ',' '\n' <<<"$depends" | sed -e 's/^ *//' -e 's/ .*//')"
  for dep in libqt6widgets6 libqt6gui6 libqt6core6 liblzo2-2 libssl3 libc6 libstdc++6; do
    grep -qxF "$dep" <<<"$names" || fail "Depends lacks $dep: $depends"
  done
  [ "$(dpkg-query -W -f='${Recommends}' zubmanager3)" = "wine, wine32" ] ||
    fail "Recommends is not 'wine, wine32'"
  [ "$(command -v zub)" = /usr/bin/zub ] || fail "zub is not on the PATH in /usr/bin"
  ;;
tree)
  prefix="$work/prefix"
  cmake --install "$what" --prefix "$prefix" >"$work/install.log" ||
    fail "cmake --install failed"
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$what/CMakeCache.txt")"
  ;;
*)
  echo "usage: package-test.sh deb FILE.deb WORK | tree BUILD_DIR WORK" >&2
  exit 2
  ;;
esac
echo "checking the installation in $prefix (version $version)"

# --- The files, where the programs look for them -------------------------------------------
share="$prefix/share/zubmanager3" lib="$prefix/lib/zubmanager3"
for f in bin/zub bin/zubmanager share/zubmanager3/zubmanager.INI share/zubmanager3/SECTIONS.INI \
  share/zubmanager3/demo/gbp-sim.ini share/zubmanager3/demo/phone/2-3.bin \
  lib/zubmanager3/simulator/gbp.dll lib/zubmanager3/simulator/cte_gbp.dll \
  share/applications/zubmanager3.desktop share/icons/hicolor/scalable/apps/zubmanager3.svg \
  share/bash-completion/completions/zub; do
  [ -f "$prefix/$f" ] || fail "$prefix/$f is not installed"
done
ls "$share/demo/samples/"*.prg >/dev/null 2>&1 || fail "no sample programs in $share/demo/samples"
# Neither simulator lies where the device library is looked for by default.
for f in gbp.dll cte_gbp.dll; do [ ! -e "$lib/$f" ] || fail "$lib/$f would be found by default"; done
if command -v i686-w64-mingw32-g++ >/dev/null; then
  for f in gbp-host.exe simulator/win32/gbp.dll simulator/win32/cte_gbp.dll; do
    [ -f "$lib/$f" ] || fail "$lib/$f is not installed"
  done
fi
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/zubmanager3.png"
  # The width and height in the PNG header (bytes 16 to 23).
  dims="$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')" || true
  [ "$dims" = "${size}x${size}" ] || fail "$png is not a ${size}x${size} picture"
done
desktop="$prefix/share/applications/zubmanager3.desktop"
for line in "Name=ZUB Manager 3" "Exec=zubmanager" "Icon=zubmanager3" "Type=Application"; do
  grep -qx "$line" "$desktop" || fail "the desktop entry lacks '$line'"
done
if [ "$mode" = deb ] || command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "the desktop entry is not valid"
fi
for page in zub zubmanager; do
  man="$prefix/share/man/man1/$page.1.gz"
  if [ "$mode" = deb ] || [ -f "$man" ]; then
    [ -f "$man" ] || fail "no manual page $man"
    zcat "$man" | grep -q '^\.SH FILES' || fail "$page(1) has no FILES section"
    zcat "$man" | grep -q 'XDG_CONFIG_HOME' || fail "$page(1) does not say where the settings are"
    zcat "$man" | grep -qF -- '\-\-version' || fail "$page(1) lacks the options of --help"
  fi
done
bash "$here/completion-test.sh" "$prefix/share/bash-completion/completions/zub" "$work/completion" ||
  fail "the installed completion"

# --- The programs, with a home of their own ----------------------------------------------
fresh_user() {  # a new HOME, no XDG variables
  export HOME="$work/home-$1"
  unset XDG_CONFIG_HOME XDG_DATA_HOME
  mkdir -p "$HOME"
}
run() {  # STATUS PROGRAM ARGS...: the program's output lands in out.txt and err.txt
  local want="$1" rc=0
  shift
  "$@" >"$work/out.txt" 2>"$work/err.txt" || rc=$?
  [ "$rc" = "$want" ] || fail "$* exited $rc, expected $want"
}
has() { grep -qF -- "$2" "$work/$1" || fail "'$2' not in $1"; }

fresh_user options
export QT_QPA_PLATFORM=offscreen
run 0 "$prefix/bin/zub" --version
[ "$(cat "$work/out.txt")" = "zub $version" ] || fail "zub --version: $(cat "$work/out.txt")"
# No window for --version and --help: a platform that does not exist is never asked for.
# (The build's options-test.sh refuses the unknown options of the same programs.)
run 0 env QT_QPA_PLATFORM=none-such "$prefix/bin/zubmanager" --version
[ "$(cat "$work/out.txt")" = "ZUB Manager 3 $version" ] || fail "zubmanager --version"
run 0 env QT_QPA_PLATFORM=none-such "$prefix/bin/zubmanager" --help
has out.txt "Usage: zubmanager"
[ ! -e "$HOME/.config" ] || fail "--version or --help made the settings folder"

# A fresh installation: the settings arrive, the device library does not.
fresh_user first
config="$HOME/.config/zubmanager3"
run 3 "$prefix/bin/zub" list
has err.txt "Unable to open gbp.dll (looked in $config, $HOME/.local/share/zubmanager3,"
for f in zubmanager.INI SECTIONS.INI; do
  cmp -s "$share/$f" "$config/$f" || fail "$config/$f is not the installed default"
done

# The demo telephone copied into the data folder, the folders named by XDG variables.
fresh_user demo
export XDG_CONFIG_HOME="$work/xdg-config" XDG_DATA_HOME="$work/xdg-data"
data="$XDG_DATA_HOME/zubmanager3" config="$XDG_CONFIG_HOME/zubmanager3"
# The README's two lines.
mkdir -p "$data"
cp -r "$share/demo/." "$lib/simulator/"*.dll "$data/"
run 0 "$prefix/bin/zub" list
grep -Eq '^2-3 +program +Chess ' "$work/out.txt" || fail "zub list does not show the demo's 2-3"
rows="$(grep -c '^section[0-9]*=' "$config/zubmanager.INI")"
[ "$(wc -l <"$work/out.txt")" = $((rows + 1)) ] || fail "not one line per catalogue row"
[ ! -e "$HOME/.config" ] || fail "the settings went to ~/.config in spite of XDG_CONFIG_HOME"
# The user's catalogue of two rows is the one read, and it is kept at the next start.
sed -i '/^section\([3-9]\|[1-9][0-9]\+\)=/d' "$config/zubmanager.INI"
run 0 "$prefix/bin/zub" list
[ "$(wc -l <"$work/out.txt")" = 3 ] || fail "zub list did not read $config/zubmanager.INI"
run 0 "$prefix/bin/zub" write 2-8 "$data/samples/tetris-v2.prg"
cmp -s "$data/samples/tetris-v2.prg" "$data/phone/2-8.bin" || fail "the write missed the demo"

# --- The window under a real window manager ----------------------------------------------
for tool in Xvfb openbox wmctrl xprop; do
  command -v "$tool" >/dev/null || { echo "window not checked: $tool is missing"; exit 0; }
done
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_strndup=0"
# A display of our own (Xvfb picks a free number) with openbox on it. Other X servers come and
# go on a busy machine: a display that cannot be reached is given up for another.
start_x() {
  local attempt xvfb wm
  for attempt in 1 2 3; do
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    wm=$!
    for _ in $(seq 100); do
      if wmctrl -m >/dev/null 2>&1; then
        pids+=("$xvfb" "$wm")
        return 0
      fi
      sleep 0.1
    done
    echo "display $DISPLAY (attempt $attempt) not usable: $(cat "$work/openbox.log")"
    kill "$wm" "$xvfb" 2>/dev/null || true
    wait "$wm" "$xvfb" 2>/dev/null || true
  done
  return 1
}
start_x || fail "no X display with openbox could be started"

# The window writes its bounds back at close: take them out to see them come back.
sed -i '/^\(Top\|Left\|Width\|Height\)=/d' "$config/zubmanager.INI"
"$prefix/bin/zubmanager" >"$work/window.log" 2>&1 &
app=$!
pids+=("$app")
id=""
for _ in $(seq 150); do
  id="$(wmctrl -l 2>/dev/null | awk '$0 ~ /ZUB Manager 3$/ {print $1; exit}')" || true
  [ -n "$id" ] && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
[ -n "$id" ] || { cat "$work/window.log"; fail "the window did not appear"; }
# -len: every icon, not only the first bytes of the property.
xprop -len 100000000 -id "$id" _NET_WM_ICON >"$work/icon.txt"
for size in 16 256; do
  grep -q "Icon ($size x $size)" "$work/icon.txt" || fail "the window has no ${size}x${size} icon"
done
wmctrl -i -c "$id"
for _ in $(seq 150); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$app" 2>/dev/null || fail "the window did not close"
wait "$app" || fail "zubmanager ended with status $?: $(cat "$work/window.log")"
grep -q '^Width=' "$config/zubmanager.INI" || fail "the window did not save into $config"
echo "package: everything as expected"
