#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test.
# SKYH_PRESET chooses the CMake preset (default: default; CI uses ci).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${SKYH_PRESET:-default}
scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
