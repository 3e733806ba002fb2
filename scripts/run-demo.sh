#!/usr/bin/env bash
# The main job: retrieve the records of the bundled simulator, as a station would.
# Builds what is needed, starts skyharvester-sim with three days of demo records on a
# pseudo-terminal, points a temporary configuration at it (serial link, the demo
# instrument's layouts) and runs skyharvester-cli retrieve. With --window (and a
# display), the window then opens on the same configuration and the snapshot,
# with the simulator still answering, so "Get records" works there too.
set -euo pipefail
window=0
[ "${1:-}" = "--window" ] && window=1
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target skyharvester-cli skyharvester-sim skyharvester

demo_home=$(mktemp -d /tmp/skyharvester-demo.XXXXXX)
export HOME="$demo_home" XDG_CONFIG_HOME="$demo_home/.config" XDG_DOCUMENTS_DIR="$demo_home/Documents"
mkdir -p "$XDG_CONFIG_HOME/SkyHarvester" "$XDG_DOCUMENTS_DIR"

build/default/sim/skyharvester-sim --pty --link "$demo_home/box" --days 3 --interval 15 >"$demo_home/sim.out" 2>&1 &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$demo_home/box" ] && break; sleep 0.1; done

cat >"$XDG_CONFIG_HOME/SkyHarvester/SkyHarvester.ini" <<INI
[general]
configuration=$root/demo/
[automatic]
ascii_path=$demo_home/Documents/SkyHarvester/
RecPeriod=1
[communication]
type=1
port=$demo_home/box
log=1
retrieve_limited=0
INI

echo "== Retrieving from the simulated control box on $(readlink "$demo_home/box")"
build/default/src/app/skyharvester-cli retrieve
echo
echo "== Daily K8 and ASCII files, as automatic retrieval writes them"
build/default/src/app/skyharvester-cli retrieve --export --missing no
echo
echo "== The snapshot, described"
snapshot=$(ls "$demo_home"/Documents/SkyHarvester/*.k8 | grep -E "_1234[0-9]{14}\.k8$" | head -n 1)
build/default/src/app/skyharvester-cli info "$snapshot" 2>/dev/null || true
echo
echo "Files are in $demo_home/Documents/SkyHarvester/ ; configuration in $XDG_CONFIG_HOME/SkyHarvester/SkyHarvester.ini"
if [ "$window" = 1 ]; then
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: the window is not opened (try: xvfb-run -a scripts/run-demo.sh --window)." >&2
  else
    echo "== The window, on the snapshot (close it to end the demo)"
    build/default/src/main/skyharvester "$snapshot"
  fi
fi
