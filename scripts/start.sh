#!/usr/bin/env bash
# Installs what is missing, builds, and starts Hygrovane beside a simulated
# module, so that the tool can be tried without hardware.
#   scripts/start.sh              English
#   scripts/start.sh --chinese    Chinese (started from the folder that holds Qm/Chinese.qm)
#   scripts/start.sh --no-sim     without the simulated module
#   scripts/start.sh --bus        beside a simulated line of several modules instead of one
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

chinese=0
sim=1
bus=0
for arg in "$@"; do
  case "$arg" in
    --chinese) chinese=1 ;;
    --no-sim) sim=0 ;;
    --bus) bus=1 ;;
    *) echo "usage: $0 [--chinese] [--no-sim | --bus]" >&2; exit 2 ;;
  esac
done

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target hygrovane hygrovane-modsim catalogue >/dev/null

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "hygrovane: no display here; run it under a virtual one: xvfb-run -a $0 $*" >&2
  exit 1
fi

if [ "$sim" = 1 ]; then
  port="$build/ttySIM0"
  # The bus: one module at another rate, and two that answer to one address
  # so that every reply to it collides.
  addresses=1
  [ "$bus" = 1 ] && addresses=1,2,3,5,8,13@19200,21,21
  "$build/hygrovane-modsim" --address "$addresses" --baud 9600 --link "$port" &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done
  if [ "$bus" = 1 ]; then
    echo "Simulated line on $port: modules at addresses 1, 2, 3, 5 and 8 at 9600 baud, 13 at 19200,"
    echo "and two at 21 whose replies collide. Press Link and type $port as the port name,"
    echo "then Bus and Scan to find them."
  else
    echo "Simulated module at address 1, 9600 baud: press Link and type $port as the port name;"
    echo "then Read, and Trend to watch its values drift."
  fi
fi

# The catalogue is looked up in the working directory.
if [ "$chinese" = 1 ]; then cd "$build"; else cd "$root"; fi
"$build/hygrovane"
