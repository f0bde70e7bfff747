#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

build="$root/build"
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
jobs=6
if [ "${1:-}" = "--sanitize" ]; then
  build="$root/build-asan"
  options=(-DCMAKE_BUILD_TYPE=Debug -DHYGROVANE_SANITIZE=ON)
  jobs=4
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
fi

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
# The programs mostly wait on the line, its timers and the servers' limits
# (the whole suite takes some 10 s of processor time): six at a time, four
# under the sanitizers, which make every step cost more.
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs"
