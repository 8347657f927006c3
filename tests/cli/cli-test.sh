#!/usr/bin/env bash
# zub end to end, one case per run: a fresh home folder with the simulator, the shipped
# settings and catalogue and the demo telephone; the case runs zub on it, changes the
# telephone behind its back (the files in phone/, the faults in gbp-sim.ini) and checks what
# zub reports, its exit status and what the telephone holds afterwards.
#   cli-test.sh BIN DATA HOME CASE
# With ZUB_CLI_WIN32=DIR, zub is DIR/zub.exe (the Windows build) run under Wine in the prefix
# WINEPREFIX, and the home folder gets DIR's gbp.dll and cte_gbp.dll, the simulator built for
# Windows, which zub.exe loads into its own process; BIN still provides the helpers
# (zub-demo-phone, zub-ini) and, for the case same-as-linux, the Linux zub to compare with.
# Exits 77 (skipped) when Wine or the Windows build is missing.
set -euo pipefail
bin="$1" data="$2" home="$3" case="$4"
here="$(cd "$(dirname "$0")" && pwd)"

lib="$bin"
zub=("$bin/zub")
if [ -n "${ZUB_CLI_WIN32:-}" ]; then
  lib="$ZUB_CLI_WIN32"
  for f in zub.exe gbp.dll cte_gbp.dll; do
    [ -f "$lib/$f" ] || { echo "skipped: no $lib/$f (no MinGW-w64 cross compiler)"; exit 77; }
  done
  for f in zub-demo-phone zub-ini zub; do
    [ -x "$bin/$f" ] || { echo "skipped: no $bin/$f (build the preset dev first)"; exit 77; }
  done
  command -v wine >/dev/null || { echo "skipped: wine is not installed"; exit 77; }
  zub=(wine "$lib/zub.exe")
fi
# zub.exe names files the Windows way, this machine's root being drive Z: under Wine
# (Z:\work\home\backup); the checks below read them back as this machine's paths.
posix_paths() {
  [ -n "${ZUB_CLI_WIN32:-}" ] || return 0
  perl -pi -e 's{Z:((?:\\[^\\\s"]*)+)}{my $p = $1; $p =~ tr|\\|/|; $p}ge' "$@"
}

rm -rf "$home"
mkdir -p "$home"
# The history of section contents stays in the home folder; a user data folder of the test's
# own catches anything that would go to the real one.
export XDG_DATA_HOME="$home/xdg-data"
cp "$lib/gbp.dll" "$lib/cte_gbp.dll" "$data/zubmanager.INI" "$data/SECTIONS.INI" "$home/"
"$bin/zub-demo-phone" "$home" >/dev/null
phone="$home/phone" bk="$home/backup" out="$home/stdout.txt" err="$home/stderr.txt"

fail() {
  echo "FAIL ($case): $*"
  echo "--- stdout"; cat "$out" 2>/dev/null || true
  echo "--- stderr"; cat "$err" 2>/dev/null || true
  exit 1
}
# expect STATUS ARGS...: zub on the home folder; its output lands in $out and $err.
expect() {
  local want="$1" rc=0
  shift
  "${zub[@]}" --home "$home" "$@" >"$out" 2>"$err" || rc=$?
  posix_paths "$err"
  [ "${!#}" = - ] || posix_paths "$out"  # a section read to standard output stays as it is
  [ "$rc" = "$want" ] || fail "zub $* exited $rc, expected $want"
}
has() { grep -qF -- "$2" "$1" || fail "'$2' not in $(basename "$1")"; }
hasnt() { ! grep -qF -- "$2" "$1" || fail "'$2' in $(basename "$1")"; }
sim() { "$bin/zub-ini" "$home/gbp-sim.ini" "$@"; }
# calls ENTRY: how many calls of ENTRY the last run with --log "$log" made. Unloading the
# device library at the end of every run ends GBP mode once more, connection or not.
log="$home/calls.log"
calls() { grep -c "^call: $1(" "$log" || true; }
no_call() {
  [ -f "$log" ] || fail "no log written"
  [ "$(grep -vc '^call: EndGBPMode() ' "$log")" = 0 ] || fail "a device call was made"
}
poke() { printf "$2" | dd of="$1" bs=1 seek="$3" conv=notrunc status=none; }
# Every section of the backup is on the telephone byte for byte; the ones it lists as empty
# or absent hold nothing.
telephone_is_backup() {
  awk -F= '/^\[/ { s = substr($0, 2, length($0) - 2) } /^State=/ { print s, $2 }' \
      "$bk/manifest.ini" >"$home/states.txt"
  [ -s "$home/states.txt" ] || fail "the manifest lists no section"
  while read -r s state; do
    case "$state" in
      present) cmp -s "$bk/$s.bin" "$phone/$s.bin" || fail "$s differs from the backup" ;;
      empty | absent) [ ! -s "$phone/$s.bin" ] || fail "$s should hold nothing" ;;
      *) fail "$s is $state in the manifest" ;;
    esac
  done <"$home/states.txt"
}

case "$case" in
list)
  expect 0 list
  rows=$(grep -c '^section[0-9]*=' "$home/zubmanager.INI")
  [ "$(wc -l <"$out")" = $((rows + 1)) ] || fail "not one line per catalogue row plus the header"
  grep -Eq '^2-3 +program +Chess +8632 +65535 +UFIF 2\.1 +LZO\(29\.0%\)$' "$out" || fail "2-3"
  grep -Eq '^2-8 +empty +< Empty > +0 +65535 +- +-$' "$out" || fail "2-8"
  # A ringer's name comes from the telephone as UTF-16 and is shown as it reads, once decoded.
  grep -Eq '^17-2 +data +ringer: Мелодия 1 +4000 +65535 +- +-$' "$out" || fail "17-2"
  expect 0 list --json
  python3 -c 'import json, sys; json.load(sys.stdin)' <"$out" || fail "list --json is no JSON"
  has "$out" '{"section":"17-2","kind":"data","title":"ringer: Мелодия 1","size":4000,'
  has "$out" '{"section":"2-3","kind":"program","title":"Chess","size":8632,"capacity":65535,"format":"UFIF 2.1","lzo":"LZO(29.0%)"}'
  [ "$(grep -c '"section"' "$out")" = "$rows" ] || fail "not one object per catalogue row"
  # A row whose size cannot be read is reported; the others are listed all the same.
  sim Faults SizeError 2-5:-10
  expect 1 list
  has "$err" "zub: Error getting section 2-5 size"
  grep -Eq '^2-5 +error ' "$out" || fail "2-5 not shown as an error"
  has "$out" "Chess"
  ;;

read-write-erase)
  # Sections of any size come back whole: here 100,000 bytes, beyond the window's buffer.
  for _ in 1 2 3 4; do cat "$phone/2-9.bin"; done | head -c 100000 >"$phone/3-7.bin"
  expect 0 read 3-7 "$home/big.bin"
  cmp "$phone/3-7.bin" "$home/big.bin" || fail "read 3-7 is not the section"
  has "$out" "3-7: 100000 bytes read into $home/big.bin"
  expect 0 read 3-7 -
  cmp "$phone/3-7.bin" "$out" || fail "read 3-7 - is not the section"
  expect 0 read 2-8 "$home/none.bin"
  [ -f "$home/none.bin" ] && [ ! -s "$home/none.bin" ] || fail "an absent section gives an empty file"
  # A read that fails leaves no file behind.
  sim Faults ReadError 2-3:-10
  expect 1 read 2-3 "$home/failed.bin"
  has "$err" "zub: cannot read section 2-3: the device library answered -10 to the read"
  [ ! -e "$home/failed.bin" ] || fail "a failed read wrote a file"
  # Write: the bytes as they are (filler words included), compared after writing.
  head -c 70000 "$home/big.bin" >"$home/70k.bin"
  printf '\xc0\x46\xc0\x46' >>"$home/70k.bin"
  expect 0 write 3-8 "$home/70k.bin" --force
  has "$out" "3-8: 70004 bytes written, verified"
  cmp "$home/70k.bin" "$phone/3-8.bin" || fail "write 3-8 did not store the file as it is"
  expect 0 write 3-8 "$home/big.bin" --no-verify --force
  has "$out" "3-8: 100000 bytes written, size checked (not verified)"
  expect 1 write 3-8 "$home/missing.bin"
  has "$err" "zub: Cannot open file"
  expect 0 erase 3-8 --yes
  has "$out" "3-8: erased, reads as empty"
  [ ! -e "$phone/3-8.bin" ] || fail "3-8 still there"
  sim Faults ClearFails 2-1
  expect 1 erase 2-1 --yes
  has "$err" "zub: section 2-1 was not erased: it still holds 6020 bytes after erasing"
  ;;

writekeep)
  # The telephone keeps only the first 100 bytes of a write to 2-8, and says nothing.
  sim Faults WriteKeep 2-8:100
  expect 1 write 2-8 "$home/samples/tetris-v2.prg"
  has "$err" "after writing: first difference at offset 100 (wrote 5620 bytes, the telephone holds 100)"
  expect 1 write 2-8 "$home/samples/tetris-v2.prg" --no-verify
  has "$err" "zub: section 2-8 holds 100 bytes after writing 5620 bytes"
  # The same fault under a restore: reported, the other sections restored all the same.
  expect 0 backup "$bk" --quiet
  rm "$phone/2-9.bin" "$phone/2-1.bin"
  sim Faults WriteKeep 2-9:100
  expect 1 restore "$bk" --yes
  has "$out" "2-9 failed"
  has "$err" "zub: section 2-9 was not restored: the read-back differs at offset 100 (wrote 30020 bytes, the telephone holds 100)"
  has "$out" "2-1 written 6020 bytes, verified"
  has "$out" "1 written"
  has "$out" "1 failed"
  ;;

backup-verify-restore)
  expect 0 backup "$bk"
  has "$out" "-> $bk"
  has "$bk/manifest.ini" "Scope=catalogue"
  has "$bk/manifest.ini" "Port=1"
  has "$bk/manifest.ini" "Cable=data"
  grep -Eq '^Date=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$' "$bk/manifest.ini" ||
    fail "no ISO 8601 date"
  has "$err" "backup 47/47: 18-12 absent"  # one line per section when not on a terminal
  telephone_is_backup
  # Change four sections behind zub's back.
  poke "$phone/2-1.bin" X 17
  rm "$phone/2-5.bin"
  cp "$phone/2-2.bin" "$phone/2-11.bin"
  head -c 100 "$phone/17-2.bin" >"$home/short" && mv "$home/short" "$phone/17-2.bin"
  expect 1 verify "$bk"
  grep -v ' same$' "$out" >"$home/changed.txt" || true
  # The summary ends with the time taken, which varies: compared up to it.
  sed -i 's/; took [0-9.]* s.*$//' "$home/changed.txt"
  diff -u - "$home/changed.txt" <<'EOF' || fail "verify did not report exactly the changed sections"
2-1 differs at offset 17
2-5 now empty
2-11 differs: the telephone holds 6020 bytes, the backup none
17-2 differs: the telephone holds 100 bytes, the backup 4000
verify: 47 sections: 43 same, 3 differ, 1 now empty
EOF
  # The plan, without a single write.
  cp -r "$phone" "$home/phone-before"
  expect 0 --log "$log" restore "$bk" --dry-run
  has "$out" "2-1 would write 6020 bytes (differs at offset 17)"
  has "$out" "2-5 would write 2820 bytes (the telephone's section is empty)"
  has "$out" "2-11 would erase (the telephone holds 6020 bytes)"
  has "$out" "17-2 would write 4000 bytes (the telephone holds 100 bytes)"
  has "$out" "restore --dry-run: 47 sections: 43 same, 3 to write, 1 to erase"
  [ "$(calls WriteNVMFile)$(calls ClearNVMFile)" = 00 ] || fail "--dry-run wrote or erased"
  diff -r "$phone" "$home/phone-before" >/dev/null || fail "--dry-run changed the telephone"
  expect 0 restore "$bk" --yes
  has "$out" "restore: 47 sections: 43 same, 3 written, 1 erased; took "
  telephone_is_backup
  expect 0 verify "$bk"
  has "$out" "verify: 47 sections: 47 same"
  # An unchanged backup: reads only, no write and no erase.
  expect 0 --log "$log" restore "$bk" --quiet --yes
  has "$out" "restore: 47 sections: 47 same"
  [ "$(calls WriteNVMFile)$(calls ClearNVMFile)$(calls EndGBPMode)" = 002 ] ||
    fail "an unchanged backup was written, erased, or its connection not closed once"
  ;;

restore-only)
  expect 0 backup "$bk" --quiet
  poke "$phone/2-1.bin" X 0
  poke "$phone/2-2.bin" X 0
  rm "$phone/17-4.bin"
  expect 0 restore "$bk" --only 2-2,17-4 --yes
  has "$out" "restore: 2 sections: 0 same, 2 written"
  cmp -s "$bk/2-2.bin" "$phone/2-2.bin" || fail "2-2 not restored"
  cmp -s "$bk/17-4.bin" "$phone/17-4.bin" || fail "17-4 not restored"
  ! cmp -s "$bk/2-1.bin" "$phone/2-1.bin" || fail "2-1 was restored without being asked for"
  # A section the manifest does not list is never touched, even when asked for.
  cp "$phone/2-2.bin" "$phone/99-1.bin"
  expect 2 --log "$log" restore "$bk" --only 2-1,99-1 --yes
  has "$err" "zub: section 99-1 is not in the backup's manifest"
  no_call
  ! cmp -s "$bk/2-1.bin" "$phone/2-1.bin" || fail "2-1 was restored by a refused restore"
  expect 0 restore "$bk" --quiet --yes
  cmp -s "$phone/2-2.bin" "$phone/99-1.bin" || fail "99-1 was touched"
  telephone_is_backup
  ;;

corrupted)
  expect 0 backup "$bk" --quiet
  poke "$phone/2-1.bin" X 5  # a restore would write 2-1
  cp "$phone/2-1.bin" "$home/2-1.changed"
  refused() {  # refused WHAT: restore and verify refuse the backup before any device call
    expect 1 --log "$log" restore "$bk" --yes
    has "$err" "$1"
    no_call
    expect 1 verify "$bk"
    has "$err" "$1"
    cmp -s "$phone/2-1.bin" "$home/2-1.changed" || fail "the telephone was changed"
  }
  poke "$bk/2-3.bin" X 100
  refused "zub: the backup in $bk is damaged: 2-3.bin does not match its SHA-256; nothing was written to the telephone"
  cp "$phone/2-3.bin" "$bk/2-3.bin"
  head -c 10 "$phone/2-4.bin" >"$bk/2-4.bin"
  refused "2-4.bin does not hold the 3704 bytes of its manifest"
  cp "$phone/2-4.bin" "$bk/2-4.bin"
  rm "$bk/2-6.bin"
  refused "2-6.bin cannot be read"
  cp "$phone/2-6.bin" "$bk/2-6.bin"
  sed -i 's/^State=absent$/State=gone/' "$bk/manifest.ini"
  refused "has no valid State (\"gone\")"
  rm "$bk/manifest.ini"
  refused "there is no manifest.ini in $bk, so it is no complete backup"
  ;;

backup-all)
  cp "$phone/2-9.bin" "$phone/200-7.bin"
  : >"$phone/201-1.bin"  # empty: not listed by --all
  expect 0 backup "$bk" --all --quiet
  has "$bk/manifest.ini" "Scope=all"
  has "$bk/manifest.ini" "=200-7"
  hasnt "$bk/manifest.ini" "=201-1"
  hasnt "$bk/manifest.ini" "State=absent"
  hasnt "$bk/manifest.ini" "State=empty"
  nonempty=$(find "$phone" -name '*.bin' -size +0 | wc -l)
  [ "$(grep -c '^section[0-9]*=' "$bk/manifest.ini")" = "$nonempty" ] ||
    fail "--all does not list exactly the sections that hold data"
  telephone_is_backup
  # A section that cannot be read is reported, and the backup goes on; such a backup never
  # replaces a complete one, and goes only where there was none.
  sim Faults ReadError 2-3:-10
  cp "$bk/manifest.ini" "$home/manifest.before"
  expect 1 backup "$bk" --all --quiet
  has "$err" "zub: cannot read section 2-3: the device library answered -10 to the read"
  has "$err" "zub: 1 section could not be read, so the earlier backup in $bk was kept as it was"
  cmp -s "$bk/manifest.ini" "$home/manifest.before" || fail "the complete backup was replaced"
  expect 1 backup "$home/partial" --all --quiet
  has "$home/partial/manifest.ini" "State=unreadable"
  has "$out" "1 unreadable"
  [ -f "$home/partial/200-7.bin" ] || fail "the backup stopped at the unreadable section"
  ;;

interrupt)
  # Ctrl-C while a backup runs over a slow link, once a section is stored: the connection is
  # closed, and the folder holds the earlier backup as it was, with nothing beside it.
  expect 0 backup "$bk" --quiet
  cp -r "$bk" "$home/backup-before"
  poke "$phone/2-1.bin" X 3
  sim Link Baud 57600
  set +e
  "${zub[@]}" --home "$home" --log "$log" backup "$bk" >"$out" 2>"$err" &
  pid=$!
  for _ in $(seq 300); do grep -q '^backup 1/' "$err" && break; sleep 0.1; done
  kill -INT "$pid"
  wait "$pid"
  rc=$?
  set -e
  [ "$rc" = 130 ] || fail "exit status $rc after Ctrl-C, expected 130"
  has "$err" "zub: stopped by Ctrl-C"
  [ "$(calls EndGBPMode)" = 2 ] || fail "the connection was not closed"  # and the unload
  diff -r "$bk" "$home/backup-before" >/dev/null || fail "the earlier backup was changed"
  ! ls -a "$home" | grep -q 'zub-' || fail "a temporary folder was left behind"
  ;;

output)
  # A result that cannot be written is a failure, and every result line is written as it comes.
  rc=0
  "${zub[@]}" --home "$home" list >/dev/full 2>"$err" || rc=$?
  [ "$rc" = 1 ] || fail "zub list > /dev/full exited $rc"
  has "$err" "zub: standard output could not be written"
  expect 0 backup "$bk" --quiet
  rc=0
  "${zub[@]}" --home "$home" verify "$bk" --quiet >/dev/full 2>"$err" || rc=$?
  [ "$rc" = 1 ] || fail "zub verify > /dev/full exited $rc"
  # A restore killed in the middle: the lines it printed are in the file.
  for s in 2-2 2-3 2-4 2-5 2-6 2-9; do poke "$phone/$s.bin" X 1; done
  sim Link Baud 19200
  "${zub[@]}" --home "$home" restore "$bk" --quiet --yes >"$out" 2>"$err" &
  pid=$!
  for _ in $(seq 300); do grep -q '^2-1 same$' "$out" && break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null || fail "the restore ended before it could be killed"
  kill -KILL "$pid"
  wait "$pid" || true
  has "$out" "2-1 same"
  ;;

terminal)
  # On a terminal 40 columns wide the bar never wraps, and no result line shares a line with
  # it: each line the terminal shows after its carriage returns is a result or the bar alone.
  expect 0 backup "$bk" --quiet
  poke "$phone/2-1.bin" X 5
  rm "$phone/2-5.bin"
  expect 1 verify "$bk" --quiet
  # The summary ends with the time taken, which differs from run to run.
  sed 's/; took .*$//' "$out" >"$home/results.txt"
  script -qec "stty cols 40 rows 20; '$bin/zub' --home '$home' verify '$bk'" /dev/null \
    </dev/null >"$home/tty.txt" || true
  tr -d '\n' <"$home/tty.txt" | tr '\r' '\n' >"$home/drawn.txt"
  grep -q '^verify comparing \[' "$home/drawn.txt" || fail "no bar was drawn"
  awk '(/^verify comparing \[/ || /^ +$/) && length($0) > 39 { bad = 1 } END { exit bad }' \
    "$home/drawn.txt" || fail "the bar is wider than the terminal"
  # What the terminal shows: each line's pieces between carriage returns, laid over each other.
  awk '{ sub(/\r$/, ""); n = split($0, part, "\r"); shown = ""
         for (i = 1; i <= n; ++i) shown = part[i] substr(shown, length(part[i]) + 1)
         sub(/ +$/, "", shown); sub(/; took .*$/, "", shown)
         if (shown != "") print shown }' "$home/tty.txt" >"$home/shown.txt"
  diff -u "$home/results.txt" "$home/shown.txt" || fail "the terminal shows more than the results"
  ;;

hostile)
  # A link planted in the backup folder is never written through, and a folder that holds
  # anything but a backup is refused, as is a backup with nothing to back up.
  expect 0 backup "$bk" --quiet
  # Under Wine a link of this machine looks like the file it leads to: links are Linux's here.
  if [ -z "${ZUB_CLI_WIN32:-}" ]; then
    echo "precious" >"$home/precious.txt"
    rm "$bk/2-1.bin"
    ln -s "$home/precious.txt" "$bk/2-1.bin"
    expect 1 --log "$log" backup "$bk"
    has "$err" "zub: $bk holds 2-1.bin, a link: a backup goes only into a new or empty folder, or over an earlier backup"
    no_call
    [ "$(cat "$home/precious.txt")" = precious ] || fail "the backup wrote through the link"
    expect 1 verify "$bk"
    has "$err" "2-1.bin cannot be read"
  fi
  mkdir "$home/notes" && echo mine >"$home/notes/todo.txt"
  expect 1 backup "$home/notes"
  has "$err" "holds files but no manifest.ini of a backup"
  [ "$(ls "$home/notes")" = todo.txt ] || fail "the folder of notes was changed"
  sed -i '/^section[0-9]*=/d' "$home/zubmanager.INI"
  expect 1 --log "$log" backup "$home/none"
  has "$err" "zub: the catalogue lists no section"
  no_call
  [ ! -e "$home/none" ] || fail "a backup with nothing to back up made a folder"
  ! ls -a "$home" | grep -q 'zub-' || fail "a temporary folder was left behind"
  ;;

bad-arguments)
  while read -r line; do
    # shellcheck disable=SC2086
    expect 2 $line
    [ ! -s "$out" ] || fail "zub $line printed on standard output"
    has "$err" "zub: "
    has "$err" 'Try "zub --help".'
  done <<'EOF'
frob

list extra
list --all
read 2-5
read 2-256 x
write 2-5 -
backup
restore backup --only 2-x
--port 9 list
verify backup --dry-run
EOF
  expect 2 --home "$home/nowhere" list
  has "$err" "zub: the home folder $home/nowhere does not exist"
  expect 0 --help
  has "$out" "Usage: zub [OPTIONS] COMMAND [ARGUMENTS]"
  expect 0 restore --help
  has "$out" "Usage: zub [OPTIONS] restore DIR [--only S-SS,...] [--dry-run]"
  ;;

unreachable)
  sim Link Answer 0
  expect 3 list
  has "$err" "zub: cannot reach the telephone on COM1, data cable (gbp.dll): GBP Error: No AT response!"
  sim Link Answer 1
  sim Link Ports 2
  expect 3 backup "$bk"
  has "$err" "zub: cannot reach the telephone on COM1, data cable (gbp.dll): GBP Error: Can't open port!"
  [ ! -e "$bk" ] || fail "a backup without a telephone left a folder"
  expect 0 --port 2 --service-cable list
  cmp -s "$data/zubmanager.INI" "$home/zubmanager.INI" || fail "zub wrote the settings"
  "$bin/zub-ini" "$home/zubmanager.INI" Manager COM-Port 1
  expect 0 read 2-1 "$home/2-1.bin"
  expect 3 --port 1 read 2-1 "$home/2-1.bin"
  expect 0 --service-cable read 2-1 "$home/2-1.bin"
  rm "$home/cte_gbp.dll"
  expect 3 --service-cable list
  has "$err" "zub: cannot reach the telephone: Unable to open cte_gbp.dll"
  rm "$home/gbp.dll"
  expect 3 list
  has "$err" "zub: cannot reach the telephone: Unable to open gbp.dll"
  ;;

conventions)
  # The options every command shares and the ones that guard the telephone, one row a run:
  # the exit status, where the text must be (out, err, json: standard output parsed as JSON,
  # log: the file of --log), the text, the environment (- for none) and the command line.
  # "H" stands for the home folder; --home @ is given unless the environment sets ZUB_HOME.
  expect 0 backup "$bk" --quiet
  "$bin/zub-ini" "$home/SECTIONS.INI" 0x0208 MaxSize 2048
  cat "$phone/2-9.bin" "$phone/2-9.bin" >"$home/60k.bin"
  for n in 2048 2049 34442 34443; do head -c "$n" "$home/60k.bin" >"$home/$n.bin"; done
  # The settings' port is COM2, the only port the telephone answers on.
  "$bin/zub-ini" "$home/zubmanager.INI" Manager COM-Port 1
  sim Link Ports 2
  while IFS='|' read -r want where text environment line; do
    line=${line//@/$home}
    text=${text//@/$home}
    [ "$environment" = - ] && environment=""
    environment=${environment//@/$home}
    homeopt=(--home "$home")
    [[ $environment == *ZUB_HOME=* ]] && homeopt=()
    rm -f "$log"
    rc=0
    # shellcheck disable=SC2086
    env $environment "$bin/zub" "${homeopt[@]}" $line >"$out" 2>"$err" || rc=$?
    [ "$rc" = "$want" ] || fail "$environment zub $line exited $rc, expected $want"
    case "$where" in
      out) has "$out" "$text" ;;
      err) has "$err" "$text" ;;
      log) has "$log" "$text" ;;
      json)
        python3 -c 'import json, sys; json.load(sys.stdin)' <"$out" ||
          fail "zub $line --json printed no JSON"
        has "$out" "$text"
        ;;
    esac
  done <<'EOF'
2|err|2049 bytes are more than section 2-8 takes: the catalogue's maximum for it is 2048 bytes; nothing was written|-|write 2-8 @/2049.bin
0|out|2-8: 2048 bytes written, verified|-|write 2-8 @/2048.bin
2|err|34443 bytes are more than section 3-8 takes: a section write holds at most 34442 bytes|-|write 3-8 @/34443.bin
0|out|3-8: 34442 bytes written, verified|-|write 3-8 @/34442.bin
0|out|3-8: 34443 bytes written, verified|-|write 3-8 @/34443.bin --force
0|json|{"command":"write","exit":0,"section":"2-8","bytes":2048,"file":"@/2048.bin","check":"read-back"}|-|write 2-8 @/2048.bin --json
0|json|{"command":"read","exit":0,"section":"2-8","state":"present","bytes":2048,"file":"@/r.bin"}|-|read 2-8 @/r.bin --json
0|json|{"command":"erase","exit":0,"section":"2-8","erased":true}|-|erase 2-8 --yes --json
0|json|{"command":"read","exit":0,"section":"2-8","state":"absent","bytes":0|-|read 2-8 @/r.bin --json
1|json|{"command":"write","exit":1,"error":"Cannot open file|-|write 2-8 @/missing.bin --json
2|json|{"exit":2,"error":"--json and - cannot share standard output: read into a FILE"}|-|read 2-8 - --json
2|err|erase changes the telephone and asks first, but there is no terminal to ask on; add --yes to erase without asking|-|--log @/calls.log erase 2-1
2|err|restore changes the telephone and asks first, but there is no terminal to ask on; add --yes|-|restore @/backup
0|json|"dry_run":true,"same":47,"to_write":0,"to_erase":0,"not_in_backup":0|-|restore @/backup --dry-run --json
0|json|"section":"2-3","result":"same","action":"none","text":"same"|-|verify @/backup --json
0|json|{"command":"verify","exit":0,"dir":"@/backup","same":47,"differ":0,"now_empty":0,"unreadable":0,"not_in_backup":0,"seconds":|-|verify @/backup --json
0|json|"section":"2-3","state":"present","size":8632,"sha256":"|-|backup @/bk2 --json
0|json|{"section":"2-3","kind":"program","title":"Chess","size":8632,"capacity":65535,"format":"UFIF 2.1","lzo":"LZO(29.0%)"}|-|list --json
0|out|verify: 47 sections: 47 same; took |-|verify @/backup -q
0|log|call: ReadNVMFile(2,3,8633) -> 8632 (|-|--log @/calls.log read 2-3 @/r.bin
0|err|call: GetNVMFileSize(2,3) -> 8632 (|-|-v read 2-3 @/r.bin
2|err|cannot write the log file @/none/calls.log|-|--log @/none/calls.log list
0|out|program  Chess|ZUB_HOME=@|list
0|out|program  Chess|ZUB_HOME=@/nowhere|--home @ list
2|err|the home folder @/nowhere does not exist|ZUB_HOME=@/nowhere|list
3|err|cannot reach the telephone on COM1, data cable (gbp.dll)|ZUB_PORT=1|list
0|out|program  Chess|ZUB_PORT=1|--port 2 list
0|out|program  Chess|ZUB_PORT=2|list
2|err|ZUB_PORT is '9'; it must be a port number 1 to 4|ZUB_PORT=9|list
3|json|{"command":"list","exit":3,"error":"cannot reach the telephone on COM1|ZUB_PORT=1|list --json
EOF
  ;;

confirm)
  # On a terminal restore and erase show what they will change and ask, No unless the answer
  # starts with y; each row: the answer typed ("enter": none), the exit status, and whether
  # the telephone was changed.
  expect 0 backup "$bk" --quiet
  poke "$phone/2-1.bin" X 17
  rm "$phone/2-5.bin"
  cp -r "$phone" "$home/phone-before"
  while read -r answer want changed; do
    [ "$answer" = enter ] && answer=""
    rc=0
    python3 "$here/on-terminal.py" "$answer" "$bin/zub" --home "$home" restore "$bk" \
      >"$out" 2>"$err" || rc=$?
    [ "$rc" = "$want" ] || fail "restore answered '$answer' exited $rc, expected $want"
    has "$out" "2-1 would write 6020 bytes (differs at offset 17)"
    has "$out" "2-5 would write 2820 bytes (the telephone's section is empty)"
    has "$out" "Write 2 sections and erase 0 on COM1, data cable (gbp.dll)? [y/N]"
    if [ "$changed" = no ]; then
      has "$out" "zub: nothing was written or erased: the answer was not yes"
      diff -r "$phone" "$home/phone-before" >/dev/null || fail "restore answered '$answer' wrote"
    else
      has "$out" "restore: 47 sections: 45 same, 2 written; took "
      telephone_is_backup
    fi
  done <<'EOF'
n 1 no
enter 1 no
N 1 no
y 0 yes
EOF
  while read -r answer want changed; do
    [ "$answer" = enter ] && answer=""
    rc=0
    python3 "$here/on-terminal.py" "$answer" "$bin/zub" --home "$home" erase 2-3 \
      >"$out" 2>"$err" || rc=$?
    [ "$rc" = "$want" ] || fail "erase answered '$answer' exited $rc, expected $want"
    has "$out" "zub: section 2-3 on COM1, data cable (gbp.dll) holds 8632 bytes"
    has "$out" "Erase section 2-3? [y/N]"
    if [ "$changed" = no ]; then
      cmp -s "$phone/2-3.bin" "$bk/2-3.bin" || fail "erase answered '$answer' erased"
    else
      has "$out" "2-3: erased, reads as empty"
      [ ! -s "$phone/2-3.bin" ] || fail "2-3 was not erased"
    fi
  done <<'EOF'
no 1 no
enter 1 no
yes 0 yes
EOF
  # --yes asks nothing, on a terminal too; a single transfer says what it does and how long
  # it took, at the link speed of the settings.
  python3 "$here/on-terminal.py" - "$bin/zub" --home "$home" erase 2-4 --yes >"$out" ||
    fail "erase --yes on a terminal"
  has "$out" "2-4: erased, reads as empty"
  python3 "$here/on-terminal.py" - "$bin/zub" --home "$home" write 2-4 "$bk/2-9.bin" >"$out" ||
    fail "write on a terminal"
  grep -Eq '^writing and reading back 2-4: 30020 bytes, about 0:05 at 115200 bit/s$' "$out" ||
    fail "the write did not say what it does"
  grep -Eq '^writing and reading back 2-4: done in [0-9]+\.[0-9] s, [0-9.]+ (B|KiB|MiB)/s$' "$out" ||
    fail "the write did not say how long it took"
  "$bin/zub-ini" "$home/zubmanager.INI" Device LinkSpeed 19200
  python3 "$here/on-terminal.py" - "$bin/zub" --home "$home" read 2-4 "$home/r.bin" >"$out" ||
    fail "read on a terminal"
  has "$out" "reading 2-4: 30020 bytes, about 0:16 at 19200 bit/s"
  ;;

same-as-linux)
  # The Windows zub and the Linux one, each on a home folder of its own made the same way, run
  # the same commands: what they print, their exit statuses, the backups they make (but for
  # the date) and the telephones they leave must be the same. Paths are given relative to the
  # home folder, the same text for both; where zub names a file in full, the home folder is
  # taken out.
  [ -n "${ZUB_CLI_WIN32:-}" ] || { echo "skipped: compares the Windows zub with this one"; exit 77; }
  twin="$home.linux"
  rm -rf "$twin" && mkdir -p "$twin"
  cp "$bin/gbp.dll" "$bin/cte_gbp.dll" "$data/zubmanager.INI" "$data/SECTIONS.INI" "$twin/"
  "$bin/zub-demo-phone" "$twin" >/dev/null
  n=0
  both() {  # both ARGS...: zub ARGS on each home; the two results must agree
    n=$((n + 1))
    local rc1=0 rc2=0
    (cd "$home" && "${zub[@]}" --home . "$@" >"$home/out.$n" 2>"$home/err.$n") || rc1=$?
    (cd "$twin" && "$bin/zub" --home . "$@" >"$twin/out.$n" 2>"$twin/err.$n") || rc2=$?
    [ "$rc1" = "$rc2" ] || fail "zub $* exited $rc1 on Windows, $rc2 on Linux"
    # Both name their own home folder where they name a file: it reads HOME in either. The
    # speed, the time left and the time taken depend on the machine's load, not on the system.
    posix_paths "$home/out.$n" "$home/err.$n"
    for h in "$home" "$twin"; do
      H="$h" perl -pi -e 's/\Q$ENV{H}\E/HOME/g; s/, [^,()]+\/s(, [^,()]+ left)?\)/)/; s/; took .* on average$//' \
        "$h/out.$n" "$h/err.$n"
    done
    cmp -s "$home/out.$n" "$twin/out.$n" ||
      fail "zub $* printed otherwise: $(diff "$twin/out.$n" "$home/out.$n" | head -n 20)"
    cmp -s "$home/err.$n" "$twin/err.$n" ||
      fail "zub $* reported otherwise: $(diff "$twin/err.$n" "$home/err.$n" | head -n 20)"
  }
  change() {  # change the same sections of both telephones behind zub's back
    for h in "$home" "$twin"; do
      poke "$h/phone/2-1.bin" X 17
      rm "$h/phone/2-5.bin"
      cp "$h/phone/2-2.bin" "$h/phone/2-11.bin"
    done
  }
  both list
  both list --json
  both read 2-3 chess.bin
  both read 2-8 none.bin
  both write 3-8 samples/tetris-v2.prg
  both write 3-9 missing.bin
  both erase 3-8 --yes
  both backup backup
  both backup backup --all
  change
  both verify backup
  both restore backup --dry-run
  both restore backup --only 2-5 --yes
  both restore backup --yes
  both verify backup
  both backup backup-2 --quiet
  both restore nowhere --yes
  both read 2-256 x.bin
  for h in "$home" "$twin"; do
    sed -i '/^Date=/d' "$h"/backup/manifest.ini "$h"/backup-2/manifest.ini
  done
  for f in chess.bin none.bin backup backup-2 phone; do
    diff -r "$home/$f" "$twin/$f" >/dev/null || fail "$f differs from the Linux zub's"
  done
  ;;

history)
  # Downloaded, then the wrong file uploaded over it: the previous content comes back in one
  # command, verified, and the telephone holds its bytes again.
  cp "$phone/2-9.bin" "$home/old.bin"
  expect 0 read 2-9 "$home/saved.bin"
  expect 0 write 2-9 "$phone/2-3.bin"
  expect 0 history 2-9
  [ "$(wc -l <"$out")" = 2 ] || fail "not two versions"
  grep -Eq '^1  [0-9T:.-]+Z  written  8632 bytes  zub write  program "Chess" UFIF 2\.1' "$out" ||
    fail "version 1 is not the write"
  grep -Eq '^2  [0-9T:.-]+Z  read     30020 bytes  zub read  program "BigGame"' "$out" ||
    fail "version 2 is not the read"
  expect 0 history 2-9 --restore 2
  has "$out" "2-9: version 2 written back and verified"
  cmp -s "$phone/2-9.bin" "$home/old.bin" || fail "2-9 does not hold its old bytes"
  expect 0 history 2-9
  grep -Eq '^1  .*zub history --restore  program "BigGame"' "$out" || fail "the write-back not kept"
  # A damaged index line and a missing content file are reported; the rest is listed.
  echo "damaged" >>"$home/history/2-9.index"
  rm "$home/history/objects/$(sha256sum "$phone/2-3.bin" | cut -c1-64)"
  expect 0 history 2-9
  has "$err" "zub: warning: Line 4 of the history index"
  has "$err" "is missing"
  has "$out" "content missing or damaged"
  expect 1 history 2-9 --restore 2
  has "$err" "zub: cannot write version 2 back into section 2-9: The history file"
  expect 1 history 2-9 --restore 9
  has "$err" "section 2-9 has no version 9 in the history"
  # The list needs no telephone, nor its library.
  mv "$home/gbp.dll" "$home/gbp.dll.away"
  expect 0 history 2-9
  has "$out" "content missing or damaged"
  mv "$home/gbp.dll.away" "$home/gbp.dll"
  # The limits, applied now: one version a section, the telephone's content as last seen.
  "$bin/zub-ini" "$home/zubmanager.INI" History Versions 1
  expect 0 history --prune
  expect 0 history 2-9
  [ "$(wc -l <"$out")" = 1 ] && has "$out" "zub history --restore"
  [ "$(ls "$home/history/objects" | wc -l)" = 1 ] || fail "content files outlive their versions"
  expect 2 history
  expect 2 history 2-9 --prune
  expect 2 history --prune --restore 1
  "$bin/zub-ini" "$home/zubmanager.INI" History Enabled 0
  expect 1 history 2-9
  has "$err" "the history is turned off"
  [ ! -e "$XDG_DATA_HOME" ] || fail "something was written into the user data folder"
  ;;

*)
  echo "unknown case $case" >&2
  exit 2
  ;;
esac
echo "ok ($case)"
