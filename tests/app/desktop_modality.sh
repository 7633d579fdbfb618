#!/usr/bin/env bash
# The About box is modal to the hidden tool sheet only: with it open, the real
# program under a virtual X server (trayer as tray host, the demo service)
# still slides its popup on a click of the logo tab and answers a tray click.
# Usage: desktop_modality.sh PATH_TO_VELMORA   (exit 77: tools missing, skipped)
set -euo pipefail

exe=${1:?usage: desktop_modality.sh PATH_TO_VELMORA}
for tool in xvfb-run trayer xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "modality: $tool missing, skipped"; exit 77; }
done

if [ -z "${MODALITY_INSIDE:-}" ]; then
  export MODALITY_INSIDE=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-modality-XXXXXX")
log=$work/velmora.log
tray_pid=""
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then
    kill -TERM "$app_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$app_pid" 2>/dev/null || true
  fi
  [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "modality: FAIL: $*" >&2
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

panel_id() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}' | grep .; }
icon_id() {
  local panel
  panel=$(panel_id) || return 1
  xwininfo -tree -id "$panel" | awk '/\("velmora" "velmora"\)/ {print $1; exit}' | grep .
}
popup_id() { xdotool search --onlyvisible --name '^Velmora$' | head -1 | grep .; }
popup_x() { xdotool getwindowgeometry --shell "$(popup_id)" | sed -n 's/^X=//p'; }
cycles() { grep -c 'cycle:' "$log" || true; }
about_open() { xdotool search --onlyvisible --name 'ﾊﾞｰｼﾞｮﾝ情報'; }
# The popup has come to rest: the same place twice, a few ticks apart.
popup_still() {
  local a b
  a=$(popup_x) && sleep 0.3 && b=$(popup_x) && [ "$a" = "$b" ]
}

# trayer sometimes does not come up on a busy machine: a second try.
for _ in 1 2; do
  trayer --edge top --align right --widthtype request --height 32 --transparent false &
  tray_pid=$!
  wait_for 150 panel_id && break
  kill "$tray_pid" 2>/dev/null || true
  tray_pid=""
done
[ -n "$tray_pid" ] || fail "trayer did not start"

export QTWEBENGINE_DISABLE_SANDBOX=1
unset QT_QPA_PLATFORM
if ldd "$exe" | grep -q libasan; then export QT_XCB_GL_INTEGRATION=none; fi
"$exe" --demo >"$log" 2>&1 &
app_pid=$!

wait_for 300 grep -q 'cycle: news' "$log" || fail "no news from the first cycle"
wait_for 100 icon_id || fail "the tray icon did not dock into the tray"
wait_for 100 popup_id || fail "no popup window"
wait_for 100 popup_still || fail "the popup did not come to rest"

# The tray menu's third entry: バージョン情報.
sleep 0.7
xdotool mousemove --window "$(icon_id)" 8 8 click 3
sleep 0.5
xdotool key Down Down Down Return
wait_for 50 about_open || fail "the About box did not open"
echo "modality: About box open"

# The logo tab slides the popup.
before=$(popup_x)
xdotool mousemove --window "$(popup_id)" 30 25 click 1
wait_for 50 test "$(popup_x)" != "$before" || fail "the popup did not slide with the About box open"
echo "modality: the popup slid from x=$before"

# A left click on the tray icon runs a cycle.
before=$(cycles)
sleep 0.7
xdotool mousemove --window "$(icon_id)" 8 8 click 1
wait_for 100 test "$(cycles)" -gt "$before" || fail "a tray click did nothing with the About box open"
about_open >/dev/null || fail "the About box went away"
echo "modality: tray click handled, About box still open"
echo "modality: passed"
