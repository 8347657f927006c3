#!/usr/bin/env bash
# zub end to end, one case per run: a fresh home folder with the simulator, the shipped
# settings and catalogue and the demo telephone; the case runs zub on it, changes the
# telephone behind its back (the files in phone/, the faults in gbp-sim.ini) and checks what
# zub reports, its exit status and what the telephone holds afterwards.
#   cli-test.sh BIN DATA HOME CASE
set -euo pipefail
bin="$1" data="$2" home="$3" case="$4"

rm -rf "$home"
mkdir -p "$home"
# The history of section contents stays in the home folder; a user data folder of the test's
# own catches anything that would go to the real one.
export XDG_DATA_HOME="$home/xdg-data"
cp "$bin/gbp.dll" "$bin/cte_gbp.dll" "$data/zubmanager.INI" "$data/SECTIONS.INI" "$home/"
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
  "$bin/zub" --home "$home" "$@" >"$out" 2>"$err" || rc=$?
  [ "$rc" = "$want" ] || fail "zub $* exited $rc, expected $want"
}
has() { grep -qF -- "$2" "$1" || fail "'$2' not in $(basename "$1")"; }
hasnt() { ! grep -qF -- "$2" "$1" || fail "'$2' in $(basename "$1")"; }
sim() { "$bin/zub-ini" "$home/gbp-sim.ini" "$@"; }
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
  has "$out" '{"section": "17-2", "kind": "data", "title": "ringer: Мелодия 1", "size": 4000,'
  has "$out" '{"section": "2-3", "kind": "program", "title": "Chess", "size": 8632, "capacity": 65535, "format": "UFIF 2.1", "lzo": "LZO(29.0%)"}'
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
  expect 0 write 3-8 "$home/70k.bin"
  has "$out" "3-8: 70004 bytes written, verified"
  cmp "$home/70k.bin" "$phone/3-8.bin" || fail "write 3-8 did not store the file as it is"
  expect 0 write 3-8 "$home/big.bin" --no-verify
  has "$out" "3-8: 100000 bytes written, size checked (not verified)"
  expect 1 write 3-8 "$home/missing.bin"
  has "$err" "zub: Cannot open file"
  expect 0 erase 3-8
  has "$out" "3-8: erased, reads as empty"
  [ ! -e "$phone/3-8.bin" ] || fail "3-8 still there"
  sim Faults ClearFails 2-1
  expect 1 erase 2-1
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
  expect 1 restore "$bk"
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
  diff -u - "$home/changed.txt" <<'EOF' || fail "verify did not report exactly the changed sections"
2-1 differs at offset 17
2-5 now empty
2-11 differs: the telephone holds 6020 bytes, the backup none
17-2 differs: the telephone holds 100 bytes, the backup 4000
verify: 47 sections: 43 same, 3 differ, 1 now empty
EOF
  # The plan, without a single write.
  cp -r "$phone" "$home/phone-before"
  ZUB_BENCH=1 expect 0 restore "$bk" --dry-run
  has "$out" "2-1 would write 6020 bytes (differs at offset 17)"
  has "$out" "2-5 would write 2820 bytes (the telephone's section is empty)"
  has "$out" "2-11 would erase (the telephone holds 6020 bytes)"
  has "$out" "17-2 would write 4000 bytes (the telephone holds 100 bytes)"
  has "$out" "restore --dry-run: 47 sections: 43 same, 3 to write, 1 to erase"
  has "$err" "WriteNVMFile=0 ClearNVMFile=0"
  diff -r "$phone" "$home/phone-before" >/dev/null || fail "--dry-run changed the telephone"
  expect 0 restore "$bk"
  has "$out" "restore: 47 sections: 43 same, 3 written, 1 erased"
  telephone_is_backup
  expect 0 verify "$bk"
  has "$out" "verify: 47 sections: 47 same"
  # An unchanged backup: reads only, no write and no erase.
  ZUB_BENCH=1 expect 0 restore "$bk" --quiet
  has "$out" "restore: 47 sections: 47 same"
  has "$err" "WriteNVMFile=0 ClearNVMFile=0 EndGBPMode=1"
  ;;

restore-only)
  expect 0 backup "$bk" --quiet
  poke "$phone/2-1.bin" X 0
  poke "$phone/2-2.bin" X 0
  rm "$phone/17-4.bin"
  expect 0 restore "$bk" --only 2-2,17-4
  has "$out" "restore: 2 sections: 0 same, 2 written"
  cmp -s "$bk/2-2.bin" "$phone/2-2.bin" || fail "2-2 not restored"
  cmp -s "$bk/17-4.bin" "$phone/17-4.bin" || fail "17-4 not restored"
  ! cmp -s "$bk/2-1.bin" "$phone/2-1.bin" || fail "2-1 was restored without being asked for"
  # A section the manifest does not list is never touched, even when asked for.
  cp "$phone/2-2.bin" "$phone/99-1.bin"
  ZUB_BENCH=1 expect 2 restore "$bk" --only 2-1,99-1
  has "$err" "zub: section 99-1 is not in the backup's manifest"
  has "$err" "first device call none"
  ! cmp -s "$bk/2-1.bin" "$phone/2-1.bin" || fail "2-1 was restored by a refused restore"
  expect 0 restore "$bk" --quiet
  cmp -s "$phone/2-2.bin" "$phone/99-1.bin" || fail "99-1 was touched"
  telephone_is_backup
  ;;

corrupted)
  expect 0 backup "$bk" --quiet
  poke "$phone/2-1.bin" X 5  # a restore would write 2-1
  cp "$phone/2-1.bin" "$home/2-1.changed"
  refused() {  # refused WHAT: restore and verify refuse the backup before any device call
    ZUB_BENCH=1 expect 1 restore "$bk"
    has "$err" "$1"
    has "$err" "first device call none"
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
  ZUB_BENCH=1 "$bin/zub" --home "$home" backup "$bk" >"$out" 2>"$err" &
  pid=$!
  for _ in $(seq 300); do grep -q '^backup 1/' "$err" && break; sleep 0.1; done
  kill -INT "$pid"
  wait "$pid"
  rc=$?
  set -e
  [ "$rc" = 130 ] || fail "exit status $rc after Ctrl-C, expected 130"
  has "$err" "zub: stopped by Ctrl-C"
  has "$err" "EndGBPMode=1"  # the connection was closed
  diff -r "$bk" "$home/backup-before" >/dev/null || fail "the earlier backup was changed"
  ! ls -a "$home" | grep -q 'zub-' || fail "a temporary folder was left behind"
  ;;

output)
  # A result that cannot be written is a failure, and every result line is written as it comes.
  rc=0
  "$bin/zub" --home "$home" list >/dev/full 2>"$err" || rc=$?
  [ "$rc" = 1 ] || fail "zub list > /dev/full exited $rc"
  has "$err" "zub: standard output could not be written"
  expect 0 backup "$bk" --quiet
  rc=0
  "$bin/zub" --home "$home" verify "$bk" --quiet >/dev/full 2>"$err" || rc=$?
  [ "$rc" = 1 ] || fail "zub verify > /dev/full exited $rc"
  # A restore killed in the middle: the lines it printed are in the file.
  for s in 2-2 2-3 2-4 2-5 2-6 2-9; do poke "$phone/$s.bin" X 1; done
  sim Link Baud 19200
  "$bin/zub" --home "$home" restore "$bk" --quiet >"$out" 2>"$err" &
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
  cp "$out" "$home/results.txt"
  script -qec "stty cols 40 rows 20; '$bin/zub' --home '$home' verify '$bk'" /dev/null \
    </dev/null >"$home/tty.txt" || true
  tr -d '\n' <"$home/tty.txt" | tr '\r' '\n' >"$home/drawn.txt"
  grep -q '^verify comparing \[' "$home/drawn.txt" || fail "no bar was drawn"
  awk '(/^verify comparing \[/ || /^ +$/) && length($0) > 39 { bad = 1 } END { exit bad }' \
    "$home/drawn.txt" || fail "the bar is wider than the terminal"
  # What the terminal shows: each line's pieces between carriage returns, laid over each other.
  awk '{ sub(/\r$/, ""); n = split($0, part, "\r"); shown = ""
         for (i = 1; i <= n; ++i) shown = part[i] substr(shown, length(part[i]) + 1)
         sub(/ +$/, "", shown); if (shown != "") print shown }' "$home/tty.txt" >"$home/shown.txt"
  diff -u "$home/results.txt" "$home/shown.txt" || fail "the terminal shows more than the results"
  ;;

hostile)
  # A link planted in the backup folder is never written through, and a folder that holds
  # anything but a backup is refused, as is a backup with nothing to back up.
  expect 0 backup "$bk" --quiet
  echo "precious" >"$home/precious.txt"
  rm "$bk/2-1.bin"
  ln -s "$home/precious.txt" "$bk/2-1.bin"
  ZUB_BENCH=1 expect 1 backup "$bk"
  has "$err" "zub: $bk holds 2-1.bin, a link: a backup goes only into a new or empty folder, or over an earlier backup"
  has "$err" "first device call none"
  [ "$(cat "$home/precious.txt")" = precious ] || fail "the backup wrote through the link"
  expect 1 verify "$bk"
  has "$err" "2-1.bin cannot be read"
  mkdir "$home/notes" && echo mine >"$home/notes/todo.txt"
  expect 1 backup "$home/notes"
  has "$err" "holds files but no manifest.ini of a backup"
  [ "$(ls "$home/notes")" = todo.txt ] || fail "the folder of notes was changed"
  sed -i '/^section[0-9]*=/d' "$home/zubmanager.INI"
  ZUB_BENCH=1 expect 1 backup "$home/none"
  has "$err" "zub: the catalogue lists no section"
  has "$err" "first device call none"
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
