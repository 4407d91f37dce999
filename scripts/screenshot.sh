#!/usr/bin/env bash
# Takes docs/window.png: the server window running on a virtual X server (Xvfb) with a window
# manager (openbox) and a tray host (trayer), so the title bar and the tray icon show too.
# On the way it checks the tray behaviour on a real X server:
#   - without a tray host, minimising leaves an ordinary minimised (iconic) window;
#   - a tray host started later embeds the icon; minimising then hides the window completely,
#     and a left click on the icon brings it back.
#
#   scripts/screenshot.sh [--program PATH [ARGS...]]
#
# Without --program it builds and runs the window demo (sample log lines, no broker needed).
# Everything it starts is stopped again when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."

KESTOVA_EXTRA_PACKAGES="xvfb openbox trayer x11-apps x11-utils imagemagick xdotool ${KESTOVA_EXTRA_PACKAGES:-}" \
  bash scripts/install-deps.sh

program=()
if [ "${1:-}" = --program ]; then
  shift
  [ $# -ge 1 ] || { echo "screenshot: --program needs a path" >&2; exit 2; }
  program=("$@")
else
  build=build/release
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target kestova-gui-demo >/dev/null
  program=("$build/app/gui/kestova-gui-demo")
fi

title="Kestova LED display Server"
out=docs/window.png
work=$(mktemp -d)
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 10 s for a shell condition.
wait_for() {
  local i
  for ((i = 0; i < 100; i++)); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  echo "screenshot: timed out waiting for: $2" >&2
  return 1
}

Xvfb -displayfd 3 -noreset -screen 0 440x616x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for '[ -s "$work/display" ]' "the X server"
export DISPLAY=":$(head -n1 "$work/display")"
# No desktop session here: the tray icon must go through the X11 tray protocol.
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

# Openbox keeps a maximise button on every resizable window whatever its Motif hints say; the
# window asks for none (checked below), so draw the title bar it asks for: icon, title,
# minimise, close.
sed 's|<titleLayout>[A-Z]*</titleLayout>|<titleLayout>NLIC</titleLayout>|' /etc/xdg/openbox/rc.xml >"$work/rc.xml"
openbox --sm-disable --config-file "$work/rc.xml" >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' "the window manager"

"${program[@]}" >"$work/program.log" 2>&1 &
pids+=($!)
wait_for 'xdotool search --name "^$title\$" >/dev/null 2>&1' "the server window"
window=$(xdotool search --name "^$title\$" | head -n1)

wm_state() { xprop -id "$window" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }
failures=0
check() {
  if wait_for "$1" "$2" 2>/dev/null; then echo "tray check: $2: ok"; else echo "tray check: $2: FAILED"; failures=$((failures + 1)); fi
}

# The title bar the window asks for: _MOTIF_WM_HINTS functions with minimise (0x08) and close
# (0x20) but no maximise (0x10).
wait_for '[ "$(wm_state)" = Normal ]' "the window shown"
functions=$(xprop -id "$window" _MOTIF_WM_HINTS | sed -n 's/.*= 0x[0-9a-f]*, \(0x[0-9a-f]*\),.*/\1/p')
check '[ -n "$functions" ] && (( (functions & 0x28) == 0x28 && (functions & 0x10) == 0 ))' \
  "title bar with minimise and close, no maximise"

# No tray host yet: minimising is an ordinary minimise.
xdotool windowminimize "$window"
check '[ "$(wm_state)" = Iconic ]' "without a tray, minimising leaves a minimised window"
xdotool windowactivate "$window" 2>/dev/null || xdotool windowmap "$window"
check '[ "$(wm_state)" = Normal ]' "the minimised window restored"

# The tray host arrives late and still gets the icon.
trayer --edge top --align right --widthtype request --height 20 --SetDockType true --SetPartialStrut false \
  --transparent false --tint 0x303030 >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 'xdotool search --onlyvisible --class trayer >/dev/null 2>&1' "the tray host"
tray=$(xdotool search --onlyvisible --class trayer | head -n1)
tray_width() { xwininfo -id "$tray" | sed -n 's/.*Width: //p'; }
check '[ "$(tray_width)" -ge 16 ]' "the icon embedded by a tray host started later"

# Let the log fill in and the tray settle, then take the picture.
sleep 1.5
mkdir -p docs
import -window root "$out"
echo "screenshot: wrote $out ($(identify -format '%wx%h' "$out"))"

# Clicks the icon; the pause keeps two clicks from making a double click.
click_tray() {
  local X Y WIDTH HEIGHT SCREEN WINDOW x y
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  x=$((X + WIDTH - 10)) y=$((Y + HEIGHT / 2))
  xdotool mousemove "$x" "$y" click 1
}
xdotool windowminimize "$window"
check '[ "$(xwininfo -id "$window" | grep -c IsUnMapped)" = 1 ] && [ "$(wm_state)" != Iconic ]' \
  "with a tray, minimising hides the window"
click_tray
check '[ "$(wm_state)" = Normal ] && xwininfo -id "$window" | grep -q IsViewable' "a left click on the icon shows it"
click_tray
check '[ "$(xwininfo -id "$window" | grep -c IsUnMapped)" = 1 ]' "another left click hides it"
click_tray
check 'xwininfo -id "$window" | grep -q IsViewable' "and the next shows it again"

if [ "$failures" -ne 0 ]; then
  echo "screenshot: $failures tray check(s) failed; program output:" >&2
  cat "$work/program.log" >&2
  exit 1
fi
