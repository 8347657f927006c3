#!/usr/bin/env bash
# Runs one driver script in a fresh home folder and compares its transcript with the expected
# one. Lines "#! ..." at the top of a script prepare the home folder first:
#   #! no-library            no gbp.dll beside the program
#   #! no-cte                no cte_gbp.dll beside the program
#   #! no-phone              no demo telephone (no gbp-sim.ini, no sections)
#   #! no-settings           no zubmanager.INI and no SECTIONS.INI
#   #! ini FILE SECTION KEY VALUE   set a key of a profile file in the home folder
#   #! rm FILE               remove a file of the home folder (e.g. phone/2-5.bin)
#   #! copy FROM TO          copy a file inside the home folder
# With ZUB_UPDATE_EXPECTED=1 the transcript replaces the expected file.
#
# With ZUB_DRIVE_WIN32=DIR the simulator built as 32-bit Windows libraries (DIR/gbp.dll,
# DIR/cte_gbp.dll) stands in for the native one, with DIR/gbp-host.exe beside it, so the tool
# serves it through the host under Wine, in the prefix ZUB_DRIVE_WINEPREFIX (shared by all such
# runs; its first set-up is done under a lock). The transcript must be the same. Exits 77
# (skipped) when Wine or the Windows build is missing.
#
# With ZUB_DRIVE_EXE_DIR=DIR the driver is DIR/zub-drive.exe, the Windows build, run under Wine
# (prefix WINEPREFIX), loading DIR's gbp.dll and cte_gbp.dll into its own process; BIN still
# provides the helpers that prepare the home folder. Exits 77 when either build is missing.
set -euo pipefail
bin="$1" data="$2" script="$3" expected="$4" home="$5"

lib="$bin"
drive=("$bin/zub-drive")
if [ -n "${ZUB_DRIVE_EXE_DIR:-}" ]; then
  lib="$ZUB_DRIVE_EXE_DIR"
  for f in zub-drive.exe gbp.dll cte_gbp.dll; do
    [ -f "$lib/$f" ] || { echo "skipped: no $lib/$f (no MinGW-w64 cross compiler)"; exit 77; }
  done
  for f in zub-demo-phone zub-ini; do
    [ -x "$bin/$f" ] || { echo "skipped: no $bin/$f (build the preset dev first)"; exit 77; }
  done
  command -v wine >/dev/null || { echo "skipped: wine is not installed"; exit 77; }
  drive=(wine "$lib/zub-drive.exe")
fi
if [ -n "${ZUB_DRIVE_WIN32:-}" ]; then
  lib="$ZUB_DRIVE_WIN32"
  for f in gbp.dll cte_gbp.dll gbp-host.exe; do
    [ -f "$lib/$f" ] || { echo "skipped: no $lib/$f (no MinGW-w64 cross compiler)"; exit 77; }
  done
  command -v wine >/dev/null || { echo "skipped: wine is not installed"; exit 77; }
  export WINEPREFIX="$ZUB_DRIVE_WINEPREFIX" WINEDEBUG=-all
  mkdir -p "$WINEPREFIX"
  # The host run without arguments only lets Wine set the prefix up, then ends.
  flock "$WINEPREFIX.lock" bash -c '[ -e "$WINEPREFIX/dosdevices/c:" ] ||
    WINEDLLOVERRIDES="mscoree,mshtml=" wine "$1" </dev/null >/dev/null 2>&1 || true' _ \
    "$lib/gbp-host.exe"
fi

rm -rf "$home"
mkdir -p "$home"
# The history of section contents stays in the home folder; a user data folder of the run's
# own catches anything that would go to the real one.
export XDG_DATA_HOME="$home/xdg-data"
directives="$(grep -aE '^#!' "$script" | sed -e 's/^#! *//' || true)"
has() { grep -qx "$1" <<<"$directives"; }

has no-library || cp "$lib/gbp.dll" "$home/"
has no-cte || cp "$lib/cte_gbp.dll" "$home/"
[ -z "${ZUB_DRIVE_WIN32:-}" ] || cp "$lib/gbp-host.exe" "$home/"
has no-settings || cp "$data/zubmanager.INI" "$data/SECTIONS.INI" "$home/"
has no-phone || "$bin/zub-demo-phone" "$home" >/dev/null

while read -r verb a b c d; do
  case "$verb" in
    ini) "$bin/zub-ini" "$home/$a" "$b" "$c" "$d" ;;
    rm) rm -f "$home/$a" ;;
    copy) cp "$home/$a" "$home/$b" ;;
  esac
done <<<"$directives"

actual="$home/transcript.out"
set +e
"${drive[@]}" --home "$home" "$script" >"$actual" 2>"$home/stderr.txt"
rc=$?
set -e
echo "exit: $rc" >>"$actual"
# zub-drive.exe names a file in the home folder the Windows way (<home>\temp.gif).
if [ -n "${ZUB_DRIVE_EXE_DIR:-}" ]; then
  perl -pi -e 's{<home>((?:\\[^\\\s"]*)+)}{my $p = $1; $p =~ tr|\\|/|; "<home>$p"}ge' "$actual"
fi

if [ "${ZUB_UPDATE_EXPECTED:-0}" = 1 ]; then
  cp "$actual" "$expected"
  echo "updated $expected"
  exit 0
fi
if ! diff -u "$expected" "$actual"; then
  echo "transcript differs from $expected (home: $home)"
  cat "$home/stderr.txt"
  exit 1
fi
