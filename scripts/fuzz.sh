#!/usr/bin/env bash
# Builds the reception fuzzer in build-fuzz/ (clang, ASan + UBSan, the whole
# core instrumented) and runs it on a scratch copy of its seed corpus, so that
# the repository stays clean.
#
#   scripts/fuzz.sh                  60 s
#   scripts/fuzz.sh 600              600 s
#   scripts/fuzz.sh --runs 10000000  that many executions
#   scripts/fuzz.sh --fork ...       as a series of short child processes: one
#                                    process slows as it ages, so long runs go faster
#
# Exits non-zero on a finding (crash, broken invariant, leak, timeout, memory
# blow-up), kept in build-fuzz/artifacts/; the log is build-fuzz/fuzz.log.
# Replay one with build-fuzz/fuzz/fuzz_reception build-fuzz/artifacts/<file>.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

budget=(-max_total_time=60)
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) budget=(-runs="$2"); shift 2 ;;
    --fork) budget+=(-fork=1 -ignore_crashes=0 -ignore_ooms=0 -ignore_timeouts=0); shift ;;
    *[!0-9]*|"") echo "usage: $0 [SECONDS | --runs N] [--fork]" >&2; exit 2 ;;
    *) budget[0]=-max_total_time="$1"; shift ;;
  esac
done

"$root/scripts/install-deps.sh" clang libclang-rt-14-dev
# A build folder configured with another compiler cannot be switched in place.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DHYGROVANE_FUZZ=ON -DHYGROVANE_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" >/dev/null
cmake --build "$build" --target fuzz_reception -j2

corpus="$build/corpus" artifacts="$build/artifacts"
rm -rf "$corpus" "$artifacts" && mkdir -p "$corpus" "$artifacts"
cp "$root"/fuzz/corpus/* "$corpus"/
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$build/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
rc=0
"$build/fuzz/fuzz_reception" "$corpus" "${budget[@]}" -timeout=5 -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" >"$build/fuzz.log" 2>&1 || rc=$?
grep -E '^stat::(number_of_executed_units|average_exec_per_sec)|^#[0-9]+.*DONE' "$build/fuzz.log" || true
if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$artifacts")" ]; then
  grep -m3 -E 'invariant broken|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error|SUMMARY' "$build/fuzz.log" || true
  echo "fuzz: FINDING (exit $rc), see $build/fuzz.log and $artifacts" >&2
  exit 1
fi
echo "fuzz: no findings"
