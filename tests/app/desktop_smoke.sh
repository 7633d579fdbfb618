#!/usr/bin/env bash
# Desktop smoke test: the real program under a virtual X server with trayer as
# tray host, against the demo service. Clicks the tray icon with xdotool and
# checks what happens: the icon docks, a left click fetches, with the About box
# open the popup's logo tab and the tray icon still answer, a standing error
# opens the error dialog, the icon comes back when the tray host restarts, and
# the tray menu's last entry quits with the store saved.
# Usage: desktop_smoke.sh PATH_TO_VELMORA   (exit 77: tools missing, skipped)
set -euo pipefail

exe=${1:?usage: desktop_smoke.sh PATH_TO_VELMORA}
for tool in Xvfb trayer xdotool xwininfo curl; do
  command -v "$tool" >/dev/null || { echo "smoke: $tool missing, skipped"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-smoke-XXXXXX")
log=$work/velmora.log
tray_pid=""
app_pid=""
xvfb_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then
    # A quit removes the demo's throw-away profile; a kill would leave it.
    kill -TERM "$app_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$app_pid" 2>/dev/null || true
  fi
  [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "smoke: FAIL: $*" >&2
  echo "--- program output ---" >&2
  grep -v "^ " "$log" >&2 || true
  exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tries=$1; shift
  for _ in $(seq "$tries"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

# A private X server on the first free display: it names the display once it
# accepts connections, so nothing races for a fixed number.
start_x() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_for 100 test -s "$work/display" || fail "the X server did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -1 "$work/display")"
}

start_tray() {
  trayer --edge top --align right --widthtype request --height 32 --transparent false &
  tray_pid=$!
  wait_for 50 panel_id
}

panel_id() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}' | grep .; }

# The program's icon window docked in the tray panel.
icon_id() {
  local panel
  panel=$(panel_id) || return 1
  xwininfo -tree -id "$panel" | awk '/\("velmora" "velmora"\)/ {print $1; exit}' | grep .
}

cycles() { grep -c 'cycle:' "$log" || true; }
# The icon keeps its window: a tray that announces itself after the program
# started makes the program dock the icon again, in a new window.
icon_settled() { local a; a=$(icon_id) && sleep 0.5 && [ "$a" = "$(icon_id)" ]; }

popup_id() { xdotool search --onlyvisible --name '^Velmora$' | head -1 | grep .; }
popup_x() { xdotool getwindowgeometry --shell "$(popup_id)" | sed -n 's/^X=//p'; }
# The popup has come to rest: the same place twice, a few ticks apart.
popup_still() { local a; a=$(popup_x) && sleep 0.3 && [ "$a" = "$(popup_x)" ]; }
about_open() { xdotool search --onlyvisible --name 'ﾊﾞｰｼﾞｮﾝ情報'; }

# A press on the icon with button $1, apart from the last one so that it is no
# double click.
click() {
  sleep 0.7
  xdotool mousemove --window "$(icon_id)" 8 8 click "$1"
}

start_x
start_tray
export QTWEBENGINE_DISABLE_SANDBOX=1
unset QT_QPA_PLATFORM
# Under AddressSanitizer: the GL driver is unloaded before the leak check, so
# its allocations cannot be told from ours; the program does without GL here.
if ldd "$exe" | grep -q libasan; then export QT_XCB_GL_INTEGRATION=none; fi
"$exe" --demo >"$log" 2>&1 &
app_pid=$!

wait_for 300 grep -q 'cycle: news' "$log" || fail "no news from the first cycle"
wait_for 100 icon_id || fail "the tray icon did not dock into the tray"
base=$(sed -n 's/^velmora demo: delivery service at \(http[^ ]*\)$/\1/p' "$log")
[ -n "$base" ] || fail "the demo did not tell the service address"
echo "smoke: icon docked, service at $base"

# Left click: a new cycle. A click that lands while the icon docks again is
# lost, so it is tried again.
wait_for 50 icon_settled || fail "the tray icon kept changing its window"
before=$(cycles)
for _ in 1 2 3; do
  click 1
  wait_for 50 test "$(cycles)" -gt "$before" && break
done
test "$(cycles)" -gt "$before" || fail "a left click ran no cycle"
echo "smoke: left click fetched"

# The About box (the menu's third entry) is modal to the hidden sheet only.
wait_for 100 popup_still || fail "the popup did not come to rest"
click 3
sleep 0.5
xdotool key Down Down Down Return
wait_for 50 about_open || fail "the About box did not open"
before=$(popup_x)
xdotool mousemove --window "$(popup_id)" 30 25 click 1
wait_for 50 test "$(popup_x)" != "$before" || fail "the logo tab did nothing with the About box open"
before=$(cycles)
click 1
wait_for 100 test "$(cycles)" -gt "$before" || fail "a tray click did nothing with the About box open"
about_open >/dev/null || fail "the About box went away"
echo "smoke: with the About box open the popup slid and a tray click fetched"

# A failing service: the next click's cycle fails, the one after shows the error.
curl -fsS "$base/control?fault=404&count=0" >/dev/null || fail "cannot reach the demo control"
before=$(cycles)
click 1
wait_for 100 grep -q 'cycle: failed' "$log" || fail "the failing fetch was not reported"
click 1
wait_for 100 xdotool search --onlyvisible --name 'エラー情報' || fail "no error dialog after a failure"
echo "smoke: error dialog shown"
curl -fsS "$base/control?fault=none" >/dev/null

# The tray host restarts: the icon comes back.
kill "$tray_pid"; wait "$tray_pid" 2>/dev/null || true
sleep 0.5
start_tray
wait_for 100 icon_id || fail "the icon did not come back to the restarted tray"
wait_for 50 icon_settled || fail "the tray icon kept changing its window"
echo "smoke: icon back after the tray restarted"

# Right click, the last menu entry (終了): the program ends with its store saved.
click 3
sleep 0.5
xdotool key Up Return
wait_for 150 grep -q 'quit, item store saved' "$log" || fail "the menu's quit did not save the store"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "the program did not end after quitting"; fi
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "exit status $status"
echo "smoke: quit from the tray menu, store saved"
echo "smoke: passed"
