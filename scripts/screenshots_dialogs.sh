#!/usr/bin/env bash
# Pictures of the dialogs (each configuration page, the time dialog, the
# settings editor, the firmware dialog) at the default scale and at 150 %,
# drawn under Xvfb into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/default}
cmake --build "$build" --target skyharvester-dialog-shots >/dev/null
mkdir -p docs/screenshots
shots="$build/tests/skyharvester-dialog-shots"
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x900x24" "$shots" docs/screenshots ""
QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1920x1350x24" "$shots" docs/screenshots "-150"
