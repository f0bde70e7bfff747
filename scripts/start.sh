#!/usr/bin/env bash
# Installs what is missing, builds, and starts Hygrovane beside a simulated
# module, so that the tool can be tried without hardware.
#   scripts/start.sh              English
#   scripts/start.sh --chinese    Chinese (started from the folder that holds Qm/Chinese.qm)
#   scripts/start.sh --no-sim     without the simulated module
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

chinese=0
sim=1
for arg in "$@"; do
  case "$arg" in
    --chinese) chinese=1 ;;
    --no-sim) sim=0 ;;
    *) echo "usage: $0 [--chinese] [--no-sim]" >&2; exit 2 ;;
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
  "$build/hygrovane-modsim" --address 1 --baud 9600 --link "$port" &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done
  echo "Simulated module at address 1, 9600 baud: press Link and type $port as the port name;"
  echo "then Read, and Trend to watch its values drift."
fi

# The catalogue is looked up in the working directory.
if [ "$chinese" = 1 ]; then cd "$build"; else cd "$root"; fi
"$build/hygrovane"
