#!/usr/bin/env bash
# zub through a Windows device library: the simulator built for Windows as gbp.dll, served by
# gbp-host.exe under Wine in a new Wine prefix, which Wine sets up at the helper's first start
# (the long wait). On a terminal zub says once on standard error why it waits, and the command
# completes; without a terminal it says nothing; no helper is left running afterwards. Exits 77
# (skipped) without Wine or the Windows build.
#   cli-wine-test.sh BIN WIN32 DATA HOME
set -euo pipefail
bin="$1" win32="$2" data="$3" home="$4"

for f in gbp.dll gbp-host.exe; do
  [ -f "$win32/$f" ] || { echo "skipped: no $win32/$f (no MinGW-w64 cross compiler)"; exit 77; }
done
command -v wine >/dev/null || { echo "skipped: wine is not installed"; exit 77; }

rm -rf "$home"
mkdir -p "$home"
cp "$win32/gbp.dll" "$win32/gbp-host.exe" "$data/zubmanager.INI" "$data/SECTIONS.INI" "$home/"
"$bin/zub-demo-phone" "$home" >/dev/null
export WINEPREFIX="$home/new-prefix" XDG_STATE_HOME="$home/state"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
out="$home/stdout.txt" err="$home/stderr.txt"
fail() {
  echo "FAIL: $*"
  echo "--- stdout"; cat "$out" 2>/dev/null || true
  echo "--- stderr"; cat "$err" 2>/dev/null || true
  exit 1
}

notice='zub: Starting the Windows device helper (the first time takes up to a minute)…'
# The first start, on a terminal (standard output and error both show there).
script -qec "'$bin/zub' --home '$home' list" /dev/null </dev/null >"$out" 2>"$err" ||
  fail "zub list exited $? on a terminal"
[ -e "$WINEPREFIX/dosdevices/c:" ] || fail "the new prefix was not set up"
grep -Eq '^2-3 +program +Chess +8632 ' "$out" || fail "the list lacks 2-3"
[ "$(tr -d '\r' <"$out" | grep -cxF -- "$notice")" = 1 ] || fail "the wait is not said exactly once"
# Without a terminal, however long the helper takes: results only, nothing on standard error.
rc=0
"$bin/zub" --home "$home" list >"$out" 2>"$err" || rc=$?
[ "$rc" = 0 ] || fail "zub list exited $rc"
grep -Eq '^2-3 +program +Chess +8632 ' "$out" || fail "the list lacks 2-3"
[ ! -s "$err" ] || fail "standard error is not empty"
# The helper went with zub: no gbp-host.exe runs in this prefix any more.
for pid in $(pgrep -f gbp-host.exe || true); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
    fail "gbp-host.exe (process $pid) outlived zub"
  fi
done
echo "ok"
