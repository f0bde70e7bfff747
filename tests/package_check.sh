#!/usr/bin/env bash
# Builds the Debian packages from a configured and built build folder (the
# desktop tool's, and the gateway's when the build has one), unpacks them into
# a scratch root and checks what a user's machine would get: the files,
# launchers whose paths lead to files that exist, each package's dependencies
# on the Qt 5 runtime (the gateway's on no desktop library), that the two can
# be installed side by side, and the verdicts of the desktop and AppStream
# validators.
#   tests/package_check.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)

"$root/scripts/install-deps.sh" dpkg-dev desktop-file-utils appstream

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Packaged outside the build folder, so that a cpack run of the user's there
# is neither disturbed nor mistaken for this one.
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack could not build the packages" >&2
  exit 1
fi
# (HYGROVANE_GATEWAY=1, set by the build for this test: it has the gateway.)
names=(hygrovane)
[ "${HYGROVANE_GATEWAY:-0}" = 1 ] && names+=(hygrovane-gateway)
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq ${#names[@]} ] || { echo "FAIL: expected ${#names[@]} packages, got: ${debs[*]}" >&2; exit 1; }
declare -A deb
for name in "${names[@]}"; do
  found=("$scratch"/out/"$name"_*.deb)
  [ -f "${found[0]}" ] || { echo "FAIL: no package $name among: ${debs[*]}" >&2; exit 1; }
  deb[$name]=${found[0]}
  echo "package: $(basename "${found[0]}"), $(stat -c %s "${found[0]}") bytes"
done

prefix=$(sed -n 's/^set(CPACK_PACKAGING_INSTALL_PREFIX "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
prefix=${prefix:-/usr}
r="$scratch/root"
mkdir -p "$r"
for name in "${names[@]}"; do
  dpkg -x "${deb[$name]}" "$r"
done

# ---- control fields ----------------------------------------------------------
for name in "${names[@]}"; do
  [ "$(dpkg-deb -f "${deb[$name]}" Package)" = "$name" ] && pass "Package: $name" || fail "package name of ${deb[$name]}"
done
depends_on() { # package library -> whether its Depends names the library
  grep -Eq "(^|[ ,])$2( |,|$)" <<<"$(dpkg-deb -f "${deb[$1]}" Depends)"
}
echo "hygrovane Depends: $(dpkg-deb -f "${deb[hygrovane]}" Depends)"
for lib in libqt5serialport5 libqt5widgets5 libqt5charts5 libmosquitto1; do
  depends_on hygrovane $lib && pass "hygrovane depends on $lib" || fail "hygrovane does not depend on $lib"
done
# A box without a screen gets the gateway and what it runs on, and no desktop.
if [ -n "${deb[hygrovane-gateway]:-}" ]; then
  echo "hygrovane-gateway Depends: $(dpkg-deb -f "${deb[hygrovane-gateway]}" Depends)"
  for lib in libqt5core5a libqt5serialport5 libqt5network5 libmosquitto1 libqt5sql5-sqlite libsystemd0; do
    depends_on hygrovane-gateway $lib && pass "hygrovane-gateway depends on $lib" || fail "hygrovane-gateway does not depend on $lib"
  done
  for lib in libqt5widgets5 libqt5gui5 libqt5gui5-gles libqt5charts5 hygrovane; do
    depends_on hygrovane-gateway $lib && fail "hygrovane-gateway depends on $lib" || pass "hygrovane-gateway does not depend on $lib"
  done
  [ -z "$(dpkg-deb -f "${deb[hygrovane-gateway]}" Recommends)" ] && pass "hygrovane-gateway recommends nothing" \
    || fail "hygrovane-gateway recommends $(dpkg-deb -f "${deb[hygrovane-gateway]}" Recommends)"
  # dpkg refuses a package that would overwrite another's file.
  files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sort; }
  shared=$(comm -12 <(files "${deb[hygrovane]}") <(files "${deb[hygrovane-gateway]}"))
  [ -z "$shared" ] && pass "the packages own no file in common" || fail "both packages own: $shared"
fi
# The form asks for Arial (its metric twin is Liberation Sans), and Chinese
# needs a CJK font or its texts show as empty boxes, and Qt's catalogue for
# the toolkit's own buttons and dialogs.
recommends=$(dpkg-deb -f "${deb[hygrovane]}" Recommends)
echo "Recommends: $recommends"
for font in "fonts-liberation2" "fonts-noto-cjk | fonts-wqy-microhei" "qttranslations5-l10n"; do
  grep -Fq "$font" <<<"$recommends" && pass "Recommends $font" || fail "Recommends lacks $font"
done

for name in "${names[@]}"; do
  outside=$(dpkg-deb -c "${deb[$name]}" | awk '{print $6}' | grep -v -e '^\./$' -e "^\.$prefix/" -e "^\.$prefix\$" || true)
  [ -z "$outside" ] && pass "every file of $name below $prefix" || fail "files of $name outside $prefix: $outside"
  [ -s "$r$prefix/share/doc/$name/copyright" ] && grep -q '^License: GPL-3.0-or-later' "$r$prefix/share/doc/$name/copyright" \
    && pass "$name's copyright: GPL-3.0-or-later" || fail "$prefix/share/doc/$name/copyright missing or not GPL-3.0-or-later"
done

# ---- files -------------------------------------------------------------------
app_id=io.github.hygrovane.Hygrovane
for exe in bin/hygrovane bin/hygrovane-modsim; do
  [ -x "$r$prefix/$exe" ] && pass "$prefix/$exe" || fail "$prefix/$exe missing or not executable"
done
for f in share/icons/hicolor/scalable/apps/hygrovane.svg \
         share/hygrovane/Qm/Chinese.qm \
         share/applications/$app_id.desktop \
         share/applications/$app_id.zh_CN.desktop \
         share/metainfo/$app_id.metainfo.xml; do
  [ -s "$r$prefix/$f" ] && pass "$prefix/$f" || fail "$prefix/$f missing or empty"
done
cmp -s "$r$prefix/share/hygrovane/Qm/Chinese.qm" "$build/Qm/Chinese.qm" \
  && pass "catalogue is the one compiled in the build folder" || fail "catalogue differs from $build/Qm/Chinese.qm"
grep -q '<svg' "$r$prefix/share/icons/hicolor/scalable/apps/hygrovane.svg" \
  && pass "icon is an SVG" || fail "icon is not an SVG"

# The binaries find every library they need on this (Debian) machine.
for exe in hygrovane hygrovane-modsim hygrovane-gateway; do
  [ -x "$r$prefix/bin/$exe" ] || continue
  missing=$(ldd "$r$prefix/bin/$exe" 2>&1 | grep 'not found' || true)
  [ -z "$missing" ] && pass "$exe resolves its libraries" || fail "$exe: $missing"
done
"$r$prefix/bin/hygrovane-modsim" --help >/dev/null 2>&1 && pass "packaged hygrovane-modsim runs" \
  || fail "packaged hygrovane-modsim --help failed"

# ---- launchers ---------------------------------------------------------------
entry_value() { # file key -> value in [Desktop Entry], empty if absent
  awk -v key="$2" '
    /^\[/ { group = $0; next }
    group == "[Desktop Entry]" && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }
  ' "$1"
}
in_root() { # an absolute path on the installed system -> the same path in the scratch root
  case "$1" in
    "$prefix"/*) echo "$r$1" ;;
    *) echo "" ;;
  esac
}
check_entry() {
  local file=$1 label=$2 exec tryexec icon path target
  exec=$(entry_value "$file" Exec)
  exec=${exec%% *}
  target=$(in_root "$exec")
  [ -n "$target" ] && [ -x "$target" ] && pass "$label Exec=$exec" || fail "$label Exec=$exec is not a packaged program"
  tryexec=$(entry_value "$file" TryExec)
  if [ -n "$tryexec" ]; then
    target=$(in_root "$tryexec")
    [ -n "$target" ] && [ -x "$target" ] && pass "$label TryExec=$tryexec" || fail "$label TryExec=$tryexec is not a packaged program"
  fi
  icon=$(entry_value "$file" Icon)
  if compgen -G "$r$prefix/share/icons/hicolor/*/apps/$icon.*" >/dev/null; then
    pass "$label Icon=$icon"
  else
    fail "$label Icon=$icon is not in the hicolor theme"
  fi
  path=$(entry_value "$file" Path)
  if [ -n "$path" ]; then
    target=$(in_root "$path")
    [ -n "$target" ] && [ -d "$target" ] && pass "$label Path=$path" || fail "$label Path=$path is not a packaged folder"
  fi
  if desktop-file-validate "$file"; then pass "$label passes desktop-file-validate"; else fail "$label: desktop-file-validate"; fi
}
apps="$r$prefix/share/applications"
check_entry "$apps/$app_id.desktop" English
check_entry "$apps/$app_id.zh_CN.desktop" Chinese

# The Chinese launcher starts the program where Qm/Chinese.qm is, under a Chinese name.
zh_path=$(entry_value "$apps/$app_id.zh_CN.desktop" Path)
[ -n "$zh_path" ] && [ -s "$(in_root "$zh_path")/Qm/Chinese.qm" ] \
  && pass "Chinese launcher starts beside Qm/Chinese.qm" || fail "Chinese launcher Path=$zh_path holds no Qm/Chinese.qm"
[ -n "$(entry_value "$apps/$app_id.zh_CN.desktop" 'Name[zh_CN]')" ] \
  && pass "Chinese launcher has Name[zh_CN]" || fail "Chinese launcher lacks Name[zh_CN]"
# ...and the English one does not, or it would start in Chinese too.
[ -z "$(entry_value "$apps/$app_id.desktop" Path)" ] && pass "English launcher sets no Path" \
  || fail "English launcher sets a Path"

# ---- the gateway: with its unit, example and catalogue --------------------------
if [ -n "${deb[hygrovane-gateway]:-}" ]; then
  gateway="$r$prefix/bin/hygrovane-gateway"
  [ -x "$gateway" ] && pass "$prefix/bin/hygrovane-gateway" || fail "$prefix/bin/hygrovane-gateway missing"
  # A console program on a box without a desktop: no Qt Widgets, nor what they pull in.
  needed=$(objdump -p "$gateway" 2>/dev/null | awk '$1 == "NEEDED" { print $2 }')
  grep -Eq 'libQt5(Widgets|Gui|Charts)' <<<"$needed" && fail "hygrovane-gateway links $(grep -E 'libQt5(Widgets|Gui|Charts)' <<<"$needed" | xargs)" \
    || pass "hygrovane-gateway links no Qt Widgets"
  unit="$r$prefix/lib/systemd/system/hygrovane-gateway@.service"
  exec=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit" 2>/dev/null)
  [ "$exec" = "$prefix/bin/hygrovane-gateway" ] && [ -x "$r$exec" ] && pass "unit starts $exec" \
    || fail "unit $prefix/lib/systemd/system/hygrovane-gateway@.service missing, or its ExecStart=$exec is not the packaged gateway"
  [ -s "$r$prefix/share/doc/hygrovane-gateway/examples/gateway.conf" ] && pass "example gateway.conf" || fail "example gateway.conf missing"
  # Its language is the locale's, from its own catalogue, wherever it starts.
  said=$(cd "$scratch" && LC_ALL=zh_CN.UTF-8 "$gateway" --bogus 2>&1 || true)
  [ "$said" = "--bogus：没有这个选项" ] && pass "the packaged gateway speaks Chinese in a Chinese locale" \
    || fail "the packaged gateway in a Chinese locale said: $said"
fi

# ---- AppStream ---------------------------------------------------------------
metainfo="$r$prefix/share/metainfo/$app_id.metainfo.xml"
if appstreamcli validate --no-net "$metainfo"; then pass "metainfo passes appstreamcli validate"; else fail "metainfo: appstreamcli validate"; fi
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ -n "$launchable" ] && [ -f "$apps/$launchable" ] && pass "metainfo launches $launchable" \
  || fail "metainfo launchable '$launchable' is not a packaged desktop entry"
# Qt Charts is GPL-3.0 for open-source use, so the program is GPL-3.0-or-later.
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" && pass "metainfo: GPL-3.0-or-later" \
  || fail "metainfo: project_license is not GPL-3.0-or-later"

if [ "$failures" -ne 0 ]; then
  echo "package: $failures check(s) failed" >&2
  exit 1
fi
echo "package: all checks passed"
