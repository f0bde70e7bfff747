#!/usr/bin/env bash
# One technician's session (link, poll, address read and write, baud-rate
# change, serial number read and write, settings read, recording setup, Close)
# of the real window against the simulated module, under memcheck.
# Exit status: 1 when valgrind reports an error (a definite leak counts), 3
# when the session itself missed a step, 0 otherwise. The log is
# build-bench/memcheck.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
log="$build/memcheck.log"

"$root/scripts/install-deps.sh" valgrind
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHYGROVANE_BENCH=ON -DHYGROVANE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target hygrovane-bench >/dev/null
cd "$root" # no Qm/ here: the session reads the English texts
status=0
# PCRE2's JIT reads strings 16 bytes at a time, past their end: memcheck would
# report the fixture's regular expressions, not the program.
QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 QT_ENABLE_REGEXP_JIT=0 \
  valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=1 \
    --num-callers=40 --suppressions="$root/tests/valgrind.supp" --log-file="$log" \
    "$build/hygrovane-bench" session || status=$?
grep -E '(ERROR SUMMARY|definitely lost|indirectly lost|possibly lost):' "$log" | sed 's/^==[0-9]*== *//'
case "$status" in
  0) echo "memcheck: clean" ;;
  1) echo "memcheck: valgrind reported errors, see $log" >&2 ;;
  3) echo "memcheck: valgrind found nothing, but the session missed a step (see above)" >&2 ;;
  *) echo "memcheck: the session failed ($status), see $log" >&2 ;;
esac
exit "$status"
