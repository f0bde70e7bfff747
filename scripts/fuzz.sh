#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ (clang, ASan + UBSan, the whole
# core instrumented) and runs each one in turn on a scratch copy of its seed
# corpus, so that the repository stays clean.
#
#   scripts/fuzz.sh                  60 s per target
#   scripts/fuzz.sh 300              300 s per target
#   scripts/fuzz.sh --runs 10000000  that many executions per target
#   scripts/fuzz.sh --runs 10000000 --max-time 1500   ... but stop a target after 1500 s
#   scripts/fuzz.sh --only fuzz_protocol 30           one target (repeatable)
#   scripts/fuzz.sh --max-len 512 ...                 inputs of at most 512 bytes
#   scripts/fuzz.sh --fork --runs 10000000 ...        the run as a series of short
#                                                     child processes (long runs)
#
# libFuzzer lets inputs grow to 4096 bytes; past about 500 they added almost
# no coverage in our runs (a Repeat record reaches the 4096-byte bound from a
# few input bytes) and only slow each execution down, so long runs get more
# executions with --max-len.
#
# One reception process slows down the longer it lives (after 2 million
# executions it ran at about 40 % of a fresh process's rate), so long runs use
# libFuzzer's fork mode: the same campaign and corpus, carried by child
# processes of at most a few minutes each. Every child finding still stops
# the run; timeouts and memory blow-ups count as findings too.
#
# Prints the executions and exec/s of every target; exits non-zero when any
# target finds something (crash, broken invariant, leak, timeout, memory
# blow-up). What it found is in build-fuzz/artifacts/, the logs in
# build-fuzz/fuzz-work/<target>.log. Replay one with
#   build-fuzz/fuzz/<target> build-fuzz/artifacts/<target>-crash-...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
targets_all=(fuzz_rtu_reception fuzz_logger_reception fuzz_protocol)

seconds=60
runs=""
max_time=""
max_len=""
fork=0
only=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --max-time) max_time="$2"; shift 2 ;;
    --max-len) max_len="$2"; shift 2 ;;
    --only) only+=("$2"); shift 2 ;;
    --fork) fork=1; shift ;;
    -h|--help) sed -n '2,30p' "$0"; exit 0 ;;
    *[!0-9]*|"") echo "fuzz.sh: unknown argument '$1'" >&2; exit 2 ;;
    *) seconds="$1"; shift ;;
  esac
done
if [ ${#only[@]} -eq 0 ]; then targets=("${targets_all[@]}"); else targets=("${only[@]}"); fi

"$root/scripts/install-deps.sh" clang libclang-rt-14-dev

# A build folder configured with another compiler cannot be switched in place.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
start_build=$(date +%s)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" \
  -DHYGROVANE_FUZZ=ON -DHYGROVANE_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" >/dev/null
# Two jobs at most: other builds share the machine.
cmake --build "$build" --target fuzzers -j2
echo "build-fuzz: built in $(( $(date +%s) - start_build )) s"

work="$build/fuzz-work"
artifacts="$build/artifacts"
mkdir -p "$work" "$artifacts"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}"

if [ -n "$runs" ]; then
  budget=(-runs="$runs")
  [ -n "$max_time" ] && budget+=(-max_total_time="$max_time")
  what="$runs runs${max_time:+ (at most $max_time s)}"
else
  budget=(-max_total_time="$seconds")
  what="$seconds s"
fi
if [ -n "$max_len" ]; then
  budget+=(-max_len="$max_len")
  what="$what, inputs <= $max_len bytes"
fi
if [ "$fork" -eq 1 ]; then
  budget+=(-fork=1 -ignore_crashes=0 -ignore_ooms=0 -ignore_timeouts=0)
  what="$what, fork mode"
fi

failed=0
summary=()
for t in "${targets[@]}"; do
  exe="$build/fuzz/$t"
  seeds="$root/fuzz/corpus/$t"
  [ -x "$exe" ] || { echo "fuzz.sh: no target $t" >&2; exit 2; }
  corpus="$work/$t"
  rm -rf "$corpus" && mkdir -p "$corpus" && cp "$seeds"/* "$corpus"/
  log="$work/$t.log"
  rm -f "$artifacts/$t"-*
  echo "== $t: $what, $(ls "$seeds" | wc -l) seeds"
  t0=$(date +%s)
  rc=0
  "$exe" "$corpus" "${budget[@]}" -timeout=5 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$t-" >"$log" 2>&1 || rc=$?
  elapsed=$(( $(date +%s) - t0 ))
  if [ "$fork" -eq 1 ]; then
    # The parent prints no final stats; its last status line has the total.
    execs=$(sed -n 's/^#\([0-9]*\): cov:.*/\1/p' "$log" | tail -1)
    rate=$(( ${execs:-0} / (elapsed > 0 ? elapsed : 1) ))
  else
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  fi
  found=$(find "$artifacts" -maxdepth 1 -name "$t-*" | wc -l)
  line="$t: ${execs:-?} executions in ${elapsed} s, ${rate:-?} exec/s, corpus $(ls "$corpus" | wc -l) files"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    line="$line -- FINDING (exit $rc, $found artifact(s)); see $log"
    grep -m1 -E 'invariant broken|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error|SUMMARY' "$log" || true
  fi
  echo "$line"
  summary+=("$line")
done

echo
echo "fuzz summary ($what per target):"
printf '  %s\n' "${summary[@]}"
if [ "$failed" -ne 0 ]; then
  echo "fuzz: FINDINGS in $artifacts" >&2
  exit 1
fi
echo "fuzz: no findings"
