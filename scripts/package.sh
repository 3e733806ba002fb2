#!/usr/bin/env bash
# Builds the Debian package: a release build without tests or benchmarks in
# its own folder (default build/package), with Debian's hardening flags, then
# CPack. Prints the path of the .deb on the last line.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath -m "${1:-build/package}")

# -ffile-prefix-map of dpkg-buildflags names the source folder; the same folder
# on each run keeps ccache's hits.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DSKYH_BUILD_TESTS=OFF -DSKYH_BUILD_BENCH=OFF -DSKYH_BUILD_FUZZ=OFF -DSKYH_SANITIZE=OFF >&2
cmake --build "$dir" >&2
rm -f "$dir"/skyharvester_*.deb
(cd "$dir" && cpack -G DEB) >&2
ls "$dir"/skyharvester_*.deb
