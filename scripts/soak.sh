#!/usr/bin/env bash
# A day of polling (86,400 poll-and-reply cycles, address reads and logger
# requests mixed in) through the real window and the simulated module, as
# fast as the line allows, checking every value shown; then the same day with
# the log pane cleared every 1000 cycles, so that the difference in resident
# memory is the traffic log's.
#   scripts/soak.sh                  both runs (a few minutes)
#   scripts/soak.sh --single         the first run only
#   scripts/soak.sh --cycles N       N cycles instead of 86,400
# Exit status: non-zero when a value was wrong or lost, a command failed or a
# message box appeared. Output is kept in build-bench/soak*.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cycles=86400
single=0
while [ $# -gt 0 ]; do
  case "$1" in
    --single) single=1 ;;
    --cycles) cycles="$2"; shift ;;
    *) echo "usage: $0 [--single] [--cycles N]" >&2; exit 2 ;;
  esac
  shift
done

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHYGROVANE_BENCH=ON -DHYGROVANE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target hygrovane-bench >/dev/null
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
status=0
"$build/hygrovane-bench" soak "$cycles" | tee "$build/soak.log" || status=$?
[ "$single" = 1 ] && exit "$status"
echo
"$build/hygrovane-bench" soak "$cycles" --clear-log-every 1000 | tee "$build/soak-cleared.log" || status=$?
exit "$status"
