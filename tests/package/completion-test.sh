#!/usr/bin/env bash
# zub's bash completion, as bash runs it: each row is the words on the command line (the last
# one the word under the cursor, "#" for an empty one), "=>" and what the completion offers,
# sorted and joined by "|" (nothing: it offers nothing). Runs in a folder with a sub-folder and two files whose names have blanks.
#   completion-test.sh COMPLETION_FILE WORK_DIR
set -uo pipefail
file="$(realpath "$1")" work="$2"
rm -rf "$work"
mkdir -p "$work/backup dir"
touch "$work/file one.bin" "$work/other.bin"
cd "$work"
# shellcheck source=/dev/null
source "$file"

failed=0 rows=0
while read -r row; do
  [ -z "$row" ] && continue
  line="${row%% =>*}" want="${row#*=>}"
  want="${want# }"
  read -ra words <<<"$line"
  [ "${words[-1]}" = "#" ] && words[-1]=""
  COMP_WORDS=("${words[@]}")
  COMP_CWORD=$((${#words[@]} - 1))
  COMPREPLY=()
  _zub 2>/dev/null
  got="$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort | paste -sd'|')"
  if [ "$got" != "$want" ]; then
    echo "FAIL: '$line' offers '$got', expected '$want'"
    failed=1
  fi
  rows=$((rows + 1))
done <<'EOF_TABLE'
zub # => backup|erase|list|read|restore|verify|write
zub re => read|restore
zub list -- => --help|--home|--json|--log|--port|--quiet|--service-cable|--verbose|--version
zub restore bk -- => --dry-run|--help|--home|--json|--log|--only|--port|--quiet|--service-cable|--verbose|--version|--yes
zub erase 2-1 --y => --yes
zub write 2-1 f.bin --f => --force
zub --log # => backup dir|file one.bin|other.bin
zub --log calls.txt erase # =>
zub --quiet restore bk --d => --dry-run
zub -- => --help|--home|--log|--port|--quiet|--service-cable|--verbose|--version
zub write 2-1 f.bin --no => --no-verify
zub --port # => 1|2|3|4
zub list --port 3 => 3
zub --home # => backup dir
zub --home = # => backup dir
zub --home = ba => backup dir
zub backup # => backup dir
zub --home somewhere verify # => backup dir
zub --home = somewhere -q restore # => backup dir
zub read 2-1 # => backup dir|file one.bin|other.bin
zub write 2-1 oth => other.bin
zub read # =>
zub erase 2-1 # =>
zub list # =>
zub read 2-1 out.bin # =>
zub restore bk --only # =>
zub backup bk # =>
EOF_TABLE
[ "$failed" = 0 ] && echo "completion: all $rows rows as expected"
exit "$failed"
