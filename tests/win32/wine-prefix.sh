#!/usr/bin/env bash
# Sets up the Wine prefix that the Windows build's tests share, once: the first Wine start in
# a new prefix fills it (up to a minute), and test programs started side by side must not race
# on that. Runs gbp-host.exe without arguments, which only lets Wine do its set-up and ends.
#   wine-prefix.sh PREFIX GBP-HOST-EXE
set -euo pipefail
prefix="$1" host="$2"
command -v wine >/dev/null || { echo "skipped: wine is not installed"; exit 77; }
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
flock "$prefix.lock" bash -c '[ -e "$WINEPREFIX/dosdevices/c:" ] ||
  wine "$1" </dev/null >/dev/null 2>&1 || true' _ "$host"
[ -e "$prefix/dosdevices/c:" ] || { echo "Wine did not set up $prefix"; exit 1; }
# Drive Z: is the machine's root in every new prefix; the tests' paths rely on it.
[ "$(readlink "$prefix/dosdevices/z:")" = / ] || { echo "no drive Z: for / in $prefix"; exit 1; }
