#!/usr/bin/env bash
# Builds the Debian package: a release build without tests or benchmarks in
# its own folder (default build/package), with Debian's hardening flags, then
# CPack. Prints the path of the .deb on the last line.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath -m "${1:-build/package}")

# Without -g (the package is stripped anyway) ccache shares its results
# between build folders.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1" | sed -E 's/(^| )-g( |$)/ /'; }
CFLAGS="$(flags CFLAGS) $(flags CPPFLAGS)"
CXXFLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

# Debian's -O2 rather than CMake's -O3 for Release.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_INSTALL_PREFIX=/usr \
  -DSKYH_BUILD_TESTS=OFF -DSKYH_BUILD_BENCH=OFF -DSKYH_BUILD_FUZZ=OFF -DSKYH_SANITIZE=OFF >&2
cmake --build "$dir" >&2
rm -f "$dir"/skyharvester_*.deb
(cd "$dir" && cpack -G DEB) >&2
ls "$dir"/skyharvester_*.deb
