#!/usr/bin/env bash
# The window under a real window manager: starts its own X server (Xvfb) and openbox, then
#  1. runs the front end's WindowManager tests on that display (captions as the window manager
#     sees them, the firmware box in the conversion prompt, the Options dialog and the window's
#     place, and the user's keys and closes through the X server: xdotool, wmctrl);
#  2. starts and closes the real program five times in a home folder of its own (settings,
#     catalogue, simulated telephone) and checks that the stored Left/Top/Width/Height stay as
#     they were and are the window's outer bounds, and that its title is "ZUB Manager 3".
# With ZUB_SHOTS=DIR it leaves screenshots in DIR (import -window root).
#   window-manager-test.sh BIN_DIR DATA_DIR WORK_DIR
# Exit 77 (skipped) when a tool it needs is missing.
set -euo pipefail
bin="$1" data="$2" work="$3"
shots="${ZUB_SHOTS:-}"
# Under AddressSanitizer: the X keyboard library's keymap loading (libxkbcommon-x11, reached
# from Qt's xcb start-up) trips the strndup interceptor on a reply buffer that is not ours;
# every other check stays on.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_strndup=0"

for tool in Xvfb openbox wmctrl xprop xwininfo xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/deps.sh installs it)"
    exit 77
  fi
done
if [ -n "$shots" ] && ! command -v import >/dev/null; then
  echo "SKIPPED: import (imagemagick) is not installed, no screenshots"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/home"
[ -n "$shots" ] && mkdir -p "$shots"

pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it to fd 3. It must not reset when
# its last client goes (the checks below come and go before openbox connects).
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
  2>"$work/xvfb.log" &
xvfb=$!
pids+=($xvfb)
# A loaded machine gets up to a minute for each of the two to come up. The display is up when
# it answers a client, which may be a moment after Xvfb has named it.
for _ in $(seq 600); do
  grep -q . "$work/display" 2>/dev/null && xprop -display ":$(head -n1 "$work/display")" -root \
    >/dev/null 2>&1 && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb
xprop -root >/dev/null 2>&1 || { echo "FAILED: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
pids+=($wm)
for _ in $(seq 600); do
  wmctrl -m >/dev/null 2>&1 && break
  kill -0 "$wm" 2>/dev/null || break
  sleep 0.1
done
wmctrl -m >/dev/null 2>&1 || {
  echo "FAILED: openbox did not start on $DISPLAY"; cat "$work/openbox.log" "$work/xvfb.log"; exit 1; }
echo "display $DISPLAY with $(wmctrl -m | head -n1)"

# 1. The front end's tests on this display.
ZUB_SHOTS="$shots" QT_QPA_PLATFORM=xcb "$bin/gui_tests" --gtest_filter='WindowManager*'

# 2. Five starts of the real program.
home="$work/home"
cp "$bin/zubmanager" "$bin/gbp.dll" "$bin/cte_gbp.dll" "$home/"
cp "$data/zubmanager.INI" "$data/SECTIONS.INI" "$home/"
"$bin/zub-demo-phone" "$home" >/dev/null
stored() { grep -A4 -i '^\[Form\]' "$home/zubmanager.INI" | grep -iE '^(Top|Left|Width|Height) *=' |
  tr -d ' \r' | sort | tr '\n' ' '; }
value() { stored | tr ' ' '\n' | grep -i "^$1=" | cut -d= -f2; }
before="$(stored)"
echo "stored before: $before"

failed=0
for cycle in 1 2 3 4 5; do
  (cd "$home" && exec ./zubmanager) >"$work/run$cycle.log" 2>&1 &
  app=$!
  id=""
  for _ in $(seq 300); do
    id="$(wmctrl -l | awk '$0 ~ /ZUB Manager 3$/ {print $1; exit}')"
    [ -n "$id" ] && xprop -id "$id" _NET_FRAME_EXTENTS | grep -q '=' && break
    sleep 0.1
  done
  if [ -z "$id" ]; then
    echo "FAILED: cycle $cycle: no window"; cat "$work/run$cycle.log"; kill "$app"; exit 1
  fi
  # The window may first show as if it had no frame and take its place once the frame is
  # known. It has settled there when two readings in a row give the stored bounds; a loaded
  # machine gets up to half a minute for that.
  expected="Left=$(value Left) Top=$(value Top) Width=$(value Width) Height=$(value Height)"
  previous=""
  for _ in $(seq 300); do
    read -r fl fr ft fb < <(xprop -id "$id" _NET_FRAME_EXTENTS | sed -e 's/.*= *//' -e 's/,//g')
    geometry="$(xwininfo -id "$id")"
    x="$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")"
    y="$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")"
    w="$(awk '/^ *Width:/ {print $2}' <<<"$geometry")"
    h="$(awk '/^ *Height:/ {print $2}' <<<"$geometry")"
    outer="Left=$((x - fl)) Top=$((y - ft)) Width=$((w + fl + fr)) Height=$((h + ft + fb))"
    [ "$outer" = "$expected" ] && [ "$outer" = "$previous" ] && break
    previous="$outer"
    sleep 0.1
  done
  title="$(xprop -id "$id" _NET_WM_NAME | sed -e 's/^[^"]*"//' -e 's/"$//')"
  echo "cycle $cycle: title \"$title\", outer bounds $outer"
  [ "$title" = "ZUB Manager 3" ] || { echo "FAILED: title \"$title\""; failed=1; }
  for k in Left Top Width Height; do
    shown="$(tr ' ' '\n' <<<"$outer" | grep "^$k=" | cut -d= -f2)"
    [ "$shown" = "$(value "$k")" ] || {
      echo "FAILED: cycle $cycle: $k on screen $shown, stored $(value "$k")"; failed=1; }
  done
  if [ "$cycle" = 5 ] && [ -n "$shots" ]; then import -window root "$shots/main-after-5-starts.png"; fi
  wmctrl -i -c "$id"
  for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app" 2>/dev/null; then echo "FAILED: cycle $cycle: the window did not close"; kill "$app"; exit 1; fi
  wait "$app" || true
  after="$(stored)"
  echo "stored after cycle $cycle: $after"
  [ "$after" = "$before" ] || { echo "FAILED: the stored bounds changed"; failed=1; }
done
exit "$failed"
