#!/usr/bin/env bash
# The gateway's cost against the shortest Python program that does its work
# (bench/peer.py): each watches the same 32 simulated modules at 9600 baud for
# SECONDS and publishes their readings to a Mosquitto on 127.0.0.1, one after
# the other. For each: CPU (% of one core over its whole run, start-up
# included), peak RSS, and the readings a subscriber saw in that time.
#   bench/gateway.sh BUILD_DIR [SECONDS]      (scripts/bench.sh runs it)
# BUILD_DIR holds hygrovane-modsim, and hygrovane-gateway unless only the peer
# is to be measured.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-60}
python=/usr/bin/python3 # Debian's, which has the packages: not a python3 of another's earlier on PATH

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# ---- the line and the broker --------------------------------------------------
"$build/hygrovane-modsim" --address "$(seq -s, 1 32)" --baud 9600 >"$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q ' on /dev/' "$work/sim.out" && break; sleep 0.1; done
port=$(sed -n 's:.* on \(/dev/[^ ]*\)$:\1:p' "$work/sim.out")
[ -n "$port" ] || { cat "$work/sim.out" >&2; echo "gateway bench: the simulated line did not start" >&2; exit 1; }

mqtt_port=$($python -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$mqtt_port" >"$work/mosquitto.conf"
mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$mqtt_port") 2>/dev/null && break; sleep 0.1; done
mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" -q 1 -v -t 'peer/+/state' -t 'gateway/+/state' >"$work/seen" &
pids+=($!)

# ---- one run: started, left SECONDS, measured, stopped ----------------------------
hz=$(getconf CLK_TCK)
measure() { # name prefix command...
  local name=$1 prefix=$2 pid stat ticks start uptime hwm seen
  shift 2
  "$@" >"$work/$name.out" 2>&1 &
  pid=$!
  pids+=("$pid")
  sleep "$seconds"
  if ! [ -r "/proc/$pid/stat" ]; then
    cat "$work/$name.out" >&2
    echo "gateway bench: $name ended before its time" >&2
    return 1
  fi
  # utime and stime (fields 14, 15) and the start (22), in clock ticks; the
  # name in field 2 holds no blank here.
  stat=$(cat "/proc/$pid/stat")
  read -r -a f <<<"$stat"
  ticks=$((f[13] + f[14]))
  start=${f[21]}
  uptime=$(cut -d' ' -f1 /proc/uptime)
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
  seen=$(grep -c "^$prefix/" "$work/seen" || true)
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null || true
  awk -v name="$name" -v t="$ticks" -v s="$start" -v up="$uptime" -v hz="$hz" -v hwm="$hwm" -v seen="$seen" 'BEGIN {
    wall = up - s / hz
    printf "gateway bench: %-8s %5.1f%% CPU, %6.1f MB peak RSS, %d readings in %.0f s\n", name, 100 * t / hz / wall, hwm / 1024, seen, wall
  }'
}

echo "gateway bench: 32 modules at 9600 baud on $port, each run ${seconds} s, broker 127.0.0.1:$mqtt_port"
measure peer peer $python "$root/bench/peer.py" "$port" 9600 1-32 "127.0.0.1:$mqtt_port" peer $((seconds + 60))
if [ -x "$build/hygrovane-gateway" ]; then
  measure gateway gateway "$build/hygrovane-gateway" --port "$port" --baud 9600 --addresses 1-32 \
    --broker "mqtt://127.0.0.1:$mqtt_port" --prefix gateway --no-discovery
else
  echo "gateway bench: $build/hygrovane-gateway is not built: the peer alone"
fi
