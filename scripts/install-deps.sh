#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need; only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev libboost-regex-dev libcurl4-openssl-dev libssl-dev libidn2-dev libpcre2-dev libgumbo-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev openssl nghttp2-server
  qt6-base-dev qt6-qpa-plugins qt6-multimedia-dev libgl-dev libxcb1-dev libxcb-xinput-dev fonts-noto-cjk
  libcli11-dev nlohmann-json3-dev
  chromium qt6-translations-l10n
  xvfb xauth trayer xdotool desktop-file-utils appstream tzdata file dbus-daemon
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
