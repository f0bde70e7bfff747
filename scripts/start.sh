#!/usr/bin/env bash
# Installs what is missing, builds, and starts Hygrovane.
#   scripts/start.sh            English
#   scripts/start.sh --chinese  Chinese (started from the folder that holds Qm/Chinese.qm)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target hygrovane catalogue >/dev/null

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "hygrovane: no display here; run it under a virtual one: xvfb-run -a $0 $*" >&2
  exit 1
fi

# The catalogue is looked up in the working directory.
if [ "${1:-}" = "--chinese" ]; then
  cd "$build"
else
  cd "$root"
fi
exec "$build/hygrovane"
