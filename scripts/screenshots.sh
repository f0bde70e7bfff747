#!/usr/bin/env bash
# Renders the README's pictures from the real window, off screen: the main
# window after a few polls of a simulated module, and the Link dialog, each in
# English and in Chinese. Re-running replaces them.
#   scripts/screenshots.sh [BUILD_DIR]    (default: build/)
# Writes docs/main-*.png, trend-, bus- (a context menu open on its table),
# commission-, publish- and link-*.png, in English (en) and Chinese (zh); the
# Publish dialog needs Mosquitto.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target hygrovane-shoot catalogue >/dev/null
build=$(cd "$build" && pwd)

export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
# The program's own debug chatter is no part of the pictures.
export QT_LOGGING_RULES="default.debug=false"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$root/docs"

# English from a folder without Qm/, Chinese from the build folder, which holds
# Qm/Chinese.qm: the catalogue is looked up in the working directory.
for lang in en zh; do
  args=("$root/docs" "$lang")
  [ "$lang" = zh ] && args+=("$build")
  if ! (cd "$scratch" && "$build/hygrovane-shoot" "${args[@]}") 2>"$scratch/$lang.log"; then
    cat "$scratch/$lang.log" >&2
    echo "screenshots: the $lang run failed" >&2
    exit 1
  fi
done
