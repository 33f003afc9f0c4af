#!/usr/bin/env bash
# The bad day: 200 ping entries, 20 of them at a host that drops every echo
# request (in a network namespace this script makes; needs root), time-out
# 2 s. Times a whole `tarnwatch --headless --once --parallel N` run and
# `fping -i 0 -t 2000 -r 0` over the same 200 addresses, side by side.
# Usage: bad_day.sh [N...]   (default: 64; 1 takes about 40 s)
set -euo pipefail
cd "$(dirname "$0")/../.."
widths=("${@:-64}")
bin=build/bench/bin/tarnwatch
[ -x "$bin" ] || scripts/build bench tarnwatch >/dev/null
command -v fping >/dev/null || { echo "fping is missing (scripts/install-deps)" >&2; exit 1; }
ns=tw-badday-$$
dir=$(mktemp -d)
cleanup() {
  ip link del tw-bd-out 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
ip netns add "$ns"
ip link add tw-bd-out type veth peer name tw-bd-in netns "$ns"
ip addr add 10.213.250.1/24 dev tw-bd-out
ip link set tw-bd-out up
ip netns exec "$ns" ip addr add 10.213.250.2/24 dev tw-bd-in
ip netns exec "$ns" ip link set tw-bd-in up
ip netns exec "$ns" sysctl -qw net.ipv4.icmp_echo_ignore_all=1
silent=10.213.250.2

addresses=()
for i in $(seq 1 180); do addresses+=("127.0.0.$((i % 250 + 1))"); done
for i in $(seq 1 20); do addresses+=("$silent"); done
python3 - "$dir/Tarnwatch.ini" "${addresses[@]}" <<'PY'
import struct, sys
path, addresses = sys.argv[1], sys.argv[2:]
out = bytearray(struct.pack('<fi', -2.2, len(addresses)))
for a in addresses:
    rec = bytearray(1912)
    struct.pack_into('<i', rec, 0, 3)
    rec[260:261] = b'2'
    rec[280:280 + len(a)] = a.encode()
    rec[540:540 + len(a)] = a.encode()
    for off, v in ((536, 1), (796, 17), (1880, 1), (1888, 1), (1892, 1), (1904, 3)):
        struct.pack_into('<i', rec, off, v)
    out += rec
open(path, 'wb').write(bytes(out) + b'\0' * 4)
PY
cp "$dir/Tarnwatch.ini" "$dir/list.orig"

now() { date +%s.%N; }
for n in "${widths[@]}"; do
  cp "$dir/list.orig" "$dir/Tarnwatch.ini"
  start=$(now)
  TARNWATCH_HOME=$dir XDG_CONFIG_HOME=$dir/config QT_QPA_PLATFORM=offscreen \
    "$bin" --headless --once --parallel "$n" >"$dir/out" 2>&1 || true
  end=$(now)
  echo "tarnwatch --parallel $n: $(echo "$end - $start" | bc) s  ($(head -1 "$dir/out" | cut -c1-60))"
done
start=$(now)
fping -i 0 -t 2000 -r 0 "${addresses[@]}" >/dev/null 2>&1 || true
end=$(now)
echo "fping -i 0 -t 2000 -r 0: $(echo "$end - $start" | bc) s"
