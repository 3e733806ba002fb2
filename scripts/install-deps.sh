#!/usr/bin/env bash
# Installs every Debian package SkyHarvester needs to build, test and run.
# Idempotent, non-interactive, and quick when everything is there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git clang clang-format clang-tidy
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libfmt-dev libssl-dev zlib1g-dev libusb-1.0-0-dev libserialport-dev
  umockdev
  # The RFC 2217 port server of others that the network link is tested against.
  python3-serial
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6svg6 qt6-charts-dev qt6-svg-dev libqt6opengl6-dev
  xvfb xauth x11-utils imagemagick xdotool
  # The Debian package and its test.
  dpkg-dev fakeroot file lintian help2man desktop-file-utils appstream shared-mime-info
  systemd bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
