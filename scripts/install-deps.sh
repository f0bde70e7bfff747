#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and
# only those that are missing: a second run costs one dpkg query.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qtbase5-dev libqt5serialport5-dev libqt5charts5-dev qttools5-dev qttools5-dev-tools
  mbpoll
  # An Ethernet serial server for the network line's tests, raw and RFC 2217.
  ser2net
  # Publishing: the MQTT client library, and the broker and its command-line
  # clients that the tests run against; openssl makes the tests' certificates.
  libmosquitto-dev mosquitto mosquitto-clients openssl
  # The gateway's outbox on disk (Qt's SQLite driver; the tests make foreign
  # files with sqlite3) and its word to the service manager (sd_notify).
  libqt5sql5-sqlite sqlite3 libsystemd-dev
  dpkg-dev desktop-file-utils appstream
  # The Windows check: the MinGW resource compiler and objdump, and xmllint.
  binutils-mingw-w64-x86-64 libxml2-utils
  tzdata
  # The form's Arial in its metric twin, and a CJK font: without one the
  # Chinese texts show as empty boxes.
  fonts-liberation2 fonts-wqy-microhei
  # Qt's own Chinese catalogue: OK, Cancel and the file dialogs in Chinese.
  qttranslations5-l10n
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
