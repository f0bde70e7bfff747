#!/usr/bin/env bash
# systemd's verdict on the gateway's unit: configured to start BINARY (which
# verify wants to find), an instance of it verified; anything said about it
# fails, since verify warns of an unknown key or a bad value and still
# succeeds. Skipped (77) where systemd-analyze is missing.
#   tests/unit_check.sh UNIT_TEMPLATE BINARY WORK_DIR
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 UNIT_TEMPLATE BINARY WORK_DIR" >&2; exit 2; }
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed: skipped"; exit 77; }
template=$1 binary=$2 work=$3

rm -rf "$work"
mkdir -p "$work"
unit="$work/hygrovane-gateway@.service"
sed "s|@HYGROVANE_BINDIR@/hygrovane-gateway|$binary|" "$template" >"$unit"
grep -q '@[A-Z_]*@' "$unit" && { echo "FAIL: left unconfigured: $(grep '@[A-Z_]*@' "$unit")" >&2; exit 1; }
grep -q "^ExecStart=$binary " "$unit" || { echo "FAIL: ExecStart does not start $binary" >&2; exit 1; }

said=$(systemd-analyze verify --man=no "$work/hygrovane-gateway@line1.service" 2>&1) || {
  echo "$said" >&2; echo "FAIL: systemd-analyze verify" >&2; exit 1; }
[ -z "$said" ] || { echo "$said" >&2; echo "FAIL: systemd-analyze verify has something to say" >&2; exit 1; }
echo "ok: systemd-analyze verify hygrovane-gateway@line1.service"
