#!/usr/bin/env bash
# Checks the Windows resources of hygrovane.exe with Debian's MinGW tools, as
# far as a machine without a Qt for Windows can: compiles the resource script
# the way the Windows build does, validates the manifest, and reads back from
# the object what the executable would carry: that very manifest, the icon at
# every size, and the version of the project.
#   tests/windows_check.sh WORK_DIR VERSION [NAME=VALUE...]
# The NAME=VALUE pairs are the definitions the build passes to the resource
# compiler. Exits 77 (skipped) where windres or xmllint is missing, except
# under CI, where scripts/install-deps.sh has installed them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { echo "usage: $0 WORK_DIR VERSION [NAME=VALUE...]" >&2; exit 2; }
work=$1
version=$2
shift 2

windres=x86_64-w64-mingw32-windres
for tool in "$windres" xmllint cpp perl; do
  if ! command -v "$tool" >/dev/null; then
    if [ -n "${CI:-}" ]; then
      echo "FAIL: $tool is missing, and CI must run this check (scripts/install-deps.sh installs it)" >&2
      exit 1
    fi
    echo "skipped: $tool is missing (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

dir="$root/packaging/windows"
manifest="$dir/hygrovane.manifest"
rm -rf "$work"
mkdir -p "$work"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# ---- the manifest --------------------------------------------------------------
if xmllint --noout "$manifest"; then
  pass "manifest is well-formed XML"
else
  fail "manifest is not well-formed XML"
fi
xpath() { # expression -> true/false (or a number) on the manifest; empty if it cannot be read
  xmllint --xpath "$1" "$manifest" 2>/dev/null || true
}
el() { # local name -> XPath step for an element of that name in any namespace
  echo "*[local-name()='$1']"
}
asm1="namespace-uri()='urn:schemas-microsoft-com:asm.v1'"
[ "$(xpath "count(/$(el assembly)[$asm1 and @manifestVersion='1.0'])=1")" = true ] \
  && pass "root is an asm.v1 assembly, manifestVersion 1.0" || fail "root is not <assembly manifestVersion=\"1.0\"> in urn:schemas-microsoft-com:asm.v1"

level="/$(el assembly)/$(el trustInfo)/$(el security)/$(el requestedPrivileges)/$(el requestedExecutionLevel)"
[ "$(xpath "count(//$(el requestedExecutionLevel))=1 and count($level[@level='asInvoker' and @uiAccess='false'])=1")" = true ] \
  && pass "requestedExecutionLevel asInvoker, uiAccess false" \
  || fail "manifest lacks the one requestedExecutionLevel level=asInvoker uiAccess=false"

controls="/$(el assembly)/$(el dependency)/$(el dependentAssembly)/$(el assemblyIdentity)"
controls+="[@type='win32' and @name='Microsoft.Windows.Common-Controls' and @version='6.0.0.0'"
controls+=" and @processorArchitecture='*' and @publicKeyToken='6595b64144ccf1df']"
[ "$(xpath "count($controls)=1")" = true ] \
  && pass "depends on Microsoft.Windows.Common-Controls 6.0.0.0 (*, 6595b64144ccf1df)" \
  || fail "manifest lacks the dependency on Microsoft.Windows.Common-Controls 6.0.0.0"

# Qt sets the DPI awareness itself, and the code page stays the system's: the
# manifest says nothing but the two above.
[ "$(xpath "count(/$(el assembly)/*[local-name()!='trustInfo' and local-name()!='dependency'])=0 and count(//$(el dependentAssembly))<=1")" = true ] \
  && pass "manifest asks for nothing else" \
  || fail "manifest holds more than trustInfo and the common-controls dependency"
[ "$(xpath "count(//*[local-name()='dpiAware' or local-name()='dpiAwareness' or local-name()='activeCodePage'])=0")" = true ] \
  && pass "no dpiAware, dpiAwareness or activeCodePage" || fail "manifest sets the DPI awareness or the code page"

# ---- the resource script -------------------------------------------------------
defines=()
for d in "$@"; do defines+=("-D$d"); done
obj="$work/hygrovane.rc.o"
# Compiled from another folder, as the build does: the script must find its
# manifest and icon beside itself.
if (cd "$work" && "$windres" --preprocessor=cpp "${defines[@]}" -O coff "$dir/hygrovane.rc" "$obj") \
    >"$work/windres.log" 2>&1; then
  pass "hygrovane.rc compiles ($(stat -c %s "$obj") bytes of pe-x86-64 object)"
else
  cat "$work/windres.log" >&2
  echo "FAIL: $windres could not compile hygrovane.rc" >&2
  exit 1
fi
x86_64-w64-mingw32-objdump -h "$obj" | grep -q ' \.rsrc ' && pass "object has a .rsrc section" \
  || fail "object has no .rsrc section"

listing="$work/resources.rc"
"$windres" -i "$obj" -O rc >"$listing"

# The manifest: resource 1 of type 24, byte for byte the file checked above.
# windres lists its bytes as C strings, "" for a quote and octal escapes.
perl -ne '
  $in = 1, next if /^1 24 \/\* RT_MANIFEST \*\//;
  next unless $in;
  last if /^END/;
  next unless /^\s*"(.*)"\s*$/;
  ($s = $1) =~ s/""/"/g;
  $s =~ s/\\([0-7]{1,3}|.)/ $1 =~ m{^[0-7]} ? chr(oct $1) : ($1 eq "n" ? "\n" : $1 eq "r" ? "\r" : $1 eq "t" ? "\t" : $1) /ge;
  print $s;
' "$listing" >"$work/embedded.manifest"
if [ ! -s "$work/embedded.manifest" ]; then
  fail "object carries no manifest (resource 1, type 24)"
elif cmp -s "$work/embedded.manifest" "$manifest"; then
  pass "object carries hygrovane.manifest as resource 1, type 24 (RT_MANIFEST)"
else
  fail "the manifest in the object differs from hygrovane.manifest"
fi

# The icon: a group of four images, 16, 32, 48 and 256 px (listed as 0).
group=$(sed -n '/^1 14 \/\* RT_GROUP_ICON \*\//,/^END/p' "$listing")
if [ -z "$group" ]; then
  fail "object carries no icon (group icon 1)"
else
  sizes=$(sed -n 's/^ *"\\\([0-7]*\)\\\([0-7]*\)\\000\\000", .*/\1x\2/p' <<<"$group" \
    | while IFS=x read -r w h; do echo "$((8#$w))x$((8#$h))"; done | tr '\n' ' ')
  [ "$sizes" = "16x16 32x32 48x48 0x0 " ] \
    && pass "object carries the icon at 16, 32, 48 and 256 px" \
    || fail "icon sizes are '$sizes', not 16x16 32x32 48x48 0x0 (256)"
fi

# The version: the project's, in numbers and in words, and the licence.
IFS=. read -r major minor patch _ <<<"$version"
expect_line() { # label, fixed string the listing must hold
  grep -Fq -- "$2" "$listing" && pass "$1" || fail "$1: the object lacks '$2'"
}
expect_line "FILEVERSION $version" "FILEVERSION $major, $minor, ${patch:-0}, 0"
expect_line "PRODUCTVERSION $version" "PRODUCTVERSION $major, $minor, ${patch:-0}, 0"
expect_line "FileVersion $version" "VALUE \"FileVersion\", \"$version\""
expect_line "ProductVersion $version" "VALUE \"ProductVersion\", \"$version\""
expect_line "ProductName Hygrovane" 'VALUE "ProductName", "Hygrovane"'
grep -q 'VALUE "FileDescription", "[^"]' "$listing" && pass "FileDescription" || fail "no FileDescription"
licence=$(sed -n 's/^License: //p' "$root/packaging/copyright" | head -n 1)
grep -q "VALUE \"LegalCopyright\", \".*${licence:-GPL-3.0-or-later}" "$listing" \
  && pass "LegalCopyright names $licence" || fail "LegalCopyright does not name $licence"

if [ "$failures" -ne 0 ]; then
  echo "windows: $failures check(s) failed" >&2
  exit 1
fi
echo "windows: all checks passed"
