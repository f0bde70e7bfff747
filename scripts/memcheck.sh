#!/usr/bin/env bash
# One end-to-end session (link, poll, address read and write, baud-rate
# change, serial number read and write, settings read, recording setup,
# Close) of the real window against the simulated module, under memcheck.
#   scripts/memcheck.sh
# Exit status: 1 when valgrind reports an error (a definite leak counts),
# 3 when the session itself missed a step (the run then covered less),
# 0 otherwise. The full log is build-bench/memcheck.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
log="$build/memcheck.log"

"$root/scripts/install-deps.sh" valgrind
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHYGROVANE_BENCH=ON -DHYGROVANE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target session_memcheck >/dev/null

# A working directory without Qm/: the session reads the English texts.
cd "$root"
status=0
QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 \
  valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
    --error-exitcode=1 --num-callers=40 --suppressions="$root/tests/valgrind.supp" \
    --log-file="$log" "$build/bench/session_memcheck" || status=$?

grep -E '(ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|suppressed):' "$log" \
  | sed 's/^==[0-9]*== *//'
case "$status" in
  0) echo "memcheck: clean" ;;
  1) echo "memcheck: valgrind reported errors, see $log" >&2 ;;
  3) echo "memcheck: valgrind found nothing, but the session missed a step (see above)" >&2 ;;
  *) echo "memcheck: the session driver failed ($status), see $log" >&2 ;;
esac
exit "$status"
