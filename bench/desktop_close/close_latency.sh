#!/usr/bin/env bash
# How long the monitor takes to end after SIGTERM while a sheet or the About
# box is open, on a virtual X display with a StatusNotifier host on a private
# session bus. Usage: bench/desktop_close/close_latency.sh [BUILD_DIR] [TRIALS]
# Prints one line per trial and the median, in milliseconds.
set -euo pipefail
build=${1:-build/normal}
trials=${2:-10}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb -displayfd 4 -screen 0 1024x768x24 -nolisten tcp -noreset 4>"$work/display" >/dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -c 8 "$work/display" | tr -dc 0-9)"
dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" >/dev/null 2>&1 &
for _ in $(seq 100); do [ -S "$work/bus" ] && break; sleep 0.05; done
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus" QT_QPA_PLATFORM=xcb
mkfifo "$work/watcher.in"
"$build/tests/desktop/sni_watcher" <"$work/watcher.in" >"$work/watcher.out" 2>/dev/null &
exec 5>"$work/watcher.in"
times=()
for t in $(seq "$trials"); do
  home="$work/home$t"
  mkdir -p "$home/config/Quillon"
  printf '[Options]\nMinimize=0\n' >"$home/config/Quillon/Tarnwatch.conf"
  TARNWATCH_HOME="$home" XDG_CONFIG_HOME="$home/config" "$build/bin/tarnwatch" 2>/dev/null &
  pid=$!
  until xdotool search --onlyvisible --name '^Tarnwatch$' >/dev/null 2>&1; do sleep 0.05; done
  if (( t % 2 )); then what=About; key=alt+b; title='About Tarnwatch'
  else what=Add; key=alt+a; title='Add/Edit'; fi
  xdotool search --onlyvisible --name '^Tarnwatch$' windowfocus --sync key "$key"
  until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do sleep 0.05; done
  start=$(date +%s%N)
  kill -TERM "$pid"
  wait "$pid" || true
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "trial $t ($what open): ${ms} ms"
  times+=("$ms")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print "median: " a[int((NR+1)/2)] " ms, max: " a[NR] " ms"}'
