#!/usr/bin/env bash
# The monitor idle between ticks with 1,000 entries loaded: CPU used per
# minute and resident memory. Usage: idle_footprint.sh [seconds] [--headless]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
mode=${2:-}
bin=build/bench/bin/tarnwatch
[ -x "$bin" ] || scripts/build bench tarnwatch >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 - "$dir/Tarnwatch.ini" <<'PY'
import struct, sys
rec = bytearray(1912)
struct.pack_into('<i', rec, 0, 0); rec[4:6] = b'80'; rec[260:262] = b'10'
rec[280:289] = b'127.0.0.1'; struct.pack_into('<i', rec, 536, 1)
struct.pack_into('<i', rec, 796, 7); struct.pack_into('<i', rec, 1880, 1)
struct.pack_into('<i', rec, 1888, 1); struct.pack_into('<i', rec, 1892, 1)
struct.pack_into('<i', rec, 1904, 3)
with open(sys.argv[1], 'wb') as f:
    f.write(struct.pack('<fi', -2.2, 1000) + bytes(rec) * 1000 + b'\0' * 4)
PY
args=()
[ "$mode" = "--headless" ] && args=(--headless)
TARNWATCH_HOME=$dir XDG_CONFIG_HOME=$dir/config QT_QPA_PLATFORM=offscreen "$bin" "${args[@]}" >/dev/null 2>&1 &
pid=$!
sleep 5  # start-up done
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
kill -TERM "$pid"
wait "$pid" || true
cpu_ms=$(( (after - before) * 1000 / hz ))
echo "idle ${seconds}s: CPU ${cpu_ms} ms ($(awk -v c="$cpu_ms" -v s="$seconds" 'BEGIN {printf "%.3f", c / (s * 10)}')% of one core), resident ${rss} kB"
