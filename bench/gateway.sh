#!/usr/bin/env bash
# The gateway's cost and its line's timing against the shortest Python program
# that does its work (bench/peer.py), on the simulated line as a real one
# behaves (--pace: every byte its wire time): 8, 32 and 128 modules at 9600
# baud, each watched as fast as the line goes (a period of 0.1 s) for SECONDS
# and published to a Mosquitto on 127.0.0.1, one program after the other. For
# each, measured after the first 5 s: CPU per reading, peak RSS, the round
# (the time a module's readings take to come round again) against the wire's
# floor (each module's request and reply on the wire, and 3.5 characters of
# silence each way), and the share of requests begun less than 3.5 characters
# after the last byte on the line, as the simulator saw them.
#   bench/gateway.sh BUILD_DIR [SECONDS]      (scripts/bench.sh runs it)
# BUILD_DIR holds hygrovane-modsim, and hygrovane-gateway unless only the peer
# is to be measured.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-30}
settle=5
python=/usr/bin/python3 # Debian's, which has the packages: not a python3 of another's earlier on PATH

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# ---- the broker ------------------------------------------------------------------
mqtt_port=$($python -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$mqtt_port" >"$work/mosquitto.conf"
mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$mqtt_port") 2>/dev/null && break; sleep 0.1; done
mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" -q 1 -v -t 'peer/+/state' -t 'gateway/+/state' >"$work/seen" &
pids+=($!)

hz=$(getconf CLK_TCK)
ticks() { # utime + stime of a process, in clock ticks; the name in field 2 holds no blank here
  local f
  read -r -a f <"/proc/$1/stat"
  echo $((f[13] + f[14]))
}
gaps() { # the simulator's summary since the last one: "requests hurried"
  local before
  before=$(grep -c 'requests, ' "$work/sim.out" || true)
  kill -USR1 "$sim"
  for _ in $(seq 50); do [ "$(grep -c 'requests, ' "$work/sim.out" || true)" -gt "$before" ] && break; sleep 0.1; done
  grep 'requests, ' "$work/sim.out" | tail -1 | sed 's/^hygrovane-modsim: \([0-9]*\) requests, \([0-9]*\) of them.*/\1 \2/'
}

# ---- one run: started, measured from settle s to its end, stopped -------------------
measure() { # modules name prefix command...
  local modules=$1 name=$2 prefix=$3 pid t0 t1 seen0 seen1 hwm g
  shift 3
  "$@" >"$work/$name.out" 2>&1 &
  pid=$!
  pids+=("$pid")
  sleep "$settle"
  t0=$(ticks "$pid")
  seen0=$(grep -c "^$prefix/" "$work/seen" || true)
  gaps >/dev/null
  sleep $((seconds - settle))
  if ! [ -r "/proc/$pid/stat" ]; then
    cat "$work/$name.out" >&2
    echo "gateway bench: $name ended before its time" >&2
    return 1
  fi
  t1=$(ticks "$pid")
  seen1=$(grep -c "^$prefix/" "$work/seen" || true)
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
  g=$(gaps)
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null || true
  awk -v name="$name" -v n="$modules" -v t="$((t1 - t0))" -v hz="$hz" -v hwm="$hwm" -v seen="$((seen1 - seen0))" \
      -v wall="$((seconds - settle))" -v g="$g" 'BEGIN {
    split(g, r, " ")
    floor = n * (8 + 15 + 7) * 10 / 9600
    round = seen ? n * wall / seen : 0
    printf "gateway bench: %3d modules, %-7s %6.3f ms CPU a reading, %6.1f MB peak RSS, round %5.3f s against the floor %5.3f s (%3.0f %%), %d of %d requests hurried (%.1f %%)\n",
      n, name, seen ? 1000 * t / hz / seen : 0, hwm / 1024, round, floor, round ? 100 * floor / round : 0, r[2], r[1], r[1] ? 100 * r[2] / r[1] : 0
  }'
}

echo "gateway bench: a paced line at 9600 baud, each run ${seconds} s (measured after ${settle} s), broker 127.0.0.1:$mqtt_port"
for modules in 8 32 128; do
  "$build/hygrovane-modsim" --pace --address "$(seq -s, 1 "$modules")" --baud 9600 >"$work/sim.out" 2>&1 &
  sim=$!
  pids+=("$sim")
  for _ in $(seq 50); do grep -qs " on /dev/" "$work/sim.out" && break; sleep 0.1; done
  port=$(sed -n 's:.* on \(/dev/[^ ]*\)$:\1:p' "$work/sim.out")
  [ -n "$port" ] || { cat "$work/sim.out" >&2; echo "gateway bench: the simulated line did not start" >&2; exit 1; }
  measure "$modules" peer peer $python "$root/bench/peer.py" "$port" 9600 "1-$modules" "127.0.0.1:$mqtt_port" peer $((seconds + 60)) 0.1
  if [ -x "$build/hygrovane-gateway" ]; then
    measure "$modules" gateway gateway "$build/hygrovane-gateway" --port "$port" --baud 9600 --addresses "1-$modules" \
      --period 0.1 --broker "mqtt://127.0.0.1:$mqtt_port" --prefix gateway --no-discovery
  fi
  kill "$sim"
  wait "$sim" 2>/dev/null || true
done
[ -x "$build/hygrovane-gateway" ] || echo "gateway bench: $build/hygrovane-gateway is not built: the peer alone"
