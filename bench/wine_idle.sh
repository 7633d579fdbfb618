#!/usr/bin/env bash
# Idle wake-ups and CPU of velmora.exe under Wine with its popup parked: the
# figures bench_popup and bench_shell take on Linux. In a private prefix on
# its own Xvfb with trayer as the tray host, against the demo service built
# for this machine, with the default Reread (60 minutes): the group login,
# a second start with --news for the first channel cycle (news slides the
# popup in), a click on the logo tab that parks it, then `settle` seconds
# and the count over `idle` seconds, while no poll cycle runs. Wake-ups are
# context switches (voluntary and not) of every thread, per second: of the
# velmora.exe process, of the other Wine processes of the prefix (explorer,
# services) and of wineserver, each apart.
# Usage: bench/wine_idle.sh VELMORA.EXE DEMO_SERVICE [settle=20] [idle=60]
set -euo pipefail

exe=$(realpath "${1:?usage: wine_idle.sh VELMORA.EXE DEMO_SERVICE [settle] [idle]}")
service=$(realpath "${2:?usage: wine_idle.sh VELMORA.EXE DEMO_SERVICE [settle] [idle]}")
settle=${3:-20}
idle=${4:-60}
wine=/usr/lib/wine/wine64
for tool in Xvfb trayer xwininfo xdotool "$wine"; do
  command -v "$tool" >/dev/null || { echo "wine_idle: $tool missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wineidle-XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid="" tray_pid="" service_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  for pid in "$tray_pid" "$service_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "wine_idle: $*" >&2
  [ -s "$work/velmora.log" ] && sed 's/^/  velmora: /' "$work/velmora.log" >&2
  exit 1
}
wait_for() {
  local tries=$1; shift
  for _ in $(seq "$tries"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
wait_for 100 test -s "$work/display" || fail "the X server did not start"
export DISPLAY=":$(head -1 "$work/display")"
trayer --edge top --align right --widthtype request --height 32 --transparent false \
  >/dev/null 2>&1 &
tray_pid=$!
"$service" --port 0 --group G001:grouppass --items 6 >"$work/service.log" 2>&1 &
service_pid=$!
wait_for 100 grep -q 'account:' "$work/service.log" || fail "the demo service did not start"

"$wine" wineboot -i >/dev/null 2>&1 || true
key='SOFTWARE\VELMORA\Client\1.0'
reg() { "$wine" reg add "$1\\$key" /v "$2" /d "$3" /f >/dev/null 2>&1; }
reg HKLM server1 "$(awk '/channel:/ { print $2 }' "$work/service.log")"
reg HKLM server3 "$(awk '/account:/ { print $2 }' "$work/service.log")"
reg HKLM Company 0
reg HKLM Channel 1
reg HKCU GroupID G001
reg HKCU GroupPWD grouppass

"$wine" "$exe" >"$work/velmora.log" 2>&1 &
app_pid=$!
logged_in() { "$wine" reg query "HKCU\\$key" /v ClientID; }
wait_for 600 logged_in || fail "no ClientID stored after a minute"
"$wine" "$exe" --news || fail "--news did not hand over"

# The popup's place on the screen: "x y" of its top-left corner.
popup_at() {
  xwininfo -name Velmora 2>/dev/null |
    awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x, y }'
}
open_x=$((1280 - 560))
parked_x=$((1280 - 80))
at_x() { [ "$(popup_at | cut -d' ' -f1)" = "$1" ]; }
wait_for 600 at_x "$open_x" || fail "news did not slide the popup in (at $(popup_at))"
read -r x y < <(popup_at)
xdotool mousemove $((x + 40)) $((y + 20)) click 1
wait_for 100 at_x "$parked_x" || fail "the logo tab did not park the popup (at $(popup_at))"
xdotool mousemove 10 700

# "tid count process" for every thread of the given processes.
switches() {
  local pid task name
  for pid in "$@"; do
    name=$(cat /proc/"$pid"/comm 2>/dev/null) || continue
    for task in /proc/"$pid"/task/*; do
      awk -v t="${task##*/}" -v p="$name" '
        /^(non)?voluntary_ctxt_switches:/ { n += $2 } END { print t, n, p }' \
        "$task/status" 2>/dev/null || true
    done
  done
}
# CPU ticks (user + system) of the given processes.
ticks() {
  local pid
  for pid in "$@"; do
    sed 's/.*) //' /proc/"$pid"/stat 2>/dev/null | awk '{ print $12 + $13 }' || true
  done | awk '{ n += $1 } END { print n + 0 }'
}
# The processes of this prefix's Wine session (other sessions may run beside
# it): velmora.exe, wineserver, or (with "others") the rest. The server works
# in a folder named after the prefix's device and inode.
server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
in_prefix() {
  tr '\0' '\n' <"/proc/$1/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"
}
session() {
  local pid name
  for pid in $(pgrep -u "$(id -u)" -f '\.exe|wineserver'); do
    name=$(cat /proc/"$pid"/comm 2>/dev/null) || continue
    case $name in
      wineserver*)
        [ "$1" = wineserver ] && { in_prefix "$pid" ||
          [ "$(basename "$(readlink /proc/"$pid"/cwd)")" = "$server_dir" ]; } && printf '%s ' "$pid"
        continue ;;
    esac
    in_prefix "$pid" || continue
    case $1 in
      others) [ "$name" = velmora.exe ] || printf '%s ' "$pid" ;;
      *) [ "$name" = "$1" ] && printf '%s ' "$pid" ;;
    esac
  done
}

sleep "$settle"
app=$(session velmora.exe)
server=$(session wineserver)
rest=$(session others)
[ -n "$app" ] || fail "velmora.exe is not running"
for group in app server rest; do
  switches ${!group} >"$work/$group.before"
  ticks ${!group} >"$work/$group.ticks"
done
sleep "$idle"
at_x "$parked_x" || fail "the popup left its parked place during the count"
hz=$(getconf CLK_TCK)
for group in app server rest; do
  switches ${!group} >"$work/$group.after"
  woke=$(awk 'NR == FNR { before[$1] = $2; next } { n += $2 - before[$1] } END { print n + 0 }' \
    "$work/$group.before" "$work/$group.after")
  # Where the other processes' wake-ups come from.
  [ "$group" = rest ] && by=$(awk -v s="$idle" 'NR == FNR { before[$1] = $2; next }
    { n[$3] += $2 - before[$1] } END {
      for (p in n) if (n[p] > 0) printf "%s%s %.2f", (k++ ? ", " : ""), p, n[p] / s }' \
    "$work/$group.before" "$work/$group.after")
  cpu=$(($(ticks ${!group}) - $(cat "$work/$group.ticks")))
  case $group in
    app) name="velmora.exe" ;;
    server) name="wineserver" ;;
    rest) name="other Wine processes" ;;
  esac
  awk -v n="$name" -v w="$woke" -v c="$cpu" -v s="$idle" -v hz="$hz" 'BEGIN {
    printf "wine_idle: %-22s %6.2f wake-ups/s  %5.2f %% CPU\n", n, w / s, 100 * c / hz / s }'
done
[ -n "${by:-}" ] && echo "wine_idle:   of which $by"
echo "wine_idle: parked popup, default Reread, after ${settle} s, over ${idle} s"
"$wine" "$exe" --quit || fail "--quit failed"
wait "$app_pid" || fail "velmora.exe ended with status $?"
app_pid=""
