#!/usr/bin/env bash
# Pictures for the README, written into docs/screenshots/ under Xvfb: the
# main window with a snapshot retrieved from the bundled simulator by the
# command-line tool, the plot view on a year of demo records (opened from the
# Data menu with the keyboard), then every dialog (each configuration page,
# the time dialog, the settings editor, the firmware dialog) at the default
# scale and at 150 %.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
cmake --build --preset default --target skyharvester-cli skyharvester-sim skyharvester skyharvester-dialog-shots >/dev/null

work=$(mktemp -d /tmp/skyharvester-shots.XXXXXX)
export HOME="$work" XDG_CONFIG_HOME="$work/.config" XDG_DOCUMENTS_DIR="$work/Documents" TZ=UTC
mkdir -p "$XDG_CONFIG_HOME/SkyHarvester" "$XDG_DOCUMENTS_DIR" docs/screenshots

build/default/sim/skyharvester-sim --pty --link "$work/box" --days 3 --interval 15 >"$work/sim.out" 2>&1 &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$work/box" ] && break; sleep 0.1; done

cat >"$XDG_CONFIG_HOME/SkyHarvester/SkyHarvester.ini" <<INI
[general]
configuration=$root/demo/
[automatic]
ascii_path=$work/Documents/SkyHarvester/
RecPeriod=1
[communication]
type=1
port=$work/box
retrieve_limited=0
ViewUnknown=1
INI
build/default/src/app/skyharvester-cli retrieve >/dev/null
snapshot=$(ls "$work"/Documents/SkyHarvester/*.k8 | head -n 1)

# The window opens the snapshot as a desktop entry would: one picture while
# the progress window still shows the load's last text (it stays 2 s), one
# once it has closed.
xvfb-run -a -s "-screen 0 1000x640x24" bash -c '
  "$1" "$2" &
  app=$!
  for _ in $(seq 50); do xwininfo -root -tree 2>/dev/null | grep -q "Load k8 file" && break; sleep 0.1; done
  import -window root "$3/opening.png"
  sleep 4
  import -window root "$3/main-window.png"
  kill $app' _ build/default/src/main/skyharvester "$snapshot" "$root/docs/screenshots"

# A year of demo records, every 30 minutes; the plot opens on the first record
# type (MET) with its first element checked, and Down, Space checks the next.
year="$work/year.k8"
build/default/sim/skyharvester-sim --generate "$year" --days 365 --start 2025-01-01 --interval 30 >/dev/null
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$1" "$2" &
  app=$!
  main=""
  for _ in $(seq 100); do
    main=$(xdotool search --name "^SkyHarvester - year.k8$" 2>/dev/null | head -n 1) && [ -n "$main" ] && break
    sleep 0.1
  done
  sleep 5  # the load and the 2 s of the progress window
  xdotool windowfocus --sync "$main" key alt+d p
  plot=""
  for _ in $(seq 100); do
    plot=$(xdotool search --name "^SkyHarvester - Plot$" 2>/dev/null | head -n 1) && [ -n "$plot" ] && break
    sleep 0.1
  done
  sleep 1
  xdotool windowfocus --sync "$plot" key Down space
  sleep 1
  import -window "$plot" "$3/plot-view.png"
  kill $app' _ build/default/src/main/skyharvester "$year" "$root/docs/screenshots"

shots="$root/build/default/tools/skyharvester-dialog-shots"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" "$shots" docs/screenshots ""
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1920x1350x24" "$shots" docs/screenshots "-150"
echo "Wrote docs/screenshots/opening.png, main-window.png, plot-view.png and the dialogs"
