#!/usr/bin/env bash
# Builds the benchmark program in build-bench/ and prints its figures: decoding
# a reply, a log line in an empty log and at 100,000 lines, window start, the
# history of a day (of one module and of 32), the CPU per poll and the poll's
# round trip against the simulated module, a bus scan of 247 addresses at 9600
# and at 115200, a watch of 32 modules with the log at its bound, and publishing
# to a Mosquitto broker on 127.0.0.1 (CPU a reading, the event loop's worst gap
# while 32 modules publish, the broker stopped 20 s mid-watch), the gateway's
# spool (its CPU and bytes a reading, 100,000 readings sent after a restart
# against the same from memory); then the
# gateway watching 8, 32 and 128 modules on a paced line for 30 s each, its CPU,
# memory, round and line silence against a short Python program doing the same
# work (bench/gateway.sh, bench/peer.py); and its line shared over Modbus TCP:
# a client's reads from the line and from memory, the watch's round with four
# busy clients, the CPU a forwarded request (bench/share.py).
#   scripts/bench.sh              polling measured for 10 s
#   scripts/bench.sh --seconds N  for N seconds
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
seconds=10
[ "${1:-}" = "--seconds" ] && seconds="$2"

# The Python peer's Modbus (and its serial port) and MQTT libraries: for this
# comparison only, not for building or testing.
"$root/scripts/install-deps.sh" python3-pymodbus python3-serial python3-serial-asyncio python3-paho-mqtt
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHYGROVANE_BENCH=ON -DHYGROVANE_TESTS=OFF >/dev/null
targets=(hygrovane-bench hygrovane-modsim)
cmake --build "$build" --target help | grep -w hygrovane-gateway >/dev/null && targets+=(hygrovane-gateway)
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
"$build/hygrovane-bench" micro
"$build/hygrovane-bench" idle "$seconds"
"$build/hygrovane-bench" scan 9600
"$build/hygrovane-bench" scan 115200
"$build/hygrovane-bench" watch 40
"$build/hygrovane-bench" paced 300
"$build/hygrovane-bench" publish 20
"$build/hygrovane-bench" spool
bash "$root/bench/gateway.sh" "$build" 30
/usr/bin/python3 "$root/bench/share.py" "$build" 10
