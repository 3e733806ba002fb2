#!/usr/bin/env bash
# The main job: build, then run skyharvester-cli against a temporary home.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target skyharvester-cli
demo_home=$(mktemp -d)
HOME="$demo_home" XDG_CONFIG_HOME="$demo_home/.config" build/default/src/app/skyharvester-cli config show
