#!/usr/bin/env bash
# Builds the benchmark program in build-bench/ and prints its figures: decoding
# a reply, a log line in an empty log and at 100,000 lines, window start, and
# the CPU the process uses per poll while polling the simulated module.
#   scripts/bench.sh              polling measured for 10 s
#   scripts/bench.sh --seconds N  for N seconds
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
seconds=10
[ "${1:-}" = "--seconds" ] && seconds="$2"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHYGROVANE_BENCH=ON -DHYGROVANE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target hygrovane-bench >/dev/null
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
"$build/hygrovane-bench" micro
"$build/hygrovane-bench" idle "$seconds"
