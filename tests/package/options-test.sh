#!/usr/bin/env bash
# Every program of the build on its command line: --help and --version answer, an unknown
# option is refused with status 2 and nothing is done; no program takes an option for a
# folder or a file to write. Runs in an empty folder, which must stay empty but for what a row
# asks for.
#   options-test.sh BIN_DIR WORK_DIR VERSION
set -uo pipefail
bin="$(realpath "$1")" work="$2" version="$3"
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
export QT_QPA_PLATFORM=offscreen HOME="$work/home"

failed=0 rows=0
# STATUS STREAM PROGRAM ARGS... => TEXT: the program exits with STATUS and writes TEXT to
# STREAM (out or err).
while read -r row; do
  [ -z "$row" ] && continue
  line="${row%% =>*}" text="${row#*=> }"
  read -r status stream program args <<<"$line"
  rc=0
  # shellcheck disable=SC2086
  "$bin/$program" $args >out.txt 2>err.txt || rc=$?
  if [ "$rc" != "$status" ]; then
    echo "FAIL: $program $args exited $rc, expected $status"; cat err.txt; failed=1
  elif ! grep -qF -- "${text//@VERSION@/$version}" "$stream.txt"; then
    echo "FAIL: $program $args: '$text' not in standard $stream"; cat out.txt err.txt; failed=1
  fi
  rows=$((rows + 1))
done <<'EOF_TABLE'
0 out zub --version => zub @VERSION@
0 out zub --help => --version
2 err zub --frobnicate list => unknown option '--frobnicate'
0 out zubmanager --version => ZUB Manager 3 @VERSION@
0 out zubmanager --help => Usage: zubmanager
2 err zubmanager --frobnicate => unknown argument '--frobnicate'
2 err zubmanager stray => unknown argument 'stray'
0 out zub-demo-phone --help => usage: zub-demo-phone [--] DIR
2 err zub-demo-phone --frobnicate => unknown option '--frobnicate'
2 err zub-demo-phone => usage: zub-demo-phone
2 err zub-demo-phone one two => usage: zub-demo-phone
0 out zub-drive --help => usage: zub-drive
2 err zub-drive --frobnicate script.zub => unknown option '--frobnicate'
2 err zub-drive script.zub --frobnicate => unknown option '--frobnicate'
2 err zub-drive --home => option --home needs a folder
EOF_TABLE

# Nothing but the two output files: no folder named after an option, no settings.
left="$(ls -A | grep -vxE 'out.txt|err.txt' | paste -sd' ')"
[ -z "$left" ] || { echo "FAIL: the programs left '$left' behind"; failed=1; }
# "--" lets a folder's name start with a dash.
"$bin/zub-demo-phone" -- -demo >/dev/null && [ -f ./-demo/gbp-sim.ini ] ||
  { echo "FAIL: zub-demo-phone -- -demo wrote no telephone into -demo"; failed=1; }
[ "$failed" = 0 ] && echo "options: all $rows rows as expected"
exit "$failed"
