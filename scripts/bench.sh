#!/usr/bin/env bash
# Builds the benchmarks in build-bench/ and prints one table: wall time per
# operation (median, fastest and mean of the samples) and, from callgrind,
# instructions per operation, which hardly move with the machine's load;
# then the process's CPU use while the window polls the simulated module.
#   scripts/bench.sh                  everything (about 3 minutes)
#   scripts/bench.sh --no-callgrind   wall time only
#   scripts/bench.sh --seconds N      poll for N seconds instead of 10
# Raw output stays in build-bench/bench-results/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
out="$build/bench-results"

callgrind=1
seconds=10
while [ $# -gt 0 ]; do
  case "$1" in
    --no-callgrind) callgrind=0 ;;
    --seconds) seconds="$2"; shift ;;
    *) echo "usage: $0 [--no-callgrind] [--seconds N]" >&2; exit 2 ;;
  esac
  shift
done

# valgrind: the callgrind tool and <valgrind/callgrind.h>.
"$root/scripts/install-deps.sh" valgrind
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHYGROVANE_BENCH=ON -DHYGROVANE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_micro bench_idle >/dev/null

rm -rf "$out"
mkdir -p "$out/callgrind"
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
cd "$build"
cg=(valgrind --tool=callgrind --instr-atstart=no --collect-atstart=no)

echo "wall time: bench_micro" >&2
./bench/bench_micro >"$out/micro.txt" 2>"$out/micro.err" \
  || { cat "$out/micro.txt" "$out/micro.err" >&2; exit 1; }
echo "wall time: bench_idle --seconds $seconds" >&2
./bench/bench_idle --seconds "$seconds" >"$out/idle.txt" 2>"$out/idle.err" \
  || { cat "$out/idle.txt" "$out/idle.err" >&2; exit 1; }
if [ "$callgrind" = 1 ]; then
  echo "callgrind: bench_micro" >&2
  "${cg[@]}" --callgrind-out-file="$out/callgrind/micro.%p" ./bench/bench_micro \
    >"$out/micro-cg.txt" 2>"$out/micro-cg.err" \
    || { cat "$out/micro-cg.txt" "$out/micro-cg.err" >&2; exit 1; }
  echo "callgrind: bench_idle --seconds $seconds" >&2
  "${cg[@]}" --callgrind-out-file="$out/callgrind/idle.%p" ./bench/bench_idle --seconds "$seconds" \
    >"$out/idle-cg.txt" 2>"$out/idle-cg.err" \
    || { cat "$out/idle-cg.txt" "$out/idle-cg.err" >&2; exit 1; }
fi

# "name ops=N" dumps -> "name Ir/op"; idle dumps -> "name Ir seconds polls".
: >"$out/instructions.txt"
for f in "$out"/callgrind/*.*.*; do
  [ -e "$f" ] || continue
  awk '/^desc: Trigger: Client Request:/ { sub(/^desc: Trigger: Client Request: /, ""); tag = $0 }
       /^totals:/ { total = $2 }
       END { if (tag != "") print tag, total }' "$f" >>"$out/instructions.txt"
done

human() { # nanoseconds -> text
  awk -v ns="$1" 'BEGIN {
    if (ns == "") { print "-"; exit }
    if (ns < 10000) printf "%.0f ns", ns
    else if (ns < 10000000) printf "%.1f us", ns / 1000
    else printf "%.1f ms", ns / 1000000 }'
}

echo
printf '%-24s %12s %12s %12s %16s\n' "operation" "median" "fastest" "mean" "instructions/op"
while read -r _ name median fastest mean _ _; do
  ir=$(awk -v n="$name" '$1 == n { split($2, a, "="); if (a[2] > 0) printf "%.0f", $3 / a[2] }' \
    "$out/instructions.txt")
  printf '%-24s %12s %12s %12s %16s\n' "$name" "$(human "$median")" "$(human "$fastest")" \
    "$(human "$mean")" "${ir:--}"
done < <(grep '^BENCH ' "$out/micro.txt")

echo
printf '%-24s %10s %14s %8s %14s %16s\n' "process, offscreen" "wall s" "CPU s/wall s" "polls" \
  "CPU ms/poll" "instructions/s"
while read -r _ name wall cpu ratio polls _ perpoll; do
  wall=${wall#wall_s=}; ratio=${ratio#cpu_per_wall=}; polls=${polls#polls=}
  perpoll=${perpoll#cpu_ms_per_poll=}
  ir=$(awk -v n="idle_$name" '$1 == n { split($2, s, "="); if (s[2] > 0) printf "%.0f", $4 / s[2] }' \
    "$out/instructions.txt")
  printf '%-24s %10s %14s %8s %14s %16s\n' "$name" "$wall" "$ratio" "$polls" "$perpoll" "${ir:--}"
done < <(grep '^IDLE ' "$out/idle.txt")
