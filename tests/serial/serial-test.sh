#!/usr/bin/env bash
# The tool over a real serial line. A stand-in for a telephone's device library
# (bin/win32/serial/gbp.dll, StandInGbp.cpp) is served by gbp-host.exe under Wine and opens
# COM1, which the settings' [Device] COM1 lead to one end of a socat pty pair; the fake
# telephone zub-fake-phone answers on the other end from a copy of the demo telephone. Each case
# runs zub or zub-drive over that line and compares what they report, and what the telephone
# holds afterwards, with the same run against the simulator on the same demo telephone.
#
#   serial-test.sh BIN WIN32 DATA ROOT [CASE...]
#   e.g. ctest --test-dir build/dev -L serial --output-on-failure        (all cases), or
#   tests/serial/serial-test.sh build/dev/bin build/dev/bin/win32 data /tmp/serial window
#
# Cases: list, backup-verify, window, unreachable; and silent-scan, two-programs, call-timeout, which need
# the tool to tell a lost line from an absent section, to lock its port and to limit a call's
# time. ZUB_SERIAL_PENDING=1 skips those three. Each case works in ROOT/CASE (its logs stay
# there: phone.log, the fake telephone's requests; NAME.out/.err, each run's output). Wine runs
# in the prefix ZUB_SERIAL_WINEPREFIX (ctest: the one the device tests share), else in
# ROOT/wine-prefix, made at the first run (up to a minute). Exits 77 (skipped) when socat, Wine
# or the Windows build is missing.
set -euo pipefail
bin="$1" win32="$2" data="$3" root="$4"
shift 4
cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
  cases=(list backup-verify window unreachable)
  [ "${ZUB_SERIAL_PENDING:-0}" = 1 ] || cases+=(silent-scan two-programs call-timeout)
fi

skip() { echo "skipped: $*"; exit 77; }
command -v socat >/dev/null || skip "socat is not installed"
command -v wine >/dev/null || skip "wine is not installed"
for f in serial/gbp.dll gbp-host.exe; do
  [ -f "$win32/$f" ] || skip "no $win32/$f (no MinGW-w64 cross compiler)"
done

export WINEPREFIX="${ZUB_SERIAL_WINEPREFIX:-$root/wine-prefix}" WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
# The host run without arguments only lets Wine set the prefix up, then ends; runs sharing
# the prefix take turns.
flock "$WINEPREFIX.lock" bash -c '[ -e "$WINEPREFIX/dosdevices/c:" ] ||
  WINEDLLOVERRIDES="mscoree,mshtml=" wine "$1" </dev/null >/dev/null 2>&1 || true' _ \
  "$win32/gbp-host.exe"

mkdir -p "$root"
root="$(cd "$root" && pwd)"

# Every process this script started for a case, and the device library hosts the tool started
# for it, names a path below $root on its command line (a home, a tty link): that is how they
# are found and ended, by their ids, on every way out. The script's own shells are not.
our_procs() {
  local f p comm
  for f in $(grep -laF "$root/" /proc/[0-9]*/cmdline 2>/dev/null); do
    p="${f#/proc/}" && p="${p%/cmdline}"
    read -r comm 2>/dev/null <"/proc/$p/comm" || continue
    case "$comm" in bash | grep) ;; *) echo "$p" ;; esac
  done
}
our_hosts() {
  local p
  for p in $(our_procs); do
    grep -qaF gbp-host "/proc/$p/cmdline" 2>/dev/null && echo "$p"
  done
  return 0
}
end_ours() {
  local p
  for p in $(our_procs); do kill -KILL "$p" 2>/dev/null || true; done
}
case_pid=""
cleanup() {
  [ -z "$case_pid" ] || kill -KILL "$case_pid" 2>/dev/null || true
  end_ours
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failures=0
case_name=""
# Ends the case (each runs in a subshell of its own).
fail() {
  echo "FAIL ($case_name): $*"
  local f
  for f in "$dir"/*.err "$dir/phone.log"; do
    [ -f "$f" ] && { echo "--- $(basename "$f")"; tail -n 15 "$f"; }
  done
  exit 1
}
# wait_for SECONDS WHAT COMMAND...: until COMMAND succeeds, at most SECONDS.
wait_for() {
  local limit="$1" what="$2" end
  shift 2
  end=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || fail "no $what within ${limit}s"
    sleep 0.05
  done
}
ms() { date +%s%3N; }
gone() { ! kill -0 "$1" 2>/dev/null; }
no_hosts() { [ -z "$(our_hosts)" ]; }

# line_up [FAKE-PHONE OPTIONS...]: a fresh folder for the case: the fake telephone's sections
# ($tel/phone), the home on the serial line ($home), the reference home on the simulator
# ($ref), the pty pair and the fake telephone on it.
line_up() {
  dir="$root/$case_name" home="$root/$case_name/home" tel="$root/$case_name/tel"
  ref="$root/$case_name/ref"
  rm -rf "$dir"
  mkdir -p "$home" "$ref"
  "$bin/zub-demo-phone" "$tel" >/dev/null
  "$bin/zub-demo-phone" "$ref" >/dev/null
  cp "$win32/serial/gbp.dll" "$win32/gbp-host.exe" "$data/zubmanager.INI" "$data/SECTIONS.INI" \
    "$home/"
  cp "$bin/gbp.dll" "$data/zubmanager.INI" "$data/SECTIONS.INI" "$ref/"
  "$bin/zub-ini" "$home/zubmanager.INI" Device COM1 "$dir/ttyA"
  socat pty,raw,echo=0,link="$dir/ttyA" pty,raw,echo=0,link="$dir/ttyB" 2>"$dir/socat.err" &
  wait_for 10 "pty pair" test -e "$dir/ttyA" -a -e "$dir/ttyB"
  "$bin/zub-fake-phone" "$@" "$dir/ttyB" "$tel/phone" 2>"$dir/phone.log" &
  phone_pid=$!
  wait_for 10 "fake telephone" grep -qs '^fake-phone: ready' "$dir/phone.log"
}
# run NAME HOME ARGS...: zub on HOME, output in $dir/NAME.out and .err, exit status in $rc.
run() {
  local name="$1" h="$2"
  shift 2
  rc=0
  "$bin/zub" --home "$h" "$@" >"$dir/$name.out" 2>"$dir/$name.err" || rc=$?
}
expect() {
  local want="$1" name="$2"
  shift 2
  run "$name" "$@"
  [ "$rc" = "$want" ] || fail "zub $name exited $rc, expected $want"
}
same() { diff -u "$1" "$2" >"$dir/diff.txt" || { cat "$dir/diff.txt"; fail "$3"; }; }

case_list() {
  line_up
  expect 0 list "$home" list
  expect 0 list-ref "$ref" list
  same "$dir/list-ref.out" "$dir/list.out" "zub list over the line differs from the simulator's"
  grep -q ' READ 2 3 128 -> OK 128' "$dir/phone.log" || fail "the scan read no head over the line"
}

case_backup-verify() {
  line_up
  expect 0 backup "$home" backup "$dir/bk"
  expect 0 backup-ref "$ref" backup "$dir/bk-ref"
  same <(grep -v '^Date=' "$dir/bk-ref/manifest.ini") <(grep -v '^Date=' "$dir/bk/manifest.ini") \
    "the manifest differs from the simulator's"
  local f n=0
  for f in "$dir"/bk/*.bin; do
    cmp -s "$f" "$tel/phone/$(basename "$f")" || fail "$(basename "$f") is not the telephone's"
    n=$((n + 1))
  done
  [ "$n" = "$(grep -c '^State=present' "$dir/bk/manifest.ini")" ] || fail "files and manifest differ"
  expect 0 verify "$home" verify "$dir/bk"
  grep -q '^verify: 47 sections: 47 same; took ' "$dir/verify.out" || fail "verify did not find all same"
  # Changed behind the tool's back: verify sees it over the line.
  rm "$tel/phone/17-4.bin"
  head -c 100 "$tel/phone/2-9.bin" >"$tel/phone/2-11.bin"
  expect 1 verify-changed "$home" verify "$dir/bk"
  grep -q '^17-4 now empty$' "$dir/verify-changed.out" || fail "17-4 not found empty"
  grep -q '^2-11 differs' "$dir/verify-changed.out" || fail "2-11 not found different"
}

# Full Refresh, a download, an upload of what was downloaded and a Clear, in the window
# through the driver: the same transcript as on the simulator, the same telephone afterwards.
case_window() {
  line_up
  cat >"$dir/window.zub" <<'EOF'
click Button1
rows
cells 9
row 9
answer save big.sec
action DownloadAction
row 8
answer open big.sec
answer convert No
action UploadAction
cells 8
row 5
action ClearAction
cells 5
EOF
  local h
  for h in home ref; do
    "$bin/zub-drive" --home "$dir/$h" "$dir/window.zub" >"$dir/window-$h.out" \
      2>"$dir/window-$h.err" || fail "zub-drive on $h exited $?"
  done
  same "$dir/window-ref.out" "$dir/window-home.out" "the transcript differs from the simulator's"
  diff -r "$ref/phone" "$tel/phone" >"$dir/diff.txt" || { cat "$dir/diff.txt"; fail "telephones differ"; }
  cmp -s "$home/big.sec" "$tel/phone/2-9.bin" || fail "the download is not 2-9"
  [ ! -e "$tel/phone/2-5.bin" ] || fail "2-5 was not cleared"
  grep -q ' WRITE 2 8 30020 -> OK 30020' "$dir/phone.log" || fail "no 30020-byte write on the line"
}

# told_absent FILE PATTERN: every section that FILE calls empty or absent (PATTERN, a sed
# expression, picks its S-SS out) is one the telephone answered "no such section" for.
told_absent() {
  local s
  for s in $(sed -nE "$2" "$1"); do
    grep -qE " SIZE ${s/-/ } -> ERR -153$" "$dir/phone.log" ||
      fail "$(basename "$1") calls $s empty or absent, which the telephone never said"
  done
}

# No telephone on the line: the opening fails with the library's own code, which zub words as
# the window does. No device behind COM1: the setting is refused before Wine starts, naming it.
case_unreachable() {
  line_up
  kill -KILL "$phone_pid"
  wait "$phone_pid" 2>/dev/null || true
  export ZUB_STANDIN_TIMEOUT_MS=500
  expect 3 silent "$home" list
  grep -qF 'GBP Error: No AT response!' "$dir/silent.err" || fail "no 'No AT response!'"
  "$bin/zub-ini" "$home/zubmanager.INI" Device COM1 "$dir/none"
  expect 3 none "$home" list
  grep -qF "[Device] COM1=$dir/none names no device" "$dir/none.err" ||
    fail "no sentence naming the setting"
}

# The telephone falls silent after 20 requests: no section from then on may be called empty
# or absent, and a backup must fail without a manifest.
case_silent-scan() {
  line_up --silent-after 20
  export ZUB_STANDIN_TIMEOUT_MS=1500  # a real library waits seconds before it calls a line dead
  run list "$home" list
  [ "$rc" != 0 ] || fail "zub list exited 0 on a telephone that fell silent"
  told_absent "$dir/list.out" 's/^([0-9]+-[0-9]+) +empty .*/\1/p'
  run backup "$home" backup "$dir/bk"
  [ "$rc" != 0 ] || fail "zub backup exited 0 on a telephone that fell silent"
  [ ! -e "$dir/bk/manifest.ini" ] || fail "zub backup wrote a manifest"
  told_absent "$dir/backup.err" 's/^backup [0-9]+\/[0-9]+: ([0-9]+-[0-9]+) (absent|empty).*/\1/p'
}

# While one zub works on COM1, a second one on the same port is refused: it names the port and
# the first one's process, exits non-zero and sends nothing down the line.
case_two-programs() {
  line_up --hold-on 4 "$root/two-programs/go"
  ZUB_STANDIN_TIMEOUT_MS=60000 "$bin/zub" --home "$home" list >"$dir/first.out" 2>"$dir/first.err" &
  local first=$!
  wait_for 30 "request held" grep -q ' -> held$' "$dir/phone.log"
  export ZUB_STANDIN_TIMEOUT_MS=2000
  run second "$home" erase 2-5 --yes
  [ "$rc" != 0 ] || fail "the second zub exited 0"
  grep -qF -e COM1 -e "$dir/ttyA" "$dir/second.err" || fail "the refusal names no port"
  grep -qw "$first" "$dir/second.err" || fail "the refusal does not name process $first"
  touch "$dir/go"
  local frc=0
  wait "$first" || frc=$?
  [ "$frc" = 0 ] || fail "the first zub exited $frc"
  expect 0 list-ref "$ref" list
  same "$dir/list-ref.out" "$dir/first.out" "the first zub's list was disturbed"
  [ "$(grep -c ' AT -> ' "$dir/phone.log")" = 1 ] || fail "the second zub used the line"
  ! grep -q ' CLEAR ' "$dir/phone.log" || fail "the second zub cleared a section"
  [ -s "$tel/phone/2-5.bin" ] || fail "2-5 was erased"
}

# A call that never returns: with [Device] CallTimeout=2 zub gives up in bounded time, exits
# non-zero and leaves no host behind.
case_call-timeout() {
  line_up --hang-on SIZE
  "$bin/zub-ini" "$home/zubmanager.INI" Device CallTimeout 2
  local start pid
  start=$(ms)
  ZUB_STANDIN_TIMEOUT_MS=600000 "$bin/zub" --home "$home" list >"$dir/list.out" 2>"$dir/list.err" &
  pid=$!
  wait_for 15 "end of zub list" gone "$pid"
  rc=0
  wait "$pid" || rc=$?
  echo "zub list ended after $(($(ms) - start)) ms with exit status $rc"
  [ "$rc" != 0 ] || fail "zub list exited 0 though a call never returned"
  wait_for 5 "end of the host" no_hosts
}

for case_name in "${cases[@]}"; do
  t0=$(ms)
  # In the background, so that a signal to this script is handled at once.
  (
    set -e
    trap end_ours EXIT  # whatever the case started ends with it
    "case_$case_name"
  ) &
  case_pid=$!
  status=0
  wait "$case_pid" || status=$?
  case_pid=""
  if [ "$status" = 0 ]; then
    echo "ok   $case_name ($(($(ms) - t0)) ms)"
  else
    echo "     $case_name failed after $(($(ms) - t0)) ms"
    failures=$((failures + 1))
  fi
done
[ "$failures" = 0 ] || { echo "$failures case(s) failed"; exit 1; }
