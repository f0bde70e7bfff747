#!/usr/bin/env bash
# A day of polling (86,400 poll-and-reply cycles, address reads and logger
# requests mixed in) through the real window and the simulated module, as
# fast as the line allows; then the same day with the log pane cleared every
# 1000 cycles, so that the difference in resident memory is the traffic log's.
#   scripts/soak.sh                  both runs (about 3 minutes)
#   scripts/soak.sh --single         the first run only
#   scripts/soak.sh --cycles N       N cycles instead of 86,400
# Exit status: non-zero when a value was wrong or lost, a message box
# appeared, or the last 1000 cycles were more than twice as slow as the first.
# Output is kept in build-bench/soak.log and build-bench/soak-cleared.log.
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
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHYGROVANE_BENCH=ON -DHYGROVANE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target soak >/dev/null

export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
cd "$root"
status=0
"$build/bench/soak" --cycles "$cycles" 2>"$build/soak.err" | tee "$build/soak.log" || status=$?
[ "$single" = 1 ] && exit "$status"

echo
"$build/bench/soak" --cycles "$cycles" --clear-log-every 1000 2>"$build/soak-cleared.err" \
  | tee "$build/soak-cleared.log" || status=$?

rss_growth() { sed -n 's/.*after [0-9]* KiB (growth \(-\?[0-9]*\) KiB).*/\1/p' "$1"; }
full=$(rss_growth "$build/soak.log")
cleared=$(rss_growth "$build/soak-cleared.log")
chars=$(sed -n 's/^result: log [0-9]* lines ([0-9]* new), \([0-9]*\) characters.*/\1/p' "$build/soak.log")
lines=$(sed -n 's/^result: log [0-9]* lines (\([0-9]*\) new).*/\1/p' "$build/soak.log")
if [ -n "$full" ] && [ -n "$cleared" ] && [ -n "$chars" ] && [ -n "$lines" ]; then
  awk -v f="$full" -v c="$cleared" -v ch="$chars" -v l="$lines" 'BEGIN {
    log_kib = f - c
    printf "\ntraffic log: RSS growth %d KiB with the log kept, %d KiB with it cleared: ", f, c
    share = f > 0 ? 100 * log_kib / f : 0
    per_line = l > 0 ? log_kib * 1024 / l : 0
    printf "the log holds %d KiB (%.0f%% of the growth), %.0f bytes a line, ", log_kib, share, per_line
    printf "of which its text as UTF-16 is %d KiB\n", ch * 2 / 1024 }'
fi
exit "$status"
